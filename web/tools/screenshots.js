// Screenshots of the overlay (each kind of vote, the ended state, a vote whose results come at its
// end before and after they are shown) and of the viewer page at a phone's and a desktop window's
// width, in Simplified Chinese and in English (files ending -en), on the tests' fake service.
// Usage: node tools/screenshots.js DIR
import { mkdir } from 'node:fs/promises';
import path from 'node:path';
import { launch, openPage } from '../test/support/browser.js';
import { FakeService, kExpiredToken, kGoodToken } from '../test/support/fakeservice.js';
import { groupVote, judgeVote, normalVote } from '../test/support/votes.js';

const outDir = path.resolve(process.argv[2] ?? 'shots');
const kSettleMs = 1200;
const kRevealMs = 2000;

// What a channel of each language would vote on: English names are the longer ones.
const kContent = {
  'zh-CN': {
    normal: { name: '今晚最佳表演', names: ['小鹿唱《晴天》', '阿杰的吉他弹唱', '双人舞《追光》', '魔术：消失的硬币', '脱口秀五分钟'] },
    group: { name: '周末 PK 赛', teamA: ['甜甜', '老王', 'Kiki'], teamB: ['阿飞', '小雨'], teams: ['红队', '蓝队'] },
    judge: { name: '原创歌曲评分', judges: ['张老师', '李评委', '王导', '陈制作'], me: '我' },
    history: ['周末 PK 赛', '今晚最佳表演', '主持人'],
  },
  en: {
    normal: { name: 'Best performance of the night', names: ['Lulu sings “Sunny Day”', 'Jake on acoustic guitar', 'Duet dance “Chasing Light”', 'Magic: the vanishing coin', 'Five minutes of stand-up'] },
    group: { name: 'Weekend team battle', teamA: ['Sweetie', 'Old Wang', 'Kiki'], teamB: ['Flying Ace', 'Drizzle'], teams: ['', ''] },
    judge: { name: 'Original song contest', judges: ['Ms Zhang', 'Judge Li', 'Director Wang', 'Producer Chen'], me: 'Me' },
    history: ['Weekend team battle', 'Best performance of the night', 'The host'],
  },
};

function votesOf(content) {
  const normal = normalVote({ name: content.normal.name, names: content.normal.names, counts: [128, 342, 342, 57, 0], remainingSeconds: 154 });
  const [a, b] = [content.group.teamA, content.group.teamB];
  const group = groupVote({
    name: content.group.name,
    teamA: [[a[0], 86], [a[1], 41], [a[2], 23]],
    teamB: [[b[0], 77], [b[1], 64]],
    names: content.group.teams,
    remainingSeconds: 65,
  });
  const j = content.judge.judges;
  const judge = judgeVote({ name: content.judge.name, judges: [[101, j[0], 5], [102, j[1], 4], [103, j[2], 0], [104, j[3], 3]], remainingSeconds: 42 });
  const atEnd = (ended, counts) => normalVote({ id: 9, name: content.normal.name, names: content.normal.names.slice(0, 3), counts, results: 'end', ended, remainingSeconds: 40 });
  const [pk, best, host] = content.history;
  const history = [
    { recordKey: 1, name: pk, voteType: 1, timeText: '2026-12-06 21:30:05', adminNick: host, options: { 0: a[0], 1: b[0] }, optionTickets: { 0: 120, 1: 98 } },
    { recordKey: 2, name: best, voteType: 0, timeText: '2026-12-07 20:10:44', adminNick: host, options: { 0: content.normal.names[0], 1: content.normal.names[1], 2: content.normal.names[2] }, optionTickets: { 0: 45, 1: 61, 2: 12345 } },
  ];
  return { normal, group, judge, atEnd, history };
}

