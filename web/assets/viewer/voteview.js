// The running (or ended) vote on the viewer page: its head, the viewer's ticket allowance and the
// body of its kind (a button per option or team member, or the score picker for a judge). Elements
// are built once per vote and updated in place, so a button that has the keyboard focus keeps it
// while counts change.
import { followBroadcastRate, showMotion } from '../shared/animatedcount.js';
import { Countdown } from '../shared/countdown.js';
import { element } from '../shared/dom.js';
import { countdownText } from '../shared/format.js';
import { t, words } from '../shared/language.js';
import { VoteKind } from '../shared/votemodel.js';
import { GroupBody } from './groupbody.js';
import { JudgeBody } from './judgebody.js';
import { NormalBody } from './normalbody.js';

const kBodies = { [VoteKind.normal]: NormalBody, [VoteKind.group]: GroupBody, [VoteKind.judge]: JudgeBody };
// The countdown turns red only for the last half minute; earlier red would read as an alarm.
const kClosingSeconds = 30;

export class VoteView {
  constructor(root, actions) {
    this.root = root;
    this.actions = actions;
    this.card = null;
  }

  render(ballot, connected) {
    const state = ballot.state;
    if (!state) {
      this.showEmpty();
      return;
    }
    if (!this.card || this.card.voteId !== state.voteId || this.card.kind !== state.kind) {
      this.card?.countdown.stop();
      this.card = new VoteCard(state, this.actions);
      this.root.replaceChildren(this.card.root);
    }
    this.card.update(ballot, connected);
  }

  showEmpty() {
    this.card?.countdown.stop();
    this.card = null;
    const empty = element('div', 'empty');
    empty.append(element('p', 'empty-title', t('viewer.emptyTitle')), element('p', 'empty-hint', t('viewer.emptyHint')));
    this.root.replaceChildren(empty);
  }
}

class VoteCard {
  constructor(state, actions) {
    this.voteId = state.voteId;
    this.kind = state.kind;
    this.root = element('article', `vote-card kind-${['normal', 'group', 'judge'][state.kind]}`);
    this.root.setAttribute('aria-labelledby', 'vote-title');
    const head = element('header', 'vote-head');
    this.title = element('h2', 'vote-title');
    this.title.id = 'vote-title';
    this.clock = element('p', 'vote-clock');
    this.time = element('span', 'clock-time num');
    this.clockWords = element('span', 'clock-words');
    this.clock.append(this.time, this.clockWords);
    head.append(element('span', 'kind-chip', words().kind(state.kind)), this.title, this.clock);
    this.allowance = element('p', 'allowance');
    this.pendingNote = element('p', 'results-note', t('resultsAtEnd'));
    this.pendingNote.setAttribute('role', 'status');
    const body = element('div', 'vote-body');
    this.root.append(head, this.allowance, this.pendingNote, body);
    this.body = new kBodies[state.kind](body, actions);
    this.countdown = new Countdown((seconds) => {
      this.time.textContent = countdownText(seconds);
      this.clock.classList.toggle('closing', seconds <= kClosingSeconds);
    });
  }

  update(ballot, connected) {
    const state = ballot.state;
    this.title.textContent = state.name;
    showMotion(this.root, followBroadcastRate(state.broadcastHz));
    // Counts held back until the end are revealed then, the bars growing from nothing.
    if (this.root.classList.contains('results-pending') && !state.resultsHidden) this.root.classList.add('revealing');
    this.root.classList.toggle('results-pending', state.resultsHidden);
    this.pendingNote.hidden = !state.resultsHidden;
    this.root.classList.toggle('ended', state.ended);
    this.showClock(state);
    const tickets = this.body.countsTickets && !state.ended;
    this.allowance.hidden = !tickets;
    if (tickets) this.allowance.textContent = t('viewer.allowance', { perOption: state.perOption, n: Math.max(0, ballot.remaining) });
    this.body.update(ballot, connected);
  }

  showClock(state) {
    if (state.ended) {
      this.countdown.stop();
      this.time.textContent = '';
      this.clockWords.textContent = t(state.kind === VoteKind.group ? 'clock.stopped' : 'clock.ended');
      return;
    }
    this.clock.hidden = state.remainingSeconds === 0 && this.countdown.deadline === null;
    this.clockWords.textContent = t(state.kind === VoteKind.judge ? 'clock.judges' : 'clock.running');
    if (state.remainingSeconds > 0) this.countdown.set(state.remainingSeconds);
  }
}
