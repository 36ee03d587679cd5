// Vote states as the service sends them (the contract's JSON), built from a few numbers.
function numbered(values) {
  return Object.fromEntries(values.map((value, i) => [String(i), value]));
}

// rank is the service's order; unless a test gives one, highest count first and ties in id order.
function plainRank(vote) {
  const counts = Object.values(vote.optionTickets ?? {});
  return counts.map((_, id) => id).sort((a, b) => counts[b] - counts[a]);
}

function state(vote, { ended = false, remainingSeconds = 90, rank = plainRank(vote), broadcastHz = 10 } = {}) {
  return { channelId: 888, subChannelId: 1, status: ended ? 'ended' : 'running', remainingSeconds, broadcastHz, jiFangId: 7, vote, rank };
}

// results: 'live' or 'end' (shown at the end: the service sends zeros while it runs).
export function normalVote({ id = 1, name = '最佳主播', counts, names, perUser = 3, perOption = 1, results = 'live', ...rest }) {
  return state(
    {
      voteId: id,
      name,
      voteType: 0,
      limitTime: 120,
      limits: { 0: perUser, 1: perOption },
      options: numbered(names ?? counts.map((_, i) => `选项${i + 1}`)),
      optionTickets: numbered(counts),
      results,
    },
    rest,
  );
}

export function groupVote({ id = 2, name = '对战', teamA, teamB, names = ['红队', '蓝队'], perUser = 2, perOption = 1, ...rest }) {
  const members = [...teamA, ...teamB];
  return state(
    {
      voteId: id,
      name,
      voteType: 1,
      limits: { 0: perUser, 1: perOption },
      options: numbered(members.map(([member]) => member)),
      optionTickets: numbered(members.map(([, count]) => count)),
      optionGroup: numbered(members.map((_, i) => (i < teamA.length ? 0 : 1))),
      groupNames: numbered(names),
    },
    rest,
  );
}

// judges: [uid, nick, points] in card order.
export function judgeVote({ id = 3, name = '才艺评分', judges, ...rest }) {
  return state(
    {
      voteId: id,
      name,
      voteType: 2,
      judgeOrder: numbered(judges.map(([uid]) => uid)),
      judges: Object.fromEntries(judges.map(([uid, nick, points]) => [String(uid), { uid, imid: uid, nick, points, auxMap: {} }])),
    },
    rest,
  );
}
