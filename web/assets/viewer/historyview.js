// The last seven days' votes of the channel, newest first, each with its options and their tickets
// (a judge vote's judges and their scores).
import { element } from '../shared/dom.js';
import { t, words } from '../shared/language.js';
import { VoteKind, count } from '../shared/votemodel.js';

const kMaxEntries = 200;

function text(value) {
  return typeof value === 'string' ? value : '';
}

export function readHistory(body) {
  const list = Array.isArray(body?.history) ? body.history.slice(0, kMaxEntries) : [];
  return list
    .filter((entry) => entry !== null && typeof entry === 'object')
    .map((entry) => {
      const names = entry.options && typeof entry.options === 'object' ? entry.options : {};
      const tickets = entry.optionTickets && typeof entry.optionTickets === 'object' ? entry.optionTickets : {};
      return {
        name: text(entry.name),
        kind: Math.min(count(entry.voteType), VoteKind.judge),
        time: text(entry.timeText),
        startedAt: entry.startedAt,
        by: text(entry.adminNick),
        options: Object.keys(names).map((id) => ({ name: text(names[id]), tickets: count(tickets[id]) })),
      };
    })
    .sort((a, b) => (a.time < b.time ? 1 : a.time > b.time ? -1 : 0));
}

export function showHistory(list, entries) {
  if (entries.length === 0) {
    list.replaceChildren(element('li', 'history-empty', t('viewer.historyEmpty')));
    return;
  }
  list.replaceChildren(...entries.map(historyItem));
}

function historyItem(entry) {
  const item = element('li', 'history-item');
  const head = element('div', 'history-head');
  head.append(element('span', 'history-name', entry.name), element('span', 'history-kind', words().kind(entry.kind)));
  const time = words().startTime(entry.startedAt, entry.time);
  const meta = element('p', 'history-meta', entry.by ? t('viewer.historyBy', { time, by: entry.by }) : time);
  const figure = entry.kind === VoteKind.judge ? 'viewer.historyPoints' : 'viewer.historyTickets';
  const options = element('ul', 'history-options');
  for (const option of entry.options) {
    const row = element('li');
    row.append(element('span', '', option.name), element('span', 'num', t(figure, { n: option.tickets })));
    options.append(row);
  }
  item.append(head, meta, options);
  return item;
}
