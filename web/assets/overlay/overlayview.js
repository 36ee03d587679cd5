// The overlay's one panel: built when a vote appears, updated by every state, faded out when the
// vote is closed (or a snapshot says there is none). Between votes the stage is empty.
import { followBroadcastRate, showMotion } from '../shared/animatedcount.js';
import { Countdown } from '../shared/countdown.js';
import { element } from '../shared/dom.js';
import { countdownText } from '../shared/format.js';
import { t, words } from '../shared/language.js';
import { VoteKind, judgeTotal, readVoteState, totalTickets } from '../shared/votemodel.js';
import { GroupBoard } from './groupboard.js';
import { JudgeBoard } from './judgeboard.js';
import { NormalBoard } from './normalboard.js';

const kFadeMs = 900;
const kBoards = { [VoteKind.normal]: NormalBoard, [VoteKind.group]: GroupBoard, [VoteKind.judge]: JudgeBoard };

export class OverlayView {
  constructor(stage) {
    this.stage = stage;
    this.panel = null;
  }

  // One event or snapshot of the stream.
  apply(message) {
    if (message.type === 'vote.close') {
      if (this.panel && (message.voteId === undefined || message.voteId === this.panel.voteId)) this.fadeOut();
      return;
    }
    const state = readVoteState(message);
    if (state === null) this.fadeOut();
    else this.show(state);
  }

  show(state) {
    if (this.panel && (this.panel.voteId !== state.voteId || this.panel.kind !== state.kind)) this.fadeOut();
    if (!this.panel) {
      this.panel = new Panel(state);
      this.stage.append(this.panel.root);
    }
    this.panel.update(state);
  }

  fadeOut() {
    if (!this.panel) return;
    this.panel.leave();
    this.panel = null;
  }

  showNotice(sentence) {
    this.fadeOut();
    this.stage.append(element('p', 'notice', sentence));
  }
}

class Panel {
  constructor(state) {
    this.voteId = state.voteId;
    this.kind = state.kind;
    this.root = element('section', `panel kind-${['normal', 'group', 'judge'][state.kind]}`);
    this.root.dataset.voteId = String(state.voteId);
    const header = element('header', 'panel-head');
    const titles = element('div', 'titles');
    this.title = element('h1', 'vote-title');
    titles.append(element('span', 'kind-chip', words().kind(state.kind)), this.title);
    this.clock = element('div', 'clock');
    this.time = element('span', 'clock-time num');
    this.clockWords = element('span', 'clock-words');
    this.clock.append(clockIcon(), this.time, this.clockWords);
    header.append(titles, this.clock);
    this.board = new kBoards[state.kind]();
    this.footer = element('footer', 'panel-foot');
    this.pendingNote = element('p', 'results-note', t('resultsAtEnd'));
    this.pendingNote.setAttribute('role', 'status');
    this.root.append(header, this.pendingNote, this.board.root, this.footer);
    this.countdown = new Countdown((seconds) => {
      this.time.textContent = countdownText(seconds);
    });
    requestAnimationFrame(() => this.root.classList.add('shown'));
  }

  update(state) {
    this.title.textContent = state.name;
    showMotion(this.root, followBroadcastRate(state.broadcastHz));
    // Counts held back until the end are revealed then, the bars growing from nothing.
    if (this.root.classList.contains('results-pending') && !state.resultsHidden) this.root.classList.add('revealing');
    this.root.classList.toggle('results-pending', state.resultsHidden);
    this.pendingNote.hidden = !state.resultsHidden;
    this.board.update(state);
    this.root.classList.toggle('ended', state.ended);
    this.showClock(state);
    this.footer.textContent = state.resultsHidden ? pendingFooterText(state) : footerText(state);
  }

  showClock(state) {
    if (state.ended) {
      this.countdown.stop();
      this.time.textContent = '';
      this.clockWords.textContent = t(state.kind === VoteKind.group ? 'clock.stopped' : 'clock.ended');
      this.clock.hidden = false;
      return;
    }
    this.clock.hidden = state.remainingSeconds === 0 && this.countdown.deadline === null;
    this.clockWords.textContent = t('clock.running');
    if (state.remainingSeconds > 0) this.countdown.set(state.remainingSeconds);
  }

  leave() {
    this.countdown.stop();
    this.root.classList.add('leaving');
    this.root.classList.remove('shown');
    setTimeout(() => this.root.remove(), kFadeMs);
  }
}

function footerText(state) {
  if (state.kind === VoteKind.judge) {
    const scored = state.judges.filter((judge) => judge.points > 0).length;
    const average = scored > 0 ? words().decimal(judgeTotal(state.judges) / scored) : '—';
    return [t('overlay.judges', { n: state.judges.length }), t('overlay.scored', { n: scored }), t('overlay.average', { average })].join(' · ');
  }
  return t('overlay.tickets', { n: totalTickets(state.options) });
}

// While the counts are held back: what is being voted on, not how.
function pendingFooterText(state) {
  return state.kind === VoteKind.judge ? t('overlay.judges', { n: state.judges.length }) : t('overlay.options', { n: state.options.length });
}

function clockIcon() {
  const icon = document.createElementNS('http://www.w3.org/2000/svg', 'svg');
  icon.setAttribute('viewBox', '0 0 24 24');
  icon.setAttribute('class', 'clock-icon');
  icon.setAttribute('aria-hidden', 'true');
  const face = document.createElementNS(icon.namespaceURI, 'circle');
  face.setAttribute('cx', '12');
  face.setAttribute('cy', '13');
  face.setAttribute('r', '8');
  const hands = document.createElementNS(icon.namespaceURI, 'path');
  hands.setAttribute('d', 'M12 9v4l2.5 2.5M9.5 2.5h5');
  icon.append(face, hands);
  return icon;
}
