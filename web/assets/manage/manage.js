// The management console of one channel: signs in with the `manage` token of the link's fragment,
// lists the sub-channel's votes, edits, starts, stops, closes and deletes them, follows the running
// vote live and shows the last seven days. Every refusal of the service is stated in words.
import { clear, element } from '../shared/dom.js';
import { ReconnectingSocket } from '../shared/eventstream.js';
import { Catalogue, pickLanguage } from './catalogue.js';
import { draftOf, emptyDraft } from './editorrules.js';
import { HistoryPanel } from './historypanel.js';
import { LiveView } from './liveview.js';
import { ManageLink, idOf } from './managelink.js';
import { OverlayLink } from './overlaylink.js';
import { VoteEditor } from './voteeditor.js';
import { VoteList } from './votelist.js';
import { accessRefusal, refusalWords } from './refusals.js';

const kLanguageKey = 'quorix.manage.lang';

class ManageConsole {
  constructor(link, catalogue, root, switchLanguage) {
    this.link = link;
    this.c = catalogue;
    this.root = root;
    this.switchLanguage = switchLanguage;
    this.jiFangIds = new Map(); // voteId → the round its start answered, for stop and close
    this.live = null;
  }

  async mount() {
    const { c, link } = this;
    document.documentElement.lang = c.language;
    document.title = c.t('title');
    clear(this.root);
    this.root.append(this.masthead());
    const page = element('div', 'page');
    this.root.append(page);
    if (!link.placeValid) return this.refuse(page, 'access.badPlace');
    if (!link.hasIdentity) return this.refuse(page, 'access.missing');
    page.append(element('p', 'loading', c.t('loading')));
    const listed = await link.request('GET', link.votesUrl());
    const refusal = accessRefusal(link, listed.status, listed.body);
    clear(page);
    if (refusal) return this.refuse(page, refusal);
    this.build(page);
    this.list.show(Array.isArray(listed.body?.votes) ? listed.body.votes : []);
    this.follow();
    this.loadHistory();
  }

  unmount() {
    this.socket?.stop();
    clearInterval(this.liveView?.timer);
  }

  refuse(page, key) {
    const words = element('p', 'refusal', this.c.t(key));
    words.setAttribute('role', 'alert');
    page.append(words);
  }

  masthead() {
    const { c, link } = this;
    const head = element('header', 'masthead');
    const brand = element('span', 'brand', '票');
    brand.setAttribute('aria-hidden', 'true');
    const title = element('h1', 'masthead-title', c.t('title'));
    const channel = element('span', 'chip', c.t('channel', { ch: link.channel ?? '?' }));
    const form = element('form', 'sub-form');
    const input = element('input', 'text-input sub-input');
    input.id = 'sub-input';
    input.inputMode = 'numeric';
    input.value = String(link.sub);
    const label = element('label', 'field-label', c.t('subChannel'));
    label.htmlFor = 'sub-input';
    const go = element('button', 'button', c.t('switchSub'));
    go.type = 'submit';
    form.append(label, input, go);
    form.addEventListener('submit', (event) => {
      event.preventDefault();
      const sub = idOf(input.value.trim());
      if (sub === null || sub === link.sub) return;
      link.sub = sub;
      this.unmount();
      this.mount();
    });
    const language = element('button', 'link-button language', c.other().name);
    language.type = 'button';
    language.lang = c.other().code;
    language.addEventListener('click', () => this.switchLanguage(c.other().code));
    head.append(brand, title, channel, form, language);
    return head;
  }

