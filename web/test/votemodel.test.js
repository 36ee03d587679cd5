import assert from 'node:assert/strict';
import { test } from 'node:test';
import { followBroadcastRate } from '../assets/shared/animatedcount.js';
import { backoffDelay } from '../assets/shared/eventstream.js';
import { countdownText, percentText } from '../assets/shared/format.js';
import en from '../assets/shared/i18n/en.js';
import zh from '../assets/shared/i18n/zh-CN.js';
import { PageWords, chooseLanguage } from '../assets/shared/language.js';
import { resultWords } from '../assets/shared/resultwords.js';
import { VoteKind, rankOptions, readVoteState, teamsOf } from '../assets/shared/votemodel.js';
import { groupVote, normalVote } from './support/votes.js';

const ids = (options) => options.map((option) => option.id);

// The order among ties comes from the service (the contract library's, as the desktop window's);
// the pages keep it and only repair a rank that is not one.
test('ranking follows the service rank, repaired when it is not one', () => {
  const cases = [
    { name: 'tie as sent', counts: [5, 5], rank: [1, 0], order: [1, 0] },
    { name: 'lower first as sent', counts: [1, 4, 4], rank: [1, 2, 0], order: [1, 2, 0] },
    { name: 'no rank: id order', counts: [3, 3, 3], rank: null, order: [0, 1, 2] },
    { name: 'unknown, repeated and fractional ids dropped', counts: [2, 2, 2], rank: [2, 9, 2, -1, 0.5, 0], order: [2, 0, 1] },
    { name: 'missing ids follow in id order', counts: [0, 7, 7, 2], rank: [2], order: [2, 0, 1, 3] },
  ];
  for (const { name, counts, rank, order } of cases) {
    assert.deepEqual(ids(rankOptions(readVoteState(normalVote({ counts, rank })))), order, name);
  }
});

test('hostile or partial states read as safe values', () => {
  const cases = [
    { name: 'no vote', message: { type: 'snapshot', vote: null }, check: (s) => s === null },
    { name: 'vote not an object', message: { vote: 'x' }, check: (s) => s === null },
    { name: 'negative and fractional counts are 0', message: { vote: { options: { 0: 'a', 1: 'b' }, optionTickets: { 0: -4, 1: 2.5 } } }, check: (s) => s.options.every((o) => o.count === 0) },
    { name: 'missing count is 0', message: { vote: { options: { 0: 'a' } } }, check: (s) => s.options[0].count === 0 },
    { name: 'unknown kind is normal', message: { vote: { voteType: 9 } }, check: (s) => s.kind === VoteKind.normal },
    { name: 'markup stays text', message: { vote: { name: '<b>x</b>', options: { 0: 7 } } }, check: (s) => s.name === '<b>x</b>' && s.options[0].name === '' },
    { name: 'judge points above 5 are capped', message: { vote: { voteType: 2, judgeOrder: { 0: 4 }, judges: { 4: { nick: 'j', points: 99 } } } }, check: (s) => s.judges[0].points === 5 },
    { name: 'ended status', message: { status: 'ended', vote: {} }, check: (s) => s.ended },
  ];
  for (const { name, message, check } of cases) assert.ok(check(readVoteState(message)), name);
});

test('group members fall into their teams with team totals', () => {
  const state = readVoteState(groupVote({ teamA: [['a1', 3], ['a2', 4]], teamB: [['b1', 10]] }));
  const [a, b] = teamsOf(state);
  assert.deepEqual([a.name, a.total, ids(a.members)], ['红队', 7, [0, 1]]);
  assert.deepEqual([b.name, b.total, ids(b.members)], ['蓝队', 10, [2]]);
});

test('texts: countdown, shares, result words', () => {
  assert.deepEqual([0, 5, 65, 600, 6000, -3].map(countdownText), ['00:00', '00:05', '01:05', '10:00', '100:00', '00:00']);
  assert.deepEqual([[1, 3], [0, 0], [2, 2], [1, 8]].map(([p, w]) => percentText(p, w)), ['33.3%', '0%', '100%', '12.5%']);
  for (let code = 2; code <= 21; code += 1) {
    if (code !== 5) assert.doesNotMatch(resultWords(code), /代码/, `code ${code} has words`);
    if (code !== 5) assert.doesNotMatch(resultWords(code, 'en'), /code/, `code ${code} has English words`);
  }
  assert.match(resultWords(99), /99/);
  assert.match(resultWords(99, 'en'), /error code 99/);
  assert.equal(resultWords(11, 'fr'), resultWords(11), 'an unknown language gets the Chinese words');
});

