// The viewer's side of the shown vote: tickets left, clicks counted before the service has answered
// them, and the corrections its answers bring. The service decides; this only keeps the page honest
// in between.
import { words } from '../shared/language.js';
import { VoteKind, count } from '../shared/votemodel.js';

const kNoTicketsLeft = 11;
const kOptionFull = 12;

export class Ballot {
  constructor(viewerUid) {
    this.viewerUid = viewerUid;
    this.state = null;
    this.remaining = 0;
    this.optionLeft = new Map();
    this.floors = new Map();
    this.pending = new Map();
    // Ticket state requests waiting for their answer: request id -> the number of the first vote
    // request sent after it.
    this.ticketAsks = new Map();
    this.sentScore = null;
    this.nextId = 1;
    // The vote and round the session last showed ("voteId/jiFangId"): the service takes a session's
    // requests only for that one, so a vote read over HTTP takes no click until the session shows it.
    this.sessionRound = null;
  }

  // The shown vote, from the session's `vote` message or (fromSession false) from an HTTP read. A
  // new vote, or a new run of a vote (another jiFangId), starts from its full allowance until the
  // service's ticket state says otherwise. Returns true when the session shows a round it had not
  // shown: the time to ask for the ticket state.
  applyVote(state, { fromSession = true } = {}) {
    const another = state !== null && (state.voteId !== this.state?.voteId || state.jiFangId !== this.state?.jiFangId);
    if (state === null || another) this.reset(state);
    this.state = state;
    if (state) this.dropReachedFloors();
    if (!fromSession) return false;
    const round = state && roundOf(state);
    const fresh = round !== null && round !== this.sessionRound;
    this.sessionRound = round;
    return fresh;
  }

  get sessionReady() {
    return this.state !== null && this.sessionRound === roundOf(this.state);
  }

  reset(state) {
    this.remaining = state ? state.perUser : 0;
    this.optionLeft = new Map((state?.options ?? []).map((option) => [option.id, state.perOption]));
    this.floors.clear();
    this.pending.clear();
    this.ticketAsks.clear();
    this.sentScore = null;
  }

  // The request for the service's ticket state of the shown vote; null without one.
  askTickets() {
    if (!this.sessionReady) return null;
    const id = `t${this.nextId++}`;
    this.ticketAsks.set(id, this.nextId);
    return { id, type: 'tickets', voteId: this.state.voteId };
  }

  // The service's ticket state: tickets left in all, and the tickets already given per option. The
  // service answers a session's requests in order, so the state holds the votes sent before it was
  // asked for; those sent after it and still unanswered are taken off it again.
  applyTickets(message) {
    if (!this.state || count(message.voteId) !== this.state.voteId) return;
    const sentAfter = this.ticketAsks.get(message.id) ?? Infinity;
    this.ticketAsks.delete(message.id);
    this.remaining = count(message.remaining);
    const used = message.perOption && typeof message.perOption === 'object' ? message.perOption : {};
    for (const id of this.optionLeft.keys()) {
      this.optionLeft.set(id, Math.max(0, this.state.perOption - count(used[id])));
    }
    for (const [id, request] of this.pending) {
      if (id < sentAfter || request.optionId === undefined) continue;
      this.remaining = Math.max(0, this.remaining - 1);
      this.optionLeft.set(request.optionId, Math.max(0, (this.optionLeft.get(request.optionId) ?? 0) - 1));
    }
  }

  get running() {
    return this.state !== null && !this.state.ended;
  }

  get open() {
    return this.running && this.sessionReady;
  }

  // The count to show: the broadcast's, or higher while a click of this viewer is not in it yet.
  countOf(option) {
    return Math.max(option.count, this.floors.get(option.id) ?? 0);
  }

  leftFor(optionId) {
    return Math.min(this.remaining, this.optionLeft.get(optionId) ?? 0);
  }

  canVote(optionId) {
    return this.open && this.state.kind !== VoteKind.judge && this.leftFor(optionId) > 0;
  }

  // The request to send for one ticket on optionId, already counted; null when there is none to give.
  vote(optionId) {
    const option = this.state?.options.find((candidate) => candidate.id === optionId);
    if (!option || !this.canVote(optionId)) return null;
    this.remaining -= 1;
    this.optionLeft.set(optionId, this.optionLeft.get(optionId) - 1);
    this.floors.set(optionId, this.countOf(option) + 1);
    const id = this.nextId++;
    this.pending.set(id, { optionId });
    return { id, type: 'vote', voteId: this.state.voteId, optionId, tickets: 1 };
  }

  get ownJudge() {
    if (!this.state || this.state.kind !== VoteKind.judge || this.viewerUid === 0) return null;
    return this.state.judges.find((judge) => judge.uid === this.viewerUid) ?? null;
  }

  canScore() {
    const judge = this.ownJudge;
    return this.open && judge !== null && judge.points === 0 && this.sentScore === null;
  }

  score(points) {
    if (!this.canScore() || !Number.isInteger(points) || points < 1 || points > 5) return null;
    this.sentScore = points;
    const id = this.nextId++;
    this.pending.set(id, { points });
    return { id, type: 'judgeScore', voteId: this.state.voteId, score: points };
  }

  pointsOf(judge) {
    return judge.uid === this.viewerUid && judge.points === 0 && this.sentScore !== null
      ? this.sentScore
      : judge.points;
  }

  // The service's answer to one of this page's requests: null when it is not one of them, else
  // { ok, words }. A refusal takes the optimistic count back.
  applyResult(message) {
    const request = this.pending.get(message.id);
    if (!request) return null;
    this.pending.delete(message.id);
    const code = count(message.result);
    if (code === 0) return { ok: true, words: words().resultWords(0) };
    if (request.points !== undefined) this.sentScore = null;
    if (request.optionId !== undefined) this.undoVote(request.optionId, code);
    return { ok: false, words: words().resultWords(code) };
  }

  undoVote(optionId, code) {
    this.remaining = code === kNoTicketsLeft ? 0 : this.remaining + 1;
    this.optionLeft.set(optionId, code === kOptionFull ? 0 : (this.optionLeft.get(optionId) ?? 0) + 1);
    const floor = (this.floors.get(optionId) ?? 0) - 1;
    const option = this.state?.options.find((candidate) => candidate.id === optionId);
    if (!option || floor <= option.count) this.floors.delete(optionId);
    else this.floors.set(optionId, floor);
  }

  // After a reconnection nothing sent before it will be answered, and the new session has shown
  // nothing yet; the service's fresh state is the truth.
  forgetPending() {
    this.sessionRound = null;
    this.pending.clear();
    this.ticketAsks.clear();
    this.floors.clear();
    this.sentScore = null;
  }

  dropReachedFloors() {
    for (const option of this.state.options) {
      if ((this.floors.get(option.id) ?? 0) <= option.count) this.floors.delete(option.id);
    }
  }
}

const roundOf = (state) => `${state.voteId}/${state.jiFangId}`;
