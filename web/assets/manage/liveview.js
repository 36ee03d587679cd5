// The running vote of the sub-channel as the events stream shows it: bars per option (the shared
// option row), per team, or per judge, the countdown, and the stop and close buttons.
import { clear, element } from '../shared/dom.js';
import { countdownText, percentText } from '../shared/format.js';
import { OptionRow } from '../shared/optionrow.js';
import { VoteKind, judgeTotal, rankOptions, readVoteState, teamsOf, totalTickets } from '../shared/votemodel.js';

const kLook = {
  row: 'live-row',
  badge: 'live-badge',
  count: 'live-count',
  share: 'live-share',
  figures: 'live-figures',
  track: 'live-track',
  badgeMarks: (rank, count) => (rank < 3 && count > 0 ? `top top-${rank + 1}` : ''),
};

export class LiveView {
  // actions: stop(state), close(state).
  constructor(catalogue, actions) {
    this.c = catalogue;
    this.actions = actions;
    this.root = element('section', 'live panel');
    this.root.setAttribute('aria-labelledby', 'live-title');
    const title = element('h2', 'panel-title', catalogue.t('liveTitle'));
    title.id = 'live-title';
    this.connection = element('p', 'connection');
    this.connection.setAttribute('role', 'status');
    this.connection.hidden = true;
    this.body = element('div', 'live-body');
    // Counts change many times a second: only a vote's start and end are announced.
    this.announcer = element('p', 'visually-hidden');
    this.announcer.setAttribute('role', 'status');
    this.root.append(title, this.connection, this.announcer, this.body);
    this.rows = new Map();
    this.state = null;
    this.timer = setInterval(() => this.tick(), 1000);
    this.showNone();
  }

  setConnected(connected) {
    this.connection.hidden = connected;
    this.connection.textContent = connected ? '' : this.c.t('reconnecting');
  }

  showNoEvents() {
    clear(this.body);
    this.body.append(element('p', 'empty', this.c.t('noEvents')));
  }

  // One message of the events stream.
  follow(message) {
    if (message.type === 'vote.close' || (message.type === 'snapshot' && !message.vote)) return this.show(null);
    if (['snapshot', 'vote.begin', 'vote.progress', 'vote.end'].includes(message.type)) this.show(readVoteState(message));
  }

  show(state) {
    const sameVote = state && this.state && state.voteId === this.state.voteId && state.jiFangId === this.state.jiFangId;
    const endedNow = state?.ended && !(sameVote && this.state.ended);
    if (state && (!sameVote || endedNow)) this.announcer.textContent = `${state.name} ${this.c.t(state.ended ? 'state.ended' : 'state.running')}`;
    if (!state && this.state) this.announcer.textContent = this.c.t('liveNone');
    this.state = state;
    this.deadline = state ? Date.now() + state.remainingSeconds * 1000 : 0;
    if (!state) return this.showNone();
    if (!sameVote) this.build(state);
    this.update(state);
  }

  showNone() {
    this.rows.clear();
    clear(this.body);
    this.body.append(element('p', 'empty', this.c.t('liveNone')));
  }

  build(state) {
    const { c } = this;
    this.rows.clear();
    clear(this.body);
    const head = element('div', 'live-head');
    const name = element('h3', 'live-name', state.name);
    this.kind = element('span', 'chip', c.kind(state.kind));
    this.status = element('span', 'live-status');
    this.total = element('span', 'live-total');
    head.append(name, this.kind, this.status, this.total);
    this.list = element('ol', 'live-list');
    this.members = element('div', 'live-members');
    this.controls = element('div', 'live-actions');
    this.body.append(head, this.list, this.members, this.controls);
  }

  rowFor(key) {
    let row = this.rows.get(key);
    if (!row) {
      row = new OptionRow(kLook);
      row.root.querySelector('.unit').textContent = this.c.t('ticketsUnit');
      this.rows.set(key, row);
    }
    return row;
  }

  update(state) {
    const { c } = this;
    this.status.textContent = state.ended ? c.t(state.kind === VoteKind.group ? 'liveStopped' : 'liveEnded') : this.remainingText(state.remainingSeconds);
    this.status.classList.toggle('ended', state.ended);
    if (state.kind === VoteKind.judge) this.updateJudges(state);
    else if (state.kind === VoteKind.group) this.updateTeams(state);
    else this.updateOptions(state);
    clear(this.controls);
    const stop = element('button', 'button', c.t('stop'));
    stop.type = 'button';
    stop.disabled = state.ended;
    stop.addEventListener('click', () => this.actions.stop(this.state));
    const close = element('button', 'button', c.t('close'));
    close.type = 'button';
    close.addEventListener('click', () => this.actions.close(this.state));
    this.controls.append(stop, close);
  }

  placeRows(entries, total) {
    entries.forEach(([key, option], rank) => {
      const row = this.rowFor(key);
      row.show(option, rank, total);
      if (this.list.children[rank] !== row.root) this.list.insertBefore(row.root, this.list.children[rank] ?? null);
    });
  }

  updateOptions(state) {
    const options = rankOptions(state);
    const total = totalTickets(options);
    this.total.textContent = this.c.t('total', { n: this.c.number(total) });
    this.placeRows(options.map((option) => [`o${option.id}`, option]), total);
  }

  updateTeams(state) {
    const { c } = this;
    const teams = teamsOf(state);
    const total = teams[0].total + teams[1].total;
    this.total.textContent = this.c.t('total', { n: this.c.number(total) });
    // Team A then team B, each marked with its letter and colour rather than a rank.
    this.placeRows(teams.map((team) => [`t${team.team}`, { id: team.team, name: team.name, count: team.total }]), total);
    teams.forEach((team) => {
      const row = this.rows.get(`t${team.team}`);
      row.root.classList.add(`team-row`, `team-${team.team}`);
      row.badge.className = 'live-badge';
      row.badge.textContent = team.team === 0 ? c.t('teamA') : c.t('teamB');
    });
    clear(this.members);
    for (const team of teams) {
      const list = element('ul', 'member-list');
      list.setAttribute('aria-label', team.name);
      list.classList.add(`team-${team.team}`);
      for (const member of team.members) list.append(element('li', 'member', `${member.name} ${c.number(member.count)} · ${percentText(member.count, team.total)}`));
      this.members.append(list);
    }
  }

  updateJudges(state) {
    const { c } = this;
    this.total.textContent = c.t('judgeTotal', { n: c.number(judgeTotal(state.judges)) });
    clear(this.list);
    this.rows.clear();
    for (const judge of state.judges) {
      const row = element('li', 'judge-row');
      const words = judge.points > 0 ? c.t('points', { n: judge.points }) : c.t(state.ended ? 'abstained' : 'scoring');
      const track = element('span', 'live-track');
      const fill = element('span', 'bar-fill');
      fill.style.transform = `scaleX(${judge.points / 5})`;
      track.append(fill);
      row.append(element('span', 'option-name', judge.nick), element('span', 'judge-points', words), track);
      this.list.append(row);
    }
  }

  tick() {
    if (!this.state || this.state.ended) return;
    const seconds = Math.max(0, Math.round((this.deadline - Date.now()) / 1000));
    this.status.textContent = this.remainingText(seconds);
  }

  // The judge window asks the judges to score; the others say when voting stops.
  remainingText(seconds) {
    return this.c.t(this.state.kind === VoteKind.judge ? 'remainingJudge' : 'remaining', { time: countdownText(seconds) });
  }
}