  build(page) {
    const { c } = this;
    this.notice = element('p', 'notice');
    this.notice.setAttribute('role', 'status');
    this.notice.setAttribute('aria-live', 'polite');
    this.alert = element('p', 'notice refused');
    this.alert.setAttribute('role', 'alert');
    this.list = new VoteList(c, {
      create: (kind) => this.openEditor(emptyDraft(kind)),
      edit: (vote) => this.edit(vote),
      start: (vote) => this.act(vote, 'start'),
      schedule: (vote, at) => this.schedule(vote, at),
      unschedule: (vote) => this.unschedule(vote),
      stop: (vote) => this.act(vote, 'stop'),
      close: (vote) => this.act(vote, 'close'),
      remove: (vote) => this.remove([vote]),
      removeMany: (votes) => this.remove(votes),
    });
    this.editor = new VoteEditor(c, {
      save: (record) => this.save(record),
      lookUp: (imid) => this.lookUp(imid),
      cancel: () => this.closeEditor(),
    });
    this.editor.root.hidden = true;
    this.liveView = new LiveView(c, {
      stop: (state) => this.act({ voteId: state.voteId, name: state.name }, 'stop'),
      close: (state) => this.act({ voteId: state.voteId, name: state.name }, 'close'),
    });
    this.history = new HistoryPanel(c, () => this.downloadCsv());
    const main = element('div', 'column main-column');
    main.append(this.list.root, this.editor.root);
    const side = element('div', 'column side-column');
    this.overlay = new OverlayLink(c, this.link);
    side.append(this.liveView.root, this.overlay.root);
    const layout = element('div', 'layout');
    layout.append(main, side);
    page.append(this.notice, this.alert, layout, this.history.root);
  }

  say(words) {
    this.alert.textContent = '';
    this.notice.textContent = words;
  }

  refused(words) {
    this.notice.textContent = '';
    this.alert.textContent = words;
  }

  refusalWords(answer) {
    return refusalWords(this.c, this.link, answer);
  }

  async refreshList() {
    const listed = await this.link.request('GET', this.link.votesUrl());
    if (listed.status === 200) this.list.show(Array.isArray(listed.body?.votes) ? listed.body.votes : []);
    else this.refused(this.refusalWords(listed));
  }

  openEditor(draft) {
    this.editor.root.hidden = false;
    this.editor.open(draft);
    this.editor.root.scrollIntoView({ block: 'nearest' });
  }

  closeEditor() {
    this.editor.root.hidden = true;
    this.list.root.querySelector('button')?.focus();
  }

  async edit(vote) {
    const read = await this.link.request('GET', this.link.voteUrlOf(vote.voteId));
    if (read.status !== 200) return this.refused(this.refusalWords(read));
    this.openEditor(draftOf(read.body));
  }

  async save(record) {
    const { link } = this;
    const answer = record.voteId ? await link.request('PUT', link.voteUrlOf(record.voteId), record) : await link.request('POST', link.votesUrl(), record);
    if (answer.status !== 200 && answer.status !== 201) return this.refusalWords(answer);
    this.closeEditor();
    this.say(this.c.t('saved', { name: record.name }));
    await this.refreshList();
    return null;
  }

  async lookUp(imid) {
    const answer = await this.link.request('GET', this.link.userUrl(imid));
    if (answer.status === 404) return { words: this.c.t('warn.noUser') };
    if (answer.status !== 200) return { words: this.refusalWords(answer) };
    const { uid, nick } = answer.body;
    return { judge: { uid: Number(uid), imid, nick: String(nick ?? '') } };
  }

  async act(vote, action) {
    const { link } = this;
    const liveRound = this.live && this.live.voteId === vote.voteId ? this.live.jiFangId : 0;
    const round = action === 'start' ? 0 : liveRound || this.jiFangIds.get(vote.voteId) || 0;
    const answer = await link.request('POST', link.actionUrl(vote.voteId, action, round));
    if (answer.status !== 200) return this.refused(this.refusalWords(answer));
    if (action === 'start') this.jiFangIds.set(vote.voteId, answer.body.jiFangId);
    this.say(this.c.t({ start: 'started', stop: 'stopped', close: 'closed' }[action], { name: vote.name }));
  }

  // Schedules the vote's start; the refusal's words for the form, or null once scheduled.
  async schedule(vote, at) {
    const answer = await this.link.request('POST', this.link.actionUrl(vote.voteId, 'start'), { at });
    if (answer.status !== 200) return this.refusalWords(answer);
    this.say(this.c.t('scheduled', { name: vote.name, time: this.c.dateTime(at) }));
    await this.refreshList();
    return null;
  }

  async unschedule(vote) {
    const answer = await this.link.request('DELETE', this.link.actionUrl(vote.voteId, 'schedule'));
    if (answer.status !== 204) return this.refused(this.refusalWords(answer));
    this.say(this.c.t('unscheduled', { name: vote.name }));
    await this.refreshList();
  }

