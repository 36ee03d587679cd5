import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { launch, openPage } from './support/browser.js';
import { waitForText, waitForTexts, waitForValue } from './support/expect.js';
import { RealService, kChannel, kSub } from './support/realservice.js';
import { until } from './support/realhost.js';

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
  if (!service.manager) await service.connectManager(manager);
  service.sendAsManager({
    maxType: 2500,
    minType: 1,
    body: {
      channelId: kChannel,
      subChannelId: kSub,
      vote: { name, limitTime: 300, voteType: 0, limits: { 0: 2, 1: 1 }, options: Object.fromEntries(options.map((text, i) => [i, text])) },
    },
  });
  let created = [];
  for (let tries = 0; created.length === 0 && tries < 50; tries += 1) {
    const { votes } = (await service.api('GET', `/channels/${kChannel}/votes?sub=${kSub}`, manager)).body;
    created = votes.filter((vote) => vote.name === name);
    if (created.length === 0) await new Promise((resolve) => setTimeout(resolve, 100));
  }
  assert.equal(created.length, 1, 'the created vote is listed');
  return created[0].voteId;
}

const overlayCounts = (page) =>
  page.$$eval('.option-row', (rows) =>
    rows.sort((a, b) => a.dataset.rank - b.dataset.rank).map((row) => `${row.querySelector('.option-name').textContent} ${row.querySelector('.option-count .num').textContent}`),
  );
const viewerCounts = (page) => page.$$eval('.option .count', (nodes) => nodes.map((node) => node.textContent));

test('pagesFollowAVoteOnTheRealServiceFromStartToClose', { skip }, async () => {
  const voteId = await createNormalVote('现场测试', ['甲', '乙', '丙']);
  const place = `${kChannel}/${kSub}`;
  const overlay = await openPage(browser, service.link('overlay', viewer, service.token(viewer, kChannel, { scope: 'events' })), { width: 1920, height: 1080 });
  const page = await openPage(browser, service.link('vote', viewer), { width: 390, height: 800 });
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
  const page = await openPage(browser, `${service.origin}/vote/${kChannel}/${kSub}?uid=9&imid=9&role=0#token=4102444800.00ff`);
  await page.waitForSelector('.refusal');
  assert.match(await page.textContent('.refusal'), /链接无效/);
  assert.equal(await page.locator('button').count(), 0);
});

// The links' tokens never leave the page: not in its address bar once loaded, not in the address of
// any request it makes (API calls, tickets, WebSockets).
async function watchedPage(url, viewport) {
  const page = await browser.newPage({ viewport });
  page.errors = [];
  page.asked = [];
  page.on('pageerror', (error) => page.errors.push(error.message));
  page.on('request', (request) => page.asked.push(request.url()));
  page.on('websocket', (socket) => page.asked.push(socket.url()));
  await page.goto(url);
  return page;
}

test('pagesOpenedWithATokenInTheFragmentKeepItOutOfEveryAddress', { skip }, async () => {
  const overlayToken = service.token(viewer, kChannel, { scope: 'events' });
  const viewerToken = service.token(viewer, kChannel, { scope: 'events vote', ttl: 7200 });
  const overlay = await watchedPage(service.link('overlay', viewer, overlayToken), { width: 1920, height: 1080 });
  const page = await watchedPage(service.link('vote', viewer, viewerToken), { width: 390, height: 800 });
  await page.waitForSelector('.empty');
  await overlay.waitForFunction(() => !document.querySelector('.notice'));
  for (const [p, token] of [[overlay, overlayToken], [page, viewerToken]]) {
    await p.waitForFunction(() => window.location.hash === '');
    assert.ok(!p.url().includes(token) && !p.url().includes('token='), p.url());
    // The page may show its first state before its WebSocket opens: wait for the socket.
    await until(() => p.asked.some((url) => url.includes('ticket=')), 'a WebSocket opened with a ticket');
    assert.deepEqual(p.asked.filter((url) => url.includes(token) || url.includes('token=')), []);
    assert.deepEqual(p.errors, []);
  }
  await Promise.all([overlay.close(), page.close()]);
});

// A ticket opens one WebSocket: the second try with it is refused.
test('aTicketOfTheRealServiceWorksOnce', { skip }, async () => {
  const page = await openPage(browser, service.link('vote', viewer), { width: 390, height: 800 });
  await page.waitForSelector('.empty');
  const outcomes = await page.evaluate(async ({ channel, sub }) => {
    const token = Object.entries(sessionStorage).find(([key]) => key.startsWith('quorix.token '))[1];
    const answer = await fetch('/api/v1/tickets', { method: 'POST', headers: { Authorization: `Bearer ${token}` } });
    const { ticket } = await answer.json();
    const url = `ws://${location.host}/api/v1/channels/${channel}/events?uid=9&sub=${sub}&ticket=${ticket}`;
    const open = (address) =>
      new Promise((resolve) => {
        const socket = new WebSocket(address);
        socket.onopen = () => {
          socket.close();
          resolve('open');
        };
        socket.onerror = () => resolve('refused');
      });
    return [await open(url), await open(url)];
  }, { channel: kChannel, sub: kSub });
  assert.deepEqual(outcomes, ['open', 'refused']);
  await page.close();
});

// The desktop link's narrower token (events and vote, two hours) is a manager's, yet cannot manage.
test('aLinkWithANarrowerTokenCannotStartAVote', { skip }, async () => {
  const voteId = await createNormalVote('窄令牌', ['甲', '乙']);
  const narrow = service.token(manager, kChannel, { scope: 'events vote', ttl: 7200 });
  const page = await openPage(browser, service.link('vote', manager, narrow), { width: 390, height: 800 });
  await page.waitForSelector('.empty');
  const answer = await page.evaluate(async ({ channel, sub, id }) => {
    const token = Object.entries(sessionStorage).find(([key]) => key.startsWith('quorix.token '))[1];
    const response = await fetch(`/api/v1/channels/${channel}/votes/${id}/start?sub=${sub}`, {
      method: 'POST',
      headers: { Authorization: `Bearer ${token}` },
    });
    return { status: response.status, body: await response.json() };
  }, { channel: kChannel, sub: kSub, id: voteId });
  assert.deepEqual(answer, { status: 403, body: { error: 'token lacks the scope manage', field: 'scope', result: 22 } });
  assert.equal((await service.api('GET', `/channels/${kChannel}/subchannels/${kSub}/vote`, manager)).status, 404, 'no vote runs');
  const full = await service.api('POST', `/channels/${kChannel}/votes/${voteId}/close?sub=${kSub}`, manager);
  assert.notEqual(full.status, 403, 'the manager\'s own token still manages');
  await page.close();
});