async function overlayShot(browser, service, state, file, { type = 'vote.begin', options = '', reveal = null } = {}) {
  service.push(type, state);
  const page = await openPage(browser, `${service.origin}/overlay/888/1?uid=1${options}#token=${kGoodToken}`, { width: 1920, height: 1080 });
  await page.waitForSelector('.panel.shown');
  await page.waitForTimeout(kSettleMs);
  if (reveal) {
    service.push('vote.end', reveal);
    await page.waitForTimeout(kRevealMs);
  }
  await page.screenshot({ path: path.join(outDir, file), omitBackground: true });
  await page.close();
}

async function viewerShot(browser, service, width, file, { query = `uid=9#token=${kGoodToken}`, reveal = null } = {}) {
  const page = await openPage(browser, `${service.origin}/vote/888/1?${query}`, { width, height: 900 });
  await page.waitForSelector('.vote-card, .refusal');
  await page.waitForTimeout(kSettleMs);
  if (reveal) {
    service.push('vote.end', reveal);
    await page.waitForTimeout(kRevealMs);
  }
  await page.screenshot({ path: path.join(outDir, file), fullPage: true });
  await page.close();
}

async function shootLanguage(browser, service, language) {
  const lang = language === 'en' ? '&lang=en' : '';
  const name = (file) => (language === 'en' ? file.replace(/\.png$/, '-en.png') : file);
  const { normal, group, judge, atEnd, history } = votesOf(kContent[language]);
  service.history = history;
  await overlayShot(browser, service, normal, name('web-overlay-normal.png'), { options: lang });
  await overlayShot(browser, service, group, name('web-overlay-group.png'), { options: lang });
  await overlayShot(browser, service, judge, name('web-overlay-judge.png'), { options: lang });
  await overlayShot(browser, service, { ...judge, status: 'ended' }, name('web-overlay-judge-ended.png'), { type: 'vote.end', options: lang });
  await overlayShot(browser, service, { ...normal, status: 'ended' }, name('web-overlay-ended.png'), { type: 'vote.end', options: lang });
  await overlayShot(browser, service, group, name('web-overlay-group-light.png'), { options: `${lang}&theme=light&position=bottom-left` });
  await overlayShot(browser, service, atEnd(false, [0, 0, 0]), name('web-overlay-results-pending.png'), { options: lang });
  await overlayShot(browser, service, atEnd(false, [0, 0, 0]), name('web-overlay-results-revealed.png'), { options: lang, reveal: atEnd(true, [31, 58, 12]) });
  const query = `uid=9${lang}#token=${kGoodToken}`;
  service.push('vote.begin', normal);
  await viewerShot(browser, service, 320, name('web-viewer-320.png'), { query });
  await viewerShot(browser, service, 1280, name('web-viewer-1280.png'), { query });
  service.push('vote.begin', group);
  await viewerShot(browser, service, 320, name('web-viewer-group-320.png'), { query });
  await viewerShot(browser, service, 1280, name('web-viewer-group-1280.png'), { query });
  const me = { uid: 9, nick: kContent[language].judge.me, points: 0 };
  service.push('vote.begin', { ...judge, vote: { ...judge.vote, judges: { ...judge.vote.judges, 9: me }, judgeOrder: { ...judge.vote.judgeOrder, 4: 9 } } });
  await viewerShot(browser, service, 1280, name('web-viewer-judge-1280.png'), { query });
  await viewerShot(browser, service, 320, name('web-viewer-judge-320.png'), { query });
  service.push('vote.begin', atEnd(false, [0, 0, 0]));
  await viewerShot(browser, service, 320, name('web-viewer-results-pending-320.png'), { query });
  await viewerShot(browser, service, 1280, name('web-viewer-results-revealed-1280.png'), { query, reveal: atEnd(true, [31, 58, 12]) });
  await viewerShot(browser, service, 320, name('web-viewer-bad-token-320.png'), { query: `uid=9${lang}#token=${kExpiredToken}` });
}

await mkdir(outDir, { recursive: true });
const service = await new FakeService().start();
service.tickets = { remaining: 2, perOption: { 1: 1 } };
const browser = await launch();
try {
  for (const language of ['zh-CN', 'en']) await shootLanguage(browser, service, language);
} finally {
  await browser.close();
  await service.stop();
}
