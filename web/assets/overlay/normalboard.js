// The normal vote on the overlay: one bar per option, highest first, each with its rank, count and
// share of all tickets. Rows slide to their new place when the ranking changes.
import { AnimatedCount } from '../shared/animatedcount.js';
import { element } from '../shared/dom.js';
import { percentText } from '../shared/format.js';
import { rankOptions, totalTickets } from '../shared/votemodel.js';

const kRowHeight = 62;
const kRowGap = 10;
const kRankClasses = ['rank-first', 'rank-second', 'rank-third'];

export class NormalBoard {
  constructor() {
    this.root = element('ol', 'board normal-board');
    this.rows = new Map();
  }

  update(state) {
    const ranking = rankOptions(state.options);
    const total = totalTickets(state.options);
    this.root.style.height = `${Math.max(0, ranking.length * kRowHeight - kRowGap)}px`;
    ranking.forEach((option, rank) => this.rowOf(option.id).show(option, rank, total));
  }

  rowOf(id) {
    if (!this.rows.has(id)) {
      const row = new OptionRow();
      this.rows.set(id, row);
      this.root.append(row.root);
    }
    return this.rows.get(id);
  }
}

class OptionRow {
  constructor() {
    this.root = element('li', 'option-row');
    this.badge = element('span', 'rank-badge num');
    this.name = element('span', 'option-name');
    const figures = element('span', 'option-figures');
    const countBox = element('span', 'option-count');
    const countValue = element('span', 'num');
    countBox.append(countValue, element('span', 'unit', '票'));
    this.share = element('span', 'option-share num');
    figures.append(countBox, this.share);
    const track = element('span', 'bar-track');
    this.fill = element('span', 'bar-fill');
    track.append(this.fill);
    this.root.append(this.badge, this.name, figures, track);
    this.count = new AnimatedCount(countValue);
  }

  show(option, rank, total) {
    this.root.dataset.optionId = String(option.id);
    this.root.dataset.rank = String(rank + 1);
    this.root.style.transform = `translateY(${rank * kRowHeight}px)`;
    this.badge.textContent = String(rank + 1);
    this.badge.className = `rank-badge num ${kRankClasses[rank] ?? ''} ${option.count > 0 ? '' : 'rank-none'}`;
    this.name.textContent = option.name;
    this.count.set(option.count);
    this.share.textContent = percentText(option.count, total);
    this.fill.style.transform = `scaleX(${total > 0 ? option.count / total : 0})`;
  }
}
