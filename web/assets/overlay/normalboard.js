// The normal vote on the overlay: one bar per option, highest first, each with its rank, count and
// share of all tickets. Rows slide to their new place when the ranking changes.
import { element } from '../shared/dom.js';
import { t } from '../shared/language.js';
import { OptionRow } from '../shared/optionrow.js';
import { rankOptions, totalTickets } from '../shared/votemodel.js';

const kRowHeight = 62;
const kRowGap = 10;
const kRankClasses = ['rank-first', 'rank-second', 'rank-third'];
const kLook = {
  row: 'option-row',
  badge: 'rank-badge num',
  badgeMarks: (rank, count) => `${kRankClasses[rank] ?? ''} ${count > 0 ? '' : 'rank-none'}`,
  figures: 'option-figures',
  countBox: 'option-count',
  count: 'num',
  share: 'option-share num',
  track: 'bar-track',
  unit: (n) => t('unit', { n }),
};

export class NormalBoard {
  constructor() {
    this.root = element('ol', 'board normal-board');
    this.rows = new Map();
  }

  update(state) {
    const ranking = rankOptions(state);
    const total = totalTickets(state.options);
    this.root.style.height = `${Math.max(0, ranking.length * kRowHeight - kRowGap)}px`;
    ranking.forEach((option, rank) => {
      const row = this.rowOf(option.id);
      row.show(option, rank, total);
      row.root.style.transform = `translateY(${rank * kRowHeight}px)`;
    });
  }

  rowOf(id) {
    if (!this.rows.has(id)) {
      const row = new OptionRow(kLook);
      this.rows.set(id, row);
      this.root.append(row.root);
    }
    return this.rows.get(id);
  }
}
