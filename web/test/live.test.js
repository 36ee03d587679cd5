import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { launch, openPage } from './support/browser.js';
import { waitForText, waitForTexts, waitForValue } from './support/expect.js';
import { RealService, kChannel, kSub } from './support/realservice.js';

// Needs the build tree's programs; CTest names them. Run alone, `npm test` says why it skips.
const voted = process.env.QUORIX_VOTED_PATH;
const wire = process.env.QUORIX_WIRE_PATH;
// Under CTest (QUORIX_WEB_PROGRAMS=required) missing programs fail the tests instead of skipping them.
const missing = !voted || !wire;
const skip = missing && !process.env.QUORIX_WEB_PROGRAMS ? 'QUORIX_VOTED_PATH and QUORIX_WIRE_PATH name no programs (CTest sets them)' : false;

const manager = { uid: 1, role: 255 };
const viewer = { uid: 9, role: 0 };
let service;
let browser;

before(async () => {
  if (skip) return;
  if (missing) throw new Error('CTest gave no program paths: QUORIX_VOTED_PATH, QUORIX_WIRE_PATH, TOVO_HOST_PATH');
  service = await new RealService(voted, wire).start();
  browser = await launch();
});
after(async () => {
  await browser?.close();
  await service?.stop();
});

async function createNormalVote(name, options) {
  await service.connectManager(manager);
  service.sendAsManager({
    maxType: 2500,
    minType: 1,
    body: {
      channelId: kChannel,
      subChannelId: kSub,
      vote: { name, limitTime: 300, voteType: 0, limits: { 0: 2, 1: 1 }, options: Object.fromEntries(options.map((text, i) => [i, text])) },
    },
  });
  let votes = [];
  for (let tries = 0; votes.length === 0 && tries < 50; tries += 1) {
    ({ votes } = (await service.api('GET', `/channels/${kChannel}/votes?sub=${kSub}`, manager)).body);
    if (votes.length === 0) await new Promise((resolve) => setTimeout(resolve, 100));
  }
  assert.equal(votes.length, 1, 'the created vote is listed');
  return votes[0].voteId;
}

const overlayCounts = (page) =>
  page.$$eval('.option-row', (rows) =>
    rows.sort((a, b) => a.dataset.rank - b.dataset.rank).map((row) => `${row.querySelector('.option-name').textContent} ${row.querySelector('.option-count .num').textContent}`),
  );
const viewerCounts = (page) => page.$$eval('.option .count', (nodes) => nodes.map((node) => node.textContent));

test('pagesFollowAVoteOnTheRealServiceFromStartToClose', { skip }, async () => {
  const voteId = await createNormalVote('现场测试', ['甲', '乙', '丙']);
  const place = `${kChannel}/${kSub}`;
  const overlay = await openPage(browser, `${service.origin}/overlay/${place}?${service.query(manager)}`, { width: 1920, height: 1080 });
  const page = await openPage(browser, `${service.origin}/vote/${place}?${service.query(viewer)}`, { width: 390, height: 800 });
  await page.waitForSelector('.empty');

  const started = await service.api('POST', `/channels/${kChannel}/votes/${voteId}/start?sub=${kSub}`, manager);
  assert.deepEqual([started.status, started.body.result], [200, 0]);
  await waitForValue(overlay, overlayCounts, ['乙 0', '甲 0', '丙 0'], 8000);
  await waitForText(page, '.allowance', '每项可投 1 票，还剩 2 票。', 8000);

  await page.getByRole('button', { name: '给「乙」投一票' }).click();
  await waitForText(page, '#notice', '已投出');
  await waitForValue(overlay, overlayCounts, ['乙 1', '甲 0', '丙 0']);
  await waitForValue(page, viewerCounts, ['0', '1', '0']);
  await waitForText(page, '.option[data-option-id="1"] .vote-button', '已投满');

  assert.equal((await service.api('POST', `/channels/${kChannel}/votes/${voteId}/stop?sub=${kSub}`, manager)).status, 200);
  await waitForText(overlay, '.clock-words', '投票已结束');
  await waitForText(page, '.clock-words', '投票已结束');
  await waitForTexts(page, '.history-name', ['现场测试']);

  assert.equal((await service.api('POST', `/channels/${kChannel}/votes/${voteId}/close?sub=${kSub}&jiFangId=${started.body.jiFangId}`, manager)).status, 200);
  await overlay.waitForSelector('.panel', { state: 'detached', timeout: 5000 });
  await page.waitForSelector('.empty');
  assert.deepEqual([...overlay.errors, ...page.errors], []);
});

test('theRealServiceRefusesAForgedLinkAndThePageSaysSo', { skip }, async () => {
  const page = await openPage(browser, `${service.origin}/vote/${kChannel}/${kSub}?uid=9&imid=9&role=0&token=4102444800.00ff`);
  await page.waitForSelector('.refusal');
  assert.match(await page.textContent('.refusal'), /链接无效/);
  assert.equal(await page.locator('button').count(), 0);
});
