// Screenshots of the overlay (each kind of vote and the ended state) and of the viewer page at a
// phone's and a desktop window's width, on the tests' fake service. Usage: node tools/screenshots.js DIR
import { mkdir } from 'node:fs/promises';
import path from 'node:path';
import { launch, openPage } from '../test/support/browser.js';
import { FakeService, kExpiredToken, kGoodToken } from '../test/support/fakeservice.js';
import { groupVote, judgeVote, normalVote } from '../test/support/votes.js';

const outDir = path.resolve(process.argv[2] ?? 'shots');
const kSettleMs = 1200;

const normal = normalVote({
  name: '今晚最佳表演',
  names: ['小鹿唱《晴天》', '阿杰的吉他弹唱', '双人舞《追光》', '魔术：消失的硬币', '脱口秀五分钟'],
  counts: [128, 342, 342, 57, 0],
  remainingSeconds: 154,
});
const group = groupVote({
  name: '周末 PK 赛',
  teamA: [['甜甜', 86], ['老王', 41], ['Kiki', 23]],
  teamB: [['阿飞', 77], ['小雨', 64]],
  remainingSeconds: 65,
});
const judge = judgeVote({
  name: '原创歌曲评分',
  judges: [[101, '张老师', 5], [102, '李评委', 4], [103, '王导', 0], [104, '陈制作', 3]],
  remainingSeconds: 42,
});
const history = [
  { recordKey: 1, name: '周末 PK 赛', voteType: 1, timeText: '2026-12-06 21:30:05', adminNick: '主持人', options: { 0: '甜甜', 1: '阿飞' }, optionTickets: { 0: 120, 1: 98 } },
  { recordKey: 2, name: '今晚最佳表演', voteType: 0, timeText: '2026-12-07 20:10:44', adminNick: '主持人', options: { 0: '小鹿', 1: '阿杰', 2: '双人舞' }, optionTickets: { 0: 45, 1: 61, 2: 12 } },
];

async function overlayShot(browser, service, state, file, type = 'vote.begin', options = '') {
  service.push(type, state);
  const page = await openPage(browser, `${service.origin}/overlay/888/1?uid=1${options}#token=${kGoodToken}`, { width: 1920, height: 1080 });
  await page.waitForSelector('.panel.shown');
  await page.waitForTimeout(kSettleMs);
  await page.screenshot({ path: path.join(outDir, file), omitBackground: true });
  await page.close();
}

async function viewerShot(browser, service, width, file, query = `uid=9#token=${kGoodToken}`) {
  const page = await openPage(browser, `${service.origin}/vote/888/1?${query}`, { width, height: 900 });
  await page.waitForSelector('.vote-card, .refusal');
  await page.waitForTimeout(kSettleMs);
  await page.screenshot({ path: path.join(outDir, file), fullPage: true });
  await page.close();
}

await mkdir(outDir, { recursive: true });
const service = await new FakeService().start();
service.history = history;
service.tickets = { remaining: 2, perOption: { 1: 1 } };
const browser = await launch();
try {
  await overlayShot(browser, service, normal, 'web-overlay-normal.png');
  await overlayShot(browser, service, group, 'web-overlay-group.png');
  await overlayShot(browser, service, judge, 'web-overlay-judge.png');
  await overlayShot(browser, service, { ...judge, status: 'ended' }, 'web-overlay-judge-ended.png', 'vote.end');
  await overlayShot(browser, service, { ...normal, status: 'ended' }, 'web-overlay-ended.png', 'vote.end');
  await overlayShot(browser, service, group, 'web-overlay-group-light.png', 'vote.begin', '&theme=light&position=bottom-left');
  service.push('vote.begin', normal);
  await viewerShot(browser, service, 320, 'web-viewer-320.png');
  await viewerShot(browser, service, 1280, 'web-viewer-1280.png');
  service.push('vote.begin', group);
  await viewerShot(browser, service, 320, 'web-viewer-group-320.png');
  service.push('vote.begin', { ...judge, vote: { ...judge.vote, judges: { ...judge.vote.judges, 9: { uid: 9, nick: '我', points: 0 } }, judgeOrder: { ...judge.vote.judgeOrder, 4: 9 } } });
  await viewerShot(browser, service, 1280, 'web-viewer-judge-1280.png');
  await viewerShot(browser, service, 320, 'web-viewer-bad-token-320.png', `uid=9#token=${kExpiredToken}`);
} finally {
  await browser.close();
  await service.stop();
}