  async remove(votes) {
    const { c, link } = this;
    if (votes.length === 0) return;
    const question = votes.length === 1 ? c.t('confirmDelete', { name: votes[0].name }) : c.t('confirmBatch', { n: votes.length });
    if (!window.confirm(question)) return;
    const answer =
      votes.length === 1
        ? await link.request('DELETE', link.voteUrlOf(votes[0].voteId))
        : await link.request('POST', link.batchDeleteUrl(), { voteIds: votes.map((vote) => vote.voteId) });
    if (answer.status !== 200 && answer.status !== 204) return this.refused(this.refusalWords(answer));
    const deleted = answer.status === 204 ? 1 : answer.body.deleted;
    if (answer.status === 200 && answer.body.result) this.refused(c.t('batchPartly', { n: c.number(deleted), refused: c.resultWords(answer.body.result) }));
    else this.say(c.t('deleted', { n: c.number(deleted) }));
    await this.refreshList();
  }

  // The events stream of the sub-channel; its changes of vote refresh the list's states and the
  // history.
  follow() {
    const { link } = this;
    this.socket = new ReconnectingSocket(() => link.socket(`/channels/${link.channel}/events`, { sub: link.sub }), {
      onOpen: () => this.liveView.setConnected(true),
      onDown: () => this.liveView.setConnected(false),
      onMessage: (message) => this.onEvent(message),
      mayRetry: async () => {
        const probe = await link.request('GET', link.voteUrl());
        if (probe.status !== 403 && probe.status !== 401) return true;
        this.liveView.setConnected(true);
        this.liveView.showNoEvents();
        return false;
      },
    });
    this.socket.start();
  }

  onEvent(message) {
    this.liveView.follow(message);
    const state = this.liveView.state;
    const before = this.live;
    this.live = state ? { voteId: state.voteId, ended: state.ended, jiFangId: state.jiFangId } : null;
    this.list.setLive(this.live);
    if (this.live) this.jiFangIds.set(this.live.voteId, this.live.jiFangId);
    const endedNow = (this.live?.ended && !before?.ended) || message.type === 'vote.close';
    if (endedNow) this.loadHistory();
    // A vote started, closed, scheduled or changed elsewhere (the desktop, another console): list
    // the votes afresh.
    if (['vote.begin', 'vote.close', 'vote.schedule', 'vote.list'].includes(message.type)) this.refreshList();
  }

  async loadHistory() {
    const answer = await this.link.request('GET', this.link.historyUrl());
    if (answer.status === 200) this.history.show(Array.isArray(answer.body?.history) ? answer.body.history : []);
    else this.history.showWords(answer.status === 403 ? this.c.t('noEvents') : this.refusalWords(answer));
  }

  async downloadCsv() {
    const { link } = this;
    let response;
    try {
      response = await fetch(link.historyUrl(true), link.requestInit());
    } catch {
      return this.refused(this.c.t('access.unreachable'));
    }
    if (response.status !== 200) {
      const body = await response.json().catch(() => null);
      return this.refused(this.refusalWords({ status: response.status, body }));
    }
    const url = URL.createObjectURL(await response.blob());
    const anchor = element('a');
    anchor.href = url;
    anchor.download = `votes-${link.channel}-${link.sub}.csv`;
    document.body.append(anchor);
    anchor.click();
    anchor.remove();
    setTimeout(() => URL.revokeObjectURL(url), 1000);
  }
}

function storedLanguage() {
  try {
    return window.sessionStorage.getItem(kLanguageKey);
  } catch {
    return null;
  }
}

// This tab's own choice first, then the link's ?lang=, then the browser's language.
const requested = storedLanguage() ?? new URLSearchParams(window.location.search).get('lang');
const link = new ManageLink(window.location);
const root = document.getElementById('app');
let current = null;

function start(language) {
  current?.unmount();
  current = new ManageConsole(link, new Catalogue(language), root, (other) => {
    try {
      window.sessionStorage.setItem(kLanguageKey, other);
    } catch {
      // Storage refused: the choice lasts as long as the page.
    }
    start(other);
  });
  current.mount();
}

start(pickLanguage(requested, navigator.languages));
