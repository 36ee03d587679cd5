// The group vote on the overlay: team A against team B with both totals, a bar of their shares and
// each team's members with their counts.
import { AnimatedCount } from '../shared/animatedcount.js';
import { element } from '../shared/dom.js';
import { words } from '../shared/language.js';
import { teamsOf } from '../shared/votemodel.js';

export class GroupBoard {
  constructor() {
    this.root = element('div', 'board group-board');
    const band = element('div', 'versus-band');
    this.teams = [0, 1].map((team) => new TeamHead(team));
    band.append(this.teams[0].root, element('span', 'versus-mark', 'VS'), this.teams[1].root);
    const tug = element('div', 'tug');
    this.tugA = element('span', 'tug-a');
    tug.append(this.tugA, element('span', 'tug-b'));
    const columns = element('div', 'team-columns');
    this.columns = [0, 1].map((team) => element('ul', `team-members team-${team === 0 ? 'a' : 'b'}`));
    columns.append(...this.columns);
    this.root.append(band, tug, columns);
    this.members = new Map();
  }

  update(state) {
    const teams = teamsOf(state);
    const sum = teams[0].total + teams[1].total;
    const widest = Math.max(1, ...state.options.map((option) => option.count));
    teams.forEach((team) => {
      this.teams[team.team].show(team);
      team.members.forEach((member) => this.memberOf(member.id, team.team).show(member, widest));
    });
    this.tugA.style.flexGrow = String(sum > 0 ? teams[0].total / sum : 0.5);
    this.tugA.nextSibling.style.flexGrow = String(sum > 0 ? teams[1].total / sum : 0.5);
  }

  memberOf(id, team) {
    if (!this.members.has(id)) {
      const row = new MemberRow();
      this.members.set(id, row);
      this.columns[team].append(row.root);
    }
    return this.members.get(id);
  }
}

class TeamHead {
  constructor(team) {
    this.root = element('div', `team-head team-${team === 0 ? 'a' : 'b'}`);
    this.name = element('span', 'team-name');
    const total = element('span', 'team-total num');
    this.root.append(this.name, total);
    this.total = new AnimatedCount(total);
    this.team = team;
  }

  show(team) {
    this.name.textContent = team.name || words().texts.teams[this.team];
    this.total.set(team.total);
  }
}

class MemberRow {
  constructor() {
    this.root = element('li', 'member-row');
    this.name = element('span', 'member-name');
    const count = element('span', 'member-count num');
    const track = element('span', 'member-track');
    this.fill = element('span', 'member-fill');
    track.append(this.fill);
    this.root.append(this.name, count, track);
    this.count = new AnimatedCount(count);
  }

  show(member, widest) {
    this.root.dataset.optionId = String(member.id);
    this.name.textContent = member.name;
    this.count.set(member.count);
    this.fill.style.transform = `scaleX(${member.count / widest})`;
  }
}
