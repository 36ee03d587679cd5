// The vote editor's rules, as the desktop editor applies them: every text filled in, tickets per
// person at least tickets per option, at most 10 options (or members of a team), 5 judges; option
// texts of at most 20 characters, team members of at most 8, a time limit of up to four digits.
// A draft is what the form holds; recordOf turns it into the vote record the API stores.
import { VoteKind } from '../shared/votemodel.js';

export const kMaxRows = 10;
export const kMaxJudges = 5;
export const kOptionLength = 20;
export const kMemberLength = 8;
// A judge vote counts one score of 1 to 5 per judge for its single option, the vote itself.
const kJudgeTickets = 5;

export function emptyDraft(kind) {
  return {
    kind,
    voteId: 0,
    name: '',
    limitTime: '300',
    // Counts shown to viewers only once the vote has ended.
    resultsAtEnd: false,
    maxTicket: '1',
    maxOptionTicket: '1',
    options: ['', ''],
    teams: [
      { name: '', members: [''] },
      { name: '', members: [''] },
    ],
    judges: [],
  };
}

function table(value) {
  return value !== null && typeof value === 'object' && !Array.isArray(value) ? value : {};
}

function textsInIdOrder(map) {
  return Object.keys(map)
    .map(Number)
    .filter(Number.isSafeInteger)
    .sort((a, b) => a - b)
    .map((id) => String(map[id] ?? ''));
}

// A stored vote (VoteInfo JSON) as the form shows it.
export function draftOf(vote) {
  const kind = Number(vote.voteType) || VoteKind.normal;
  const draft = emptyDraft(kind);
  const limits = table(vote.limits);
  draft.voteId = Number(vote.voteId) || 0;
  draft.name = String(vote.name ?? '');
  draft.limitTime = String(vote.limitTime ?? '');
  draft.resultsAtEnd = vote.results === 'end';
  draft.maxTicket = String(limits['0'] ?? '');
  draft.maxOptionTicket = String(limits['1'] ?? '');
  const options = table(vote.options);
  if (kind === VoteKind.normal) draft.options = textsInIdOrder(options);
  if (kind === VoteKind.group) {
    const groups = table(vote.optionGroup);
    const names = table(vote.groupNames);
    draft.teams = [0, 1].map((team) => ({
      name: String(names[team] ?? ''),
      members: Object.keys(options)
        .map(Number)
        .sort((a, b) => a - b)
        .filter((id) => (Number(groups[id]) === 1 ? 1 : 0) === team)
        .map((id) => String(options[id])),
    }));
  }
  if (kind === VoteKind.judge) {
    const judges = table(vote.judges);
    draft.judges = textsInIdOrder(table(vote.judgeOrder))
      .map((uid) => table(judges[uid]))
      .map((judge) => ({ uid: Number(judge.uid) || 0, imid: Number(judge.imid) || 0, nick: String(judge.nick ?? '') }))
      .filter((judge) => judge.uid !== 0);
  }
  return draft;
}

function hasTickets(draft) {
  return draft.kind !== VoteKind.judge;
}

function requiredTexts(draft) {
  const texts = [draft.name, draft.limitTime];
  if (hasTickets(draft)) texts.push(draft.maxTicket, draft.maxOptionTicket);
  if (draft.kind === VoteKind.normal) texts.push(...draft.options);
  if (draft.kind === VoteKind.group) for (const team of draft.teams) texts.push(team.name, ...team.members);
  return texts;
}

function u32(text) {
  return /^\d+$/.test(text) ? Number(text) : 0;
}

// The catalogue key of the first rule the draft breaks, or null when it may be saved.
export function check(draft) {
  if (hasTickets(draft) && u32(draft.maxTicket.trim()) < u32(draft.maxOptionTicket.trim())) return 'warn.tickets';
  if (requiredTexts(draft).some((text) => text.trim() === '')) return 'warn.empty';
  if (!/^\d{1,4}$/.test(draft.limitTime.trim())) return 'warn.number';
  if (hasTickets(draft) && !(/^\d+$/.test(draft.maxTicket.trim()) && /^\d+$/.test(draft.maxOptionTicket.trim()))) return 'warn.number';
  if (draft.kind === VoteKind.normal && draft.options.length > kMaxRows) return 'warn.optionsFull';
  if (draft.kind === VoteKind.group && draft.teams.some((team) => team.members.length > kMaxRows)) return 'warn.optionsFull';
  if (draft.kind === VoteKind.judge && draft.judges.length > kMaxJudges) return 'warn.judgesFull';
  return null;
}

// The vote record of a draft that check() passed, as POST and PUT take it.
export function recordOf(draft) {
  const record = { voteType: draft.kind, name: draft.name.trim(), limitTime: Number(draft.limitTime.trim()), results: draft.resultsAtEnd ? 'end' : 'live' };
  if (draft.voteId) record.voteId = draft.voteId;
  if (draft.kind === VoteKind.judge) {
    record.limits = { 0: kJudgeTickets, 1: kJudgeTickets };
    record.options = { 0: record.name };
    record.judges = Object.fromEntries(draft.judges.map((j) => [j.uid, { uid: j.uid, imid: j.imid, nick: j.nick, points: 0, auxMap: {} }]));
    record.judgeOrder = Object.fromEntries(draft.judges.map((j, position) => [position, j.uid]));
    return record;
  }
  record.limits = { 0: Number(draft.maxTicket.trim()), 1: Number(draft.maxOptionTicket.trim()) };
  if (draft.kind === VoteKind.normal) {
    record.options = Object.fromEntries(draft.options.map((text, id) => [id, text.trim()]));
    return record;
  }
  // Options are numbered team A first, then team B.
  const members = draft.teams.flatMap((team, index) => team.members.map((text) => [index, text.trim()]));
  record.options = Object.fromEntries(members.map(([, text], id) => [id, text]));
  record.optionGroup = Object.fromEntries(members.map(([team], id) => [id, team]));
  record.groupNames = { 0: draft.teams[0].name.trim(), 1: draft.teams[1].name.trim() };
  return record;
}
