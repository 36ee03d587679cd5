import assert from 'node:assert/strict';
import { test } from 'node:test';
import { Ballot } from '../assets/viewer/ballot.js';
import { readVoteState } from '../assets/shared/votemodel.js';
import { judgeVote, normalVote } from './support/votes.js';

function started(counts, limits = { perUser: 2, perOption: 1 }) {
  const ballot = new Ballot(9);
  ballot.applyVote(readVoteState(normalVote({ counts, ...limits })));
  return ballot;
}

const shown = (ballot) => ballot.state.options.map((option) => ballot.countOf(option));

test('answers and broadcasts correct an optimistic ticket', () => {
  const cases = [
    { name: 'accepted, then counted by the broadcast', result: 0, broadcast: [5, 1], counts: [5, 1], remaining: 1 },
    { name: 'accepted, broadcast not there yet', result: 0, broadcast: [4, 1], counts: [5, 1], remaining: 1 },
    { name: 'refused: allowance spent elsewhere', result: 11, broadcast: null, counts: [4, 1], remaining: 0 },
    { name: 'refused: option full', result: 12, broadcast: null, counts: [4, 1], remaining: 2, optionLeft: 0 },
    { name: 'refused: not running', result: 10, broadcast: null, counts: [4, 1], remaining: 2, optionLeft: 1 },
    { name: 'refused while others voted', result: 19, broadcast: [6, 1], counts: [6, 1], remaining: 2 },
  ];
  for (const c of cases) {
    const ballot = started([4, 1]);
    const request = ballot.vote(0);
    assert.deepEqual(request, { id: 1, type: 'vote', voteId: 1, optionId: 0, tickets: 1 }, c.name);
    assert.deepEqual(shown(ballot), [5, 1], `${c.name}: counted at once`);
    if (c.broadcast) ballot.applyVote(readVoteState(normalVote({ counts: c.broadcast, perUser: 2, perOption: 1 })));
    const outcome = ballot.applyResult({ id: 1, result: c.result });
    assert.equal(outcome.ok, c.result === 0, c.name);
    assert.deepEqual(shown(ballot), c.counts, c.name);
    assert.equal(ballot.remaining, c.remaining, c.name);
    if (c.optionLeft !== undefined) assert.equal(ballot.leftFor(0), Math.min(c.remaining, c.optionLeft), c.name);
  }
});

test('the allowance bounds clicks; the service ticket state replaces it', () => {
  const ballot = started([0, 0, 0]);
  assert.ok(ballot.vote(0));
  assert.equal(ballot.vote(0), null, 'one per option');
  assert.ok(ballot.vote(1));
  assert.equal(ballot.vote(2), null, 'two per person');
  ballot.applyTickets({ voteId: 1, remaining: 1, perOption: { 0: 1, 1: 1 } });
  assert.equal(ballot.vote(0), null, 'used per option from the service');
  assert.ok(ballot.vote(2));
  ballot.applyTickets({ voteId: 99, remaining: 5, perOption: {} });
  assert.equal(ballot.remaining, 0, 'another vote’s ticket state is ignored');
  assert.equal(ballot.applyResult({ id: 42, result: 0 }), null, 'an unknown answer is not ours');
});

// The service answers a session in order: a ticket state holds the clicks sent before it was asked
// for, not those sent after it.
test('a ticket state keeps the unanswered clicks sent after it was asked for', () => {
  const cases = [
    { name: 'a click after the ask', before: [], after: [0], state: { remaining: 2, perOption: {} }, left: [1, 0, 1] },
    { name: 'a click before the ask', before: [0], after: [], state: { remaining: 1, perOption: { 0: 1 } }, left: [1, 0, 1] },
    { name: 'one of each', before: [0], after: [1], state: { remaining: 1, perOption: { 0: 1 } }, left: [0, 0, 0] },
  ];
  for (const c of cases) {
    const ballot = started([0, 0]);
    for (const option of c.before) ballot.vote(option);
    const asked = ballot.askTickets();
    assert.deepEqual({ ...asked, id: 0 }, { id: 0, type: 'tickets', voteId: 1 }, c.name);
    for (const option of c.after) ballot.vote(option);
    ballot.applyTickets({ id: asked.id, voteId: 1, ...c.state });
    assert.deepEqual([ballot.remaining, ballot.leftFor(0), ballot.leftFor(1)], c.left, c.name);
  }
});

test('a new vote starts from its full allowance; an ended vote takes no ticket', () => {
  const ballot = started([1, 1]);
  ballot.vote(0);
  ballot.applyVote(readVoteState(normalVote({ id: 2, counts: [0, 0], perUser: 3, perOption: 2 })));
  assert.deepEqual([ballot.remaining, ballot.leftFor(0), ballot.pending.size], [3, 2, 0]);
  ballot.vote(1);
  ballot.applyVote(readVoteState(normalVote({ id: 2, counts: [0, 0], ended: true })));
  assert.equal(ballot.vote(0), null);
  const rerun = normalVote({ id: 2, counts: [0, 0], perUser: 3, perOption: 2 });
  ballot.applyVote(readVoteState({ ...rerun, jiFangId: 8 }));
  assert.deepEqual([ballot.running, ballot.remaining], [true, 3], 'the same vote run again starts afresh');
});

// The service takes a session's requests only for the vote its session showed: one read over HTTP
// is shown at once but waits for the session before it takes a click.
test('a vote read over HTTP takes no click and asks no ticket state until the session shows it', () => {
  const ballot = new Ballot(9);
  const state = readVoteState(normalVote({ counts: [0, 0] }));
  assert.equal(ballot.applyVote(state, { fromSession: false }), false);
  assert.deepEqual([ballot.vote(0), ballot.askTickets(), ballot.remaining], [null, null, 3], 'read over HTTP');
  assert.equal(ballot.applyVote(state), true, 'the session shows it: time to ask for the tickets');
  assert.ok(ballot.vote(0));
  assert.equal(ballot.applyVote(state), false, 'shown again: no new ask');
  ballot.forgetPending();
  assert.equal(ballot.vote(1), null, 'a new session has shown nothing yet');
});

test('a judge scores once; a refusal lets the judge score again', () => {
  const ballot = new Ballot(9);
  ballot.applyVote(readVoteState(judgeVote({ judges: [[8, 'other', 0], [9, 'me', 0]] })));
  assert.equal(ballot.score(6), null, 'out of range');
  const request = ballot.score(4);
  assert.deepEqual(request, { id: 1, type: 'judgeScore', voteId: 3, score: 4 });
  assert.deepEqual(ballot.state.judges.map((judge) => ballot.pointsOf(judge)), [0, 4]);
  assert.equal(ballot.canScore(), false);
  assert.equal(ballot.applyResult({ id: 1, result: 15 }).words, '你已经打过分了');
  assert.equal(ballot.canScore(), true);
  const viewer = new Ballot(7);
  viewer.applyVote(readVoteState(judgeVote({ judges: [[8, 'other', 0]] })));
  assert.equal(viewer.score(3), null, 'not a judge of this vote');
});
