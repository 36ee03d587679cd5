// Turns the service's vote state JSON (untrusted) into the plain shapes the pages draw: the normal
// vote's ranking (in the service's rank order), the group vote's two teams and the judge vote's
// cards.

export const VoteKind = Object.freeze({ normal: 0, group: 1, judge: 2 });

const kMaxOptions = 64;
const kMaxJudges = 16;
const kTicketsPerUser = '0';
const kTicketsPerOption = '1';

export function count(value) {
  const n = Number(value);
  return Number.isSafeInteger(n) && n >= 0 ? n : 0;
}

function text(value) {
  return typeof value === 'string' ? value : '';
}

function table(value) {
  return value !== null && typeof value === 'object' && !Array.isArray(value) ? value : {};
}

// The vote state of a snapshot, a broadcast or GET vote; null when no vote is shown.
export function readVoteState(message) {
  const vote = table(message).vote;
  if (vote === null || typeof vote !== 'object') return null;
  const limits = table(vote.limits);
  const kind = count(vote.voteType);
  const options = readOptions(vote);
  return {
    voteId: count(vote.voteId),
    jiFangId: count(message.jiFangId),
    name: text(vote.name),
    kind: kind <= VoteKind.judge ? kind : VoteKind.normal,
    ended: message.status === 'ended',
    // A vote whose results come at its end shows no counts while it runs (the service sends zeros).
    resultsHidden: vote.results === 'end' && message.status !== 'ended',
    remainingSeconds: count(message.remainingSeconds),
    broadcastHz: count(message.broadcastHz),
    perUser: count(limits[kTicketsPerUser]),
    perOption: count(limits[kTicketsPerOption]),
    options,
    rank: readRank(message.rank, options.length),
    groupNames: [text(table(vote.groupNames)['0']), text(table(vote.groupNames)['1'])],
    judges: readJudges(vote),
  };
}

// Options are numbered 0 … n-1 as the desktop window numbers them; a missing count is 0.
function readOptions(vote) {
  const names = table(vote.options);
  const tickets = table(vote.optionTickets);
  const groups = table(vote.optionGroup);
  const total = Math.min(Object.keys(names).length, kMaxOptions);
  const options = [];
  for (let id = 0; id < total; id += 1) {
    options.push({ id, name: text(names[id]), count: count(tickets[id]), team: count(groups[id]) === 0 ? 0 : 1 });
  }
  return options;
}

function readJudges(vote) {
  const order = table(vote.judgeOrder);
  const entries = table(vote.judges);
  return Object.keys(order)
    .map(Number)
    .filter((position) => Number.isSafeInteger(position))
    .sort((a, b) => a - b)
    .slice(0, kMaxJudges)
    .map((position) => {
      const uid = count(order[position]);
      const entry = table(entries[uid]);
      return { uid, nick: text(entry.nick), points: Math.min(count(entry.points), 5) };
    });
}

// The service's rank order (option ids, highest count first, ties as the desktop window orders
// them), kept to known ids once each; options it leaves out follow in id order.
function readRank(rank, optionCount) {
  const ids = new Set();
  for (const id of Array.isArray(rank) ? rank : []) {
    if (Number.isSafeInteger(id) && id >= 0 && id < optionCount) ids.add(id);
  }
  for (let id = 0; id < optionCount; id += 1) ids.add(id);
  return [...ids];
}

// The options of a state in its rank order.
export function rankOptions(state) {
  const byId = new Map(state.options.map((option) => [option.id, option]));
  return state.rank.map((id) => byId.get(id));
}

export function totalTickets(options) {
  return options.reduce((sum, option) => sum + option.count, 0);
}

export function teamsOf(state) {
  return [0, 1].map((team) => {
    const members = state.options.filter((option) => option.team === team);
    return { team, name: state.groupNames[team], members, total: totalTickets(members) };
  });
}

export function judgeTotal(judges) {
  return judges.reduce((sum, judge) => sum + judge.points, 0);
}
