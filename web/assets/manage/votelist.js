// The sub-channel's stored votes with their state (not started, scheduled, missed, running,
// ended), a check box each for the batch delete, and the row's actions.
import { clear, element } from '../shared/dom.js';
import { ScheduleForm } from './scheduleform.js';

function button(text, className, onClick) {
  const node = element('button', className, text);
  node.type = 'button';
  node.addEventListener('click', onClick);
  return node;
}

export class VoteList {
  // actions: create(kind), edit(vote), start(vote), schedule(vote, atUnix), unschedule(vote), stop(vote),
  // close(vote), remove(vote), removeMany(votes).
  constructor(catalogue, actions) {
    this.c = catalogue;
    this.actions = actions;
    this.schedules = new ScheduleForm(catalogue, actions);
    this.scheduling = 0; // the vote whose "start at" form is open
    this.votes = [];
    this.live = null;
    this.selected = new Set();
    this.root = element('section', 'votes panel');
    this.root.setAttribute('aria-labelledby', 'votes-title');
    const head = element('div', 'panel-head');
    const title = element('h2', 'panel-title', catalogue.t('votesTitle'));
    title.id = 'votes-title';
    const create = element('div', 'create-buttons');
    ['newNormal', 'newGroup', 'newJudge'].forEach((key, kind) => create.append(button(catalogue.t(key), 'button primary', () => actions.create(kind))));
    head.append(title, create);
    const tools = element('div', 'batch-tools');
    this.all = element('input');
    this.all.type = 'checkbox';
    this.all.id = 'select-all';
    this.all.addEventListener('change', () => this.selectAll(this.all.checked));
    const allLabel = element('label', 'check-label', catalogue.t('selectAll'));
    allLabel.htmlFor = 'select-all';
    this.batch = button('', 'button danger', () => actions.removeMany(this.votes.filter((vote) => this.selected.has(vote.voteId))));
    tools.append(this.all, allLabel, this.batch);
    this.list = element('ul', 'vote-list');
    this.root.append(head, tools, this.list);
    this.render();
  }

  // live: the running or ended vote of the sub-channel ({voteId, ended}), or null.
  show(votes, live = this.live) {
    this.votes = votes;
    this.live = live;
    const ids = new Set(votes.map((vote) => vote.voteId));
    for (const id of this.selected) if (!ids.has(id)) this.selected.delete(id);
    this.render();
  }

  setLive(live) {
    const changed = (live?.voteId ?? 0) !== (this.live?.voteId ?? 0) || (live?.ended ?? false) !== (this.live?.ended ?? false);
    this.live = live;
    if (changed) this.render();
  }

  stateOf(vote) {
    if (!this.live || this.live.voteId !== vote.voteId) return vote.schedule ? (vote.schedule.state === 'missed' ? 'missed' : 'scheduled') : 'stored';
    return this.live.ended ? 'ended' : 'running';
  }

  selectAll(on) {
    this.selected = new Set(on ? this.votes.map((vote) => vote.voteId) : []);
    this.render();
  }

  render() {
    const { c } = this;
    clear(this.list);
    this.batch.textContent = c.t('deleteSelected', { n: c.number(this.selected.size) });
    this.batch.disabled = this.selected.size === 0;
    this.all.checked = this.votes.length > 0 && this.selected.size === this.votes.length;
    this.all.disabled = this.votes.length === 0;
    if (this.votes.length === 0) {
      this.list.append(element('li', 'empty', c.t('votesEmpty')));
      return;
    }
    for (const vote of this.votes) this.list.append(this.row(vote));
  }

  row(vote) {
    const { c, actions } = this;
    const state = this.stateOf(vote);
    const row = element('li', `vote-row state-${state}`);
    row.dataset.voteId = String(vote.voteId);
    const box = element('input', 'vote-check');
    box.type = 'checkbox';
    box.checked = this.selected.has(vote.voteId);
    box.setAttribute('aria-label', c.t('selectVote', { name: vote.name }));
    box.addEventListener('change', () => {
      if (box.checked) this.selected.add(vote.voteId);
      else this.selected.delete(vote.voteId);
      this.render();
      this.list.querySelector(`[data-vote-id="${vote.voteId}"] .vote-check`)?.focus();
    });
    const text = element('div', 'vote-text');
    text.append(element('span', 'vote-name', vote.name), element('span', 'vote-summary', summaryOf(c, vote)));
    const scheduleLine = this.schedules.line(vote);
    if (scheduleLine) text.append(scheduleLine);
    const badge = element('span', `state-badge ${state}`, c.t(`state.${state}`));
    const buttons = element('div', 'row-actions');
    if (state === 'stored' || state === 'scheduled' || state === 'missed') {
      buttons.append(
        button(c.t('start'), 'button primary small', () => actions.start(vote)),
        button(c.t('startAt'), 'button small start-at-button', () => this.openSchedule(vote.voteId)),
        button(c.t('edit'), 'button small', () => actions.edit(vote)),
        button(c.t('delete'), 'button danger small', () => actions.remove(vote)),
      );
    } else {
      if (state === 'running') buttons.append(button(c.t('stop'), 'button small', () => actions.stop(vote)));
      buttons.append(button(c.t('close'), 'button small', () => actions.close(vote)));
    }
    for (const node of buttons.children) node.setAttribute('aria-label', `${node.textContent} ${vote.name}`);
    row.append(box, text, badge, buttons);
    if (this.scheduling === vote.voteId) row.append(this.schedules.form(vote, () => this.openSchedule(0)));
    return row;
  }

  // Opens the "start at" form of one vote (0: none) and puts the focus in it.
  openSchedule(voteId) {
    const back = this.scheduling;
    this.scheduling = voteId;
    this.render();
    if (voteId) this.list.querySelector(`[data-vote-id="${voteId}"] .start-at`)?.focus();
    else this.list.querySelector(`[data-vote-id="${back}"] .start-at-button`)?.focus();
  }
}

// Kind and time limit, and when the counts are shown if only at the end.
function summaryOf(c, vote) {
  const summary = c.t('voteSummary', { kind: c.kind(vote.voteType), seconds: c.number(vote.limitTime) });
  return vote.results === 'end' ? `${summary} · ${c.t('resultsAtEndShort')}` : summary;
}
