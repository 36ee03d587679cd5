// The group vote on the viewer page: the two teams' shares as a tug bar, and each team's members
// with their vote buttons.
import { AnimatedCount } from '../shared/animatedcount.js';
import { element } from '../shared/dom.js';
import { words } from '../shared/language.js';
import { teamsOf } from '../shared/votemodel.js';
import { showButton, voteButton } from './votebutton.js';

export class GroupBody {
  constructor(root, actions) {
    this.teams = [0, 1].map((team) => new TeamSection(team));
    this.shares = [element('span', 'share-a'), element('span', 'share-b')];
    const tug = element('div', 'shares');
    tug.setAttribute('aria-hidden', 'true');
    tug.append(...this.shares);
    const columns = element('div', 'teams');
    columns.append(...this.teams.map((section) => section.root));
    root.append(tug, columns);
    this.actions = actions;
    this.rows = new Map();
    this.countsTickets = true;
  }

  update(ballot, connected) {
    const counted = { ...ballot.state, options: ballot.state.options.map((o) => ({ ...o, count: ballot.countOf(o) })) };
    const teams = teamsOf(counted);
    const sum = teams[0].total + teams[1].total;
    teams.forEach((team, i) => {
      this.shares[i].style.flexGrow = String(sum > 0 ? team.total / sum : 0.5);
    });
    for (const team of teams) {
      const section = this.teams[team.team];
      section.show(team);
      for (const member of team.members) this.rowOf(member.id, section.list).show(member, ballot.canVote(member.id) && connected, ballot);
    }
  }

  rowOf(id, list) {
    if (!this.rows.has(id)) {
      const row = new MemberRow((optionId) => this.actions.onVote(optionId));
      this.rows.set(id, row);
      list.append(row.root);
    }
    return this.rows.get(id);
  }
}

class TeamSection {
  constructor(team) {
    this.team = team;
    this.root = element('section', `team team-${team === 0 ? 'a' : 'b'}`);
    const head = element('h3', 'team-head');
    this.name = element('span', 'team-name');
    const total = element('span', 'team-total num');
    head.append(this.name, total);
    this.list = element('ul', 'members');
    this.root.append(head, this.list);
    this.total = new AnimatedCount(total);
  }

  show(team) {
    this.name.textContent = team.name || words().texts.teams[this.team];
    this.total.set(team.total);
  }
}

class MemberRow {
  constructor(onVote) {
    this.root = element('li', 'member');
    this.name = element('span', 'member-name');
    const countValue = element('span', 'count num');
    this.button = voteButton(onVote);
    this.root.append(this.name, countValue, this.button);
    this.count = new AnimatedCount(countValue);
  }

  show(member, enabled, ballot) {
    this.root.dataset.optionId = String(member.id);
    this.name.textContent = member.name;
    this.count.set(member.count);
    showButton(this.button, member.id, member.name, enabled, ballot);
  }
}