// The link's ?lang= first, then the browser's languages, then Simplified Chinese; the locale of
// numbers and dates is the user's own English tag.
test('the page language follows the link, then the browser', () => {
  const rows = [
    { asked: 'en', browser: ['zh-CN'], language: 'en', locale: 'en' },
    { asked: 'zh-CN', browser: ['en-US'], language: 'zh-CN', locale: 'zh-CN' },
    { asked: 'EN-gb', browser: [], language: 'en', locale: 'en-GB' },
    { asked: 'en', browser: ['en-IN'], language: 'en', locale: 'en-IN' },
    { asked: 'fr', browser: ['de-DE', 'en-GB', 'zh-CN'], language: 'en', locale: 'en-GB' },
    { asked: null, browser: ['zh-TW', 'en'], language: 'zh-CN', locale: 'zh-CN' },
    { asked: '"><x', browser: ['x-bad!'], language: 'zh-CN', locale: 'zh-CN' },
    { asked: null, browser: [], language: 'zh-CN', locale: 'zh-CN' },
  ];
  for (const row of rows) assert.deepEqual(chooseLanguage(row.asked, row.browser), { language: row.language, locale: row.locale }, JSON.stringify(row));
});

test('catalogues: the same keys in both languages, plurals, numbers and dates of the locale', () => {
  assert.deepEqual(Object.keys(en).sort(), Object.keys(zh).sort());
  const words = (language, locale = language) => new PageWords({ language, locale });
  const rows = [
    [words('zh-CN').t('overlay.tickets', { n: 12345 }), '共 12,345 票'],
    [words('en').t('overlay.tickets', { n: 1 }), '1 vote'],
    [words('en').t('overlay.tickets', { n: 12345 }), '12,345 votes'],
    [words('en', 'en-IN').t('overlay.tickets', { n: 1234567 }), '12,34,567 votes'],
    [words('en').t('viewer.allowance', { perOption: 2, n: 0 }), 'Up to 2 per option; 0 votes left.'],
    [words('en').t('no.such.key'), 'no.such.key'],
    [words('zh-CN').dateTime('2026-12-03 20:00:05'), '2026年12月3日 20:00:05'],
    [words('en').dateTime('2026-12-03 20:00:05'), 'Dec 3, 2026, 8:00:05 PM'],
    [words('en', 'en-GB').dateTime('2026-12-03 20:00:05'), '3 Dec 2026, 20:00:05'],
    [words('en').dateTime('2026-13-45 99:00:00'), '2026-13-45 99:00:00'],
    [words('en').dateTime('yesterday'), 'yesterday'],
    [words('en').decimal(4), '4.0'],
  ];
  for (const [seen, want] of rows) assert.equal(seen, want);
});

// A fast rate: a 0.6 s ease-out, retaken by the next update long before it ends. 2 Hz or less:
// even motion a quarter longer than the interval, so it still moves when the next update comes.
test('rolls follow the broadcast rate in force', () => {
  const rows = [
    [1, { durationMs: 1250, linear: true }],
    [2, { durationMs: 625, linear: true }],
    [3, { durationMs: 600, linear: false }],
    [10, { durationMs: 600, linear: false }],
    [1000, { durationMs: 600, linear: false }],
    [0, { durationMs: 600, linear: false }],
  ];
  for (const [hz, want] of rows) assert.deepEqual(followBroadcastRate(hz), want, `${hz} Hz`);
});

test('reconnection waits double up to a ceiling, with bounded jitter', () => {
  const middle = () => 0.5;
  assert.deepEqual([0, 1, 2, 3, 10, 50].map((n) => backoffDelay(n, middle)), [500, 1000, 2000, 4000, 15000, 15000]);
  assert.equal(backoffDelay(0, () => 0), 400);
  assert.equal(backoffDelay(0, () => 1), 600);
});
