// The sub-channel's votes of the last seven days, newest first, each with a bar chart of its options
// drawn as inline SVG, and the CSV download (fetched with the token in the header, then saved from
// a blob, so that the token is in no address).
import { clear, element } from '../shared/dom.js';
import { percentText } from '../shared/format.js';
import { count } from '../shared/votemodel.js';

const kSvg = 'http://www.w3.org/2000/svg';
const kRowHeight = 28;
const kLabelWidth = 34; // percent of the chart's width
const kLabelChars = 8; // longer option texts are cut with an ellipsis (the full text is the tooltip)

function svg(tag, attributes = {}, text = null) {
  const node = document.createElementNS(kSvg, tag);
  for (const [name, value] of Object.entries(attributes)) node.setAttribute(name, String(value));
  if (text !== null) node.textContent = text;
  return node;
}

function table(value) {
  return value !== null && typeof value === 'object' && !Array.isArray(value) ? value : {};
}

// A record's options in id order with their tickets.
export function historyOptions(record) {
  const names = table(record.options);
  const tickets = table(record.optionTickets);
  return Object.keys(names)
    .map(Number)
    .filter(Number.isSafeInteger)
    .sort((a, b) => a - b)
    .slice(0, 64)
    .map((id) => ({ id, name: String(names[id] ?? ''), count: count(tickets[id]) }));
}

export class HistoryPanel {
  // download(): Promise<string|null>, the refusal in words when the CSV could not be had.
  constructor(catalogue, download) {
    this.c = catalogue;
    this.root = element('section', 'history panel');
    this.root.setAttribute('aria-labelledby', 'history-title');
    const head = element('div', 'panel-head');
    const title = element('h2', 'panel-title', catalogue.t('historyTitle'));
    title.id = 'history-title';
    this.csv = element('button', 'button', catalogue.t('downloadCsv'));
    this.csv.type = 'button';
    this.csv.addEventListener('click', download);
    head.append(title, this.csv);
    this.list = element('ol', 'history-list');
    this.root.append(head, this.list);
  }

  show(records) {
    clear(this.list);
    if (records.length === 0) {
      this.list.append(element('li', 'empty', this.c.t('historyEmpty')));
      return;
    }
    for (const record of records) this.list.append(this.entry(record));
  }

  showWords(words) {
    clear(this.list);
    this.list.append(element('li', 'empty', words));
  }

  entry(record) {
    const { c } = this;
    const item = element('li', 'history-entry');
    const name = String(record.name ?? '');
    const options = historyOptions(record);
    const total = options.reduce((sum, option) => sum + option.count, 0);
    item.append(
      element('h3', 'history-name', name),
      element('p', 'history-meta', c.t('historyMeta', { kind: c.kind(count(record.voteType)), time: c.startTime(record), admin: String(record.adminNick ?? '') })),
      element('p', 'history-total', c.t('total', { n: c.number(total) })),
      this.chart(name, options, total),
    );
    return item;
  }

  chart(name, options, total) {
    const most = Math.max(1, ...options.map((option) => option.count));
    const height = options.length * kRowHeight;
    // Read as one image whose name holds every figure.
    const figures = options.map((option) => `${option.name} ${this.c.number(option.count)}`).join(', ');
    const label = `${this.c.t('chartLabel', { name })}: ${figures}`;
    const chart = svg('svg', { class: 'history-chart', width: '100%', height, role: 'img', 'aria-label': label });
    chart.append(svg('title', {}, label));
    options.forEach((option, index) => {
      const y = index * kRowHeight;
      const barWidth = (100 - kLabelWidth - 18) * (option.count / most);
      const row = svg('g', { class: 'chart-row' });
      // A nested svg clips a long option text to the label column.
      const clip = svg('svg', { x: 0, y, width: `${kLabelWidth - 2}%`, height: kRowHeight });
      const shown = [...option.name].length > kLabelChars ? `${[...option.name].slice(0, kLabelChars - 1).join('')}…` : option.name;
      const text = svg('text', { x: 0, y: 18, class: 'chart-label' }, shown);
      text.append(svg('title', {}, option.name));
      clip.append(text);
      row.append(
        clip,
        svg('rect', { x: `${kLabelWidth}%`, y: y + 6, width: `${100 - kLabelWidth - 18}%`, height: 16, rx: 4, class: 'chart-track' }),
        svg('rect', { x: `${kLabelWidth}%`, y: y + 6, width: `${barWidth}%`, height: 16, rx: 4, class: 'chart-bar' }),
        svg('text', { x: '100%', y: y + 18, 'text-anchor': 'end', class: 'chart-value' }, `${this.c.number(option.count)} · ${percentText(option.count, total)}`),
      );
      chart.append(row);
    });
    return chart;
  }
}
