// The viewer page: checks its link, then takes part in the sub-channel's vote over the session
// WebSocket and lists the last seven days' votes.
import { Access, accessWords, checkAccess } from '../shared/access.js';
import { element } from '../shared/dom.js';
import { ReconnectingSocket } from '../shared/eventstream.js';
import { chooseLanguage, t, useLanguage } from '../shared/language.js';
import { PageLink } from '../shared/pagelink.js';
import { readVoteState } from '../shared/votemodel.js';
import { Ballot } from './ballot.js';
import { readHistory, showHistory } from './historyview.js';
import { VoteView } from './voteview.js';

const kOkNoticeMs = 2500;
const kRefusalNoticeMs = 6000;

class ViewerPage {
  constructor(link) {
    this.link = link;
    this.ballot = new Ballot(link.viewerUid);
    this.connected = false;
    this.wasEnded = false;
    this.noticeTimer = null;
    this.view = new VoteView(document.getElementById('vote'), {
      onVote: (optionId) => this.send(this.ballot.vote(optionId)),
      onScore: (points) => this.send(this.ballot.score(points)),
    });
    this.socket = new ReconnectingSocket(() => link.sessionUrl(), {
      onOpen: () => this.connectedAgain(),
      onDown: () => this.setConnected(false),
      onMessage: (message) => this.handle(message),
      mayRetry: () => this.mayRetry(),
    });
  }

  start(firstState) {
    this.takeState(firstState, false);
    this.loadHistory();
    this.socket.start();
  }

  send(request) {
    if (request === null) return;
    this.socket.send(request);
    this.render();
  }

  render() {
    this.view.render(this.ballot, this.connected);
  }

  setConnected(connected) {
    this.connected = connected;
    const status = document.getElementById('connection');
    status.textContent = connected ? '' : t('viewer.reconnecting');
    status.hidden = connected;
    this.render();
  }

  async connectedAgain() {
    this.ballot.forgetPending();
    this.setConnected(true);
    const { access, state } = await checkAccess(this.link);
    // The session's own `vote` message then asks for the ticket state.
    if (access === Access.granted) this.takeState(state, false);
  }

  async mayRetry() {
    const { access } = await checkAccess(this.link);
    if (access === Access.granted || access === Access.unreachable) return true;
    showRefusal(access);
    return false;
  }

  handle(message) {
    if (message.type === 'vote') this.takeState(message, true);
    else if (message.type === 'close') this.takeClose(message);
    else if (message.type === 'tickets') {
      this.ballot.applyTickets(message);
      this.render();
    } else if (message.type === 'result') this.takeResult(message);
    else if (message.type === 'error') this.notify(false, t('viewer.requestRefused'));
  }

  takeState(stateJson, fromSession) {
    const state = stateJson ? readVoteState(stateJson) : null;
    if (this.ballot.applyVote(state, { fromSession })) this.askTickets();
    this.render();
    const ended = state === null || state.ended;
    if (ended && !this.wasEnded) this.loadHistory();
    this.wasEnded = ended;
  }

  takeClose(message) {
    if (this.ballot.state && this.ballot.state.voteId === message.voteId) this.takeState(null, true);
  }

  askTickets() {
    const request = this.ballot.askTickets();
    if (request) this.socket.send(request);
  }

  takeResult(message) {
    const outcome = this.ballot.applyResult(message);
    if (!outcome) return;
    if (!outcome.ok) this.askTickets();
    this.notify(outcome.ok, outcome.words);
    this.render();
  }

  notify(ok, words) {
    const notice = document.getElementById('notice');
    notice.textContent = words;
    notice.className = `notice ${ok ? 'notice-ok' : 'notice-refused'}`;
    notice.hidden = false;
    clearTimeout(this.noticeTimer);
    this.noticeTimer = setTimeout(() => {
      notice.hidden = true;
    }, ok ? kOkNoticeMs : kRefusalNoticeMs);
  }

  async loadHistory() {
    const list = document.getElementById('history-list');
    try {
      const response = await fetch(this.link.historyUrl(), this.link.requestInit());
      if (!response.ok) throw new Error(String(response.status));
      showHistory(list, readHistory(await response.json()));
    } catch {
      list.replaceChildren(element('li', 'history-empty', t('viewer.historyUnreadable')));
    }
  }
}

// A refused link gets a plain sentence and nothing else: no vote, no buttons, no history.
function showRefusal(access) {
  const card = element('div', 'refusal');
  card.setAttribute('role', 'alert');
  card.append(element('h2', 'refusal-title', t('viewer.refusalTitle')), element('p', 'refusal-words', accessWords(access)));
  document.getElementById('page').replaceChildren(card);
}

// The page's fixed texts in its language (the HTML holds the Chinese ones for a page without scripts).
function showLanguage(link) {
  useLanguage(chooseLanguage(link.option('lang'), navigator.languages ?? []));
  document.title = t('viewer.title');
  document.querySelector('.masthead-title').textContent = t('viewer.title');
  document.querySelector('.brand').textContent = t('viewer.brand');
  document.querySelector('#vote .loading').textContent = t('viewer.loading');
  document.getElementById('history-title').textContent = t('viewer.historyTitle');
}

async function main() {
  const link = new PageLink(window.location);
  showLanguage(link);
  const first = await checkAccess(link);
  if (first.access !== Access.granted && first.access !== Access.unreachable) {
    showRefusal(first.access);
    return;
  }
  new ViewerPage(link).start(first.state);
}

main();
