// The normal vote on the viewer page: the options in the service's rank order, each with its
// vote button. Counts include this viewer's tickets not yet broadcast.
import { element } from '../shared/dom.js';
import { t } from '../shared/language.js';
import { OptionRow } from '../shared/optionrow.js';
import { showButton, voteButton } from './votebutton.js';

const kLook = {
  row: 'option',
  badge: 'rank num',
  badgeMarks: (rank, count) => (count > 0 && rank < 3 ? `rank-${rank + 1}` : ''),
  figures: 'figures',
  countBox: null,
  count: 'count num',
  share: 'share num',
  track: 'bar',
  unit: (n) => t('unit', { n }),
};

export class NormalBody {
  constructor(root, actions) {
    this.list = element('ol', 'options');
    root.append(this.list);
    this.actions = actions;
    this.rows = new Map();
    this.countsTickets = true;
  }

  update(ballot, connected) {
    const options = ballot.state.options.map((option) => ({ ...option, count: ballot.countOf(option) }));
    const total = options.reduce((sum, option) => sum + option.count, 0);
    const ranks = new Map(ballot.state.rank.map((id, rank) => [id, rank]));
    for (const option of options) {
      const row = this.rowOf(option.id);
      row.show(option, ranks.get(option.id), total);
      showButton(row.button, option.id, option.name, ballot.canVote(option.id) && connected, ballot);
    }
  }

  rowOf(id) {
    if (!this.rows.has(id)) {
      const button = voteButton((optionId) => this.actions.onVote(optionId));
      const row = new OptionRow(kLook, button);
      row.button = button;
      this.rows.set(id, row);
      this.list.append(row.root);
    }
    return this.rows.get(id);
  }
}
