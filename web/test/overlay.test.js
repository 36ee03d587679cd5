import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { launch, openPage } from './support/browser.js';
import { waitForText, waitForTexts, waitForValue } from './support/expect.js';
import { FakeService, kGoodToken } from './support/fakeservice.js';
import { framesBetween, readFrames, recordFrames } from './support/framesampler.js';
import { until } from './support/realhost.js';
import { groupVote, judgeVote, normalVote } from './support/votes.js';

let browser;
let service;

before(async () => {
  browser = await launch();
  service = await new FakeService().start();
});
after(async () => {
  await browser?.close();
  await service?.stop();
});

// browser: the browser's own languages and zone, which the overlay must not follow.
function overlay(options = '', browserLanguage = undefined) {
  return openPage(browser, `${service.origin}/overlay/888/1?uid=1${options}#token=${kGoodToken}`, { width: 1920, height: 1080 }, browserLanguage);
}
const shots = process.env.QUORIX_SHOTS ?? '/tmp';

// "name count share" of every bar, highest rank first.
function ranking(page) {
  return page.$$eval('.option-row', (rows) =>
    rows
      .sort((a, b) => a.dataset.rank - b.dataset.rank)
      .map((row) => ['.option-name', '.option-count .num', '.option-share'].map((s) => row.querySelector(s).textContent).join(' ')),
  );
}

// The bars' vertical order on screen must follow the ranks.
function screenOrder(page) {
  return page.$$eval('.option-row', (rows) =>
    rows.sort((a, b) => a.getBoundingClientRect().top - b.getBoundingClientRect().top).map((row) => row.dataset.rank),
  );
}

test('overlayShowsNothingUntilAVoteRunsThenRanksItsOptions', async () => {
  service.vote = null;
  const page = await overlay();
  await page.waitForTimeout(300);
  assert.equal(await page.locator('.panel').count(), 0);
  const background = await page.evaluate(() => getComputedStyle(document.body).backgroundColor);
  assert.equal(background, 'rgba(0, 0, 0, 0)', 'transparent for the browser source');

  service.push('vote.begin', normalVote({ names: ['甲', '乙', '丙', '丁'], counts: [0, 7, 7, 2] }));
  await waitForValue(page, ranking, ['乙 7 43.8%', '丙 7 43.8%', '丁 2 12.5%', '甲 0 0%']);
  await waitForText(page, '.panel-foot', '共 16 票');

  service.push('vote.progress', normalVote({ names: ['甲', '乙', '丙', '丁'], counts: [9, 7, 8, 2] }));
  await waitForValue(page, ranking, ['甲 9 34.6%', '丙 8 30.8%', '乙 7 26.9%', '丁 2 7.7%']);
  await waitForValue(page, screenOrder, ['1', '2', '3', '4']);
  assert.deepEqual(page.errors, []);
  await page.close();
});

// Only the link chooses the overlay's language: a streaming program's browser says nothing useful.
test('overlaySpeaksTheLanguageOfItsLinkOnly', async () => {
  const rows = [
    { options: '&lang=en', browser: { locale: 'zh-CN' }, lang: 'en', chip: 'Poll', clock: 'left', foot: '1,234,568 votes', units: ['votes', 'vote'] },
    { options: '', browser: { locale: 'en-US' }, lang: 'zh-CN', chip: '普通投票', clock: '后停止', foot: '共 1,234,568 票', units: ['票', '票'] },
    { options: '&lang=zh-CN', browser: { locale: 'en-US' }, lang: 'zh-CN', chip: '普通投票', clock: '后停止', foot: '共 1,234,568 票', units: ['票', '票'] },
    { options: '&lang=xx-unknown', browser: { locale: 'en-GB' }, lang: 'zh-CN', chip: '普通投票', clock: '后停止', foot: '共 1,234,568 票', units: ['票', '票'] },
    { options: '&lang=en-IN', browser: { locale: 'en-US' }, lang: 'en', chip: 'Poll', clock: 'left', foot: '12,34,568 votes', units: ['votes', 'vote'] },
  ];
  service.push('vote.begin', normalVote({ id: 15, names: ['甲', '乙'], counts: [1234567, 1] }));
  for (const row of rows) {
    const page = await overlay(row.options, row.browser);
    await waitForText(page, '.panel-foot', row.foot);
    await waitForText(page, '.kind-chip', row.chip);
    await waitForText(page, '.clock-words', row.clock);
    await waitForTexts(page, '.unit', row.units);
    assert.equal(await page.evaluate(() => document.documentElement.lang), row.lang, row.options);
    await page.close();
  }
});

test('groupVoteShowsBothTeamsAndTheirTotals', async () => {
  service.push('vote.begin', groupVote({ teamA: [['甜甜', 5], ['老王', 3]], teamB: [['阿飞', 6]], names: ['', ''] }));
  const english = await overlay('&lang=en');
  await waitForTexts(english, '.team-name', ['Team A', 'Team B']);
  await english.close();
  service.push('vote.begin', groupVote({ teamA: [['甜甜', 5], ['老王', 3]], teamB: [['阿飞', 6]], names: ['红队', '蓝队'] }));
  const page = await overlay();
  await waitForTexts(page, '.team-name', ['红队', '蓝队']);
  await waitForTexts(page, '.team-total', ['8', '6']);
  await waitForTexts(page, '.team-a .member-name', ['甜甜', '老王']);
  await waitForTexts(page, '.team-b .member-count', ['6']);
  service.push('vote.progress', groupVote({ teamA: [['甜甜', 5], ['老王', 3]], teamB: [['阿飞', 16]] }));
  await waitForTexts(page, '.team-total', ['8', '16']);
  await page.close();
});

test('judgeCardsShowScoresTotalAndAbstainedOnceEnded', async () => {
  const judges = [[11, '张老师', 5], [12, '李评委', 0], [13, '王导', 3]];
  const rows = [
    { options: '', running: ['超赞', '打分中...', '还行'], ended: ['超赞', '弃权', '还行'], label: '总分', foot: '3 位评委 · 已打分 2 位 · 平均 4.0', endedWords: '投票已结束' },
    { options: '&lang=en', running: ['Superb', 'Scoring…', 'Good'], ended: ['Superb', 'Abstained', 'Good'], label: 'Total', foot: '3 judges · 2 scored · average 4.0', endedWords: 'Vote ended' },
  ];
  for (const row of rows) {
    service.push('vote.begin', judgeVote({ judges }));
    const page = await overlay(row.options);
    await waitForTexts(page, '.judge-nick', ['张老师', '李评委', '王导']);
    await waitForTexts(page, '.judge-word', row.running);
    await waitForText(page, '.judge-total-value', '8');
    await waitForText(page, '.judge-total-label', row.label);
    await waitForText(page, '.panel-foot', row.foot);
    service.push('vote.end', judgeVote({ judges, ended: true }));
    await waitForTexts(page, '.judge-word', row.ended);
    await waitForText(page, '.clock-words', row.endedWords);
    await page.close();
  }
});

// A vote whose results come at its end: the options without figures and a note while it runs,
// then every count, the bars growing, once it ends.
test('resultsShownAtTheEndAreRevealedWhenTheVoteEnds', async () => {
  const names = ['甲', '乙', '丙'];
  const rows = [
    { options: '', suffix: '', note: '结果将在投票结束后公布', pending: '共 3 个选项', done: '共 8 票' },
    { options: '&lang=en', suffix: '-en', note: 'Results will be shown when the vote ends', pending: '3 options', done: '8 votes' },
  ];
  for (const row of rows) {
    service.push('vote.begin', normalVote({ id: 61, names, counts: [0, 0, 0], results: 'end' }));
    const page = await overlay(row.options);
    await waitForText(page, '.results-note', row.note);
    await waitForText(page, '.panel-foot', row.pending);
    const figuresShown = () =>
      page.$$eval('.option-row .option-count .num', (nodes) => nodes.filter((node) => getComputedStyle(node).visibility === 'visible').length);
    assert.equal(await figuresShown(), 0, 'no count while the vote runs');
    await page.screenshot({ path: `${shots}/overlay-results-pending${row.suffix}.png` });
    service.push('vote.end', normalVote({ id: 61, names, counts: [2, 5, 1], results: 'end', ended: true }));
    await waitForValue(page, ranking, ['乙 5 62.5%', '甲 2 25%', '丙 1 12.5%']);
    assert.equal(await page.locator('.panel.revealing.ended').count(), 1);
    assert.equal(await page.locator('.results-note').isVisible(), false);
    await waitForText(page, '.panel-foot', row.done);
    assert.equal(await figuresShown(), 3);
    await page.waitForTimeout(1800);
    await page.screenshot({ path: `${shots}/overlay-results-revealed${row.suffix}.png` });
    assert.deepEqual(page.errors, []);
    await page.close();
  }
});

test('endedStateStaysUntilCloseThenFadesOut', async () => {
  const cases = [
    { name: 'normal', state: (ended) => normalVote({ id: 21, counts: [1, 2], ended }), words: '投票已结束' },
    { name: 'group', state: (ended) => groupVote({ id: 22, teamA: [['a', 1]], teamB: [['b', 2]], ended }), words: '投票已停止' },
  ];
  for (const { name, state, words } of cases) {
    service.push('vote.begin', state(false));
    const page = await overlay();
    await waitForText(page, '.clock-words', '后停止');
    service.push('vote.end', state(true));
    await waitForText(page, '.clock-words', words);
    await page.waitForTimeout(1500);
    assert.equal(await page.locator('.panel.ended').count(), 1, `${name}: ended state stays`);
    service.close();
    await page.waitForFunction(() => {
      const panel = document.querySelector('.panel.leaving');
      return panel && Number(getComputedStyle(panel).opacity) < 0.9;
    });
    await page.waitForSelector('.panel', { state: 'detached', timeout: 3000 });
    await page.close();
  }
});

// Bars move as the counts roll at the rate in force: at 1 Hz evenly and on past the next update.
test('barsMoveForOneBroadcastIntervalOfTheRateInForce', async () => {
  for (const [broadcastHz, duration, easing] of [[1, '1.25s', 'linear'], [10, '0.6s', 'cubic-bezier(0.22, 1, 0.36, 1)']]) {
    service.push('vote.begin', normalVote({ id: 35 + broadcastHz, names: ['甲'], counts: [0], broadcastHz }));
    const page = await overlay();
    await waitForValue(page, ranking, ['甲 0 0%']);
    assert.equal(await page.$eval('.bar-fill', (fill) => getComputedStyle(fill).transitionDuration), duration);
    assert.equal(await page.$eval('.bar-fill', (fill) => getComputedStyle(fill).transitionTimingFunction), easing);
    await page.close();
  }
});

// At 1 Hz, what every frame shows between two updates: the count and the leading bar rise, move
// in nearly every frame and still move in the last frame before the next update, and no frame of
// normal length (a loaded machine skips some) steps more than a fifth of the update's change.
test('countsAndBarsMoveSmoothlyFromOneUpdateToTheNextAt1Hz', async () => {
  const names = ['甲', '乙'];
  const rise = 300;
  const updates = [1, 2, 3, 4, 5].map((n) => normalVote({ id: 37, names, counts: [n * rise, rise], broadcastHz: 1 }));
  service.push('vote.begin', normalVote({ id: 37, names, counts: [0, rise], broadcastHz: 1 }));
  const page = await browser.newPage({ viewport: { width: 1920, height: 1080 }, locale: 'zh-CN' });
  const leader = '.option-row[data-option-id="0"]';
  await page.addInitScript(recordFrames, { count: `${leader} .option-count .num`, bar: `${leader} .bar-fill` });
  await page.goto(`${service.origin}/overlay/888/1?uid=1#token=${kGoodToken}`);
  await waitForValue(page, ranking, ['乙 300 100%', '甲 0 0%']);
  await page.waitForTimeout(1500);
  for (const update of updates) {
    service.push('vote.progress', update);
    await page.waitForTimeout(1000);
  }
  await page.waitForTimeout(1500);
  const track = await page.$eval(`${leader} .bar-track`, (node) => node.getBoundingClientRect().width);
  const record = await readFrames(page);
  const arrivals = record.updates.slice(-updates.length);
  const figures = [
    { name: 'count', read: (frame) => frame.count, change: () => rise },
    { name: 'bar', read: (frame) => frame.width, change: (n) => track * (n / (n + 1) - (n - 1) / n) },
  ];
  for (const { name, read, change } of figures) {
    for (let n = 1; n < arrivals.length; n += 1) {
      const before = record.frames.filter((frame) => frame.at < arrivals[n - 1]).at(-1);
      const frames = [before, ...framesBetween(record, arrivals[n - 1], arrivals[n])];
      const steps = frames.slice(1).map((frame, i) => ({ by: read(frame) - read(frames[i]), ms: frame.at - frames[i].at }));
      const where = `${name}, update ${n}: ${frames.map((frame) => `${Math.round(frame.at - arrivals[n - 1])}ms:${Math.round(read(frame))}`).join(' ')}`;
      assert.ok(steps.every((step) => step.by >= -0.01), `rises monotonically: ${where}`);
      const normalSteps = steps.filter((step) => step.ms <= 50);
      assert.ok(Math.max(...normalSteps.map((step) => step.by)) <= change(n) / 5, `no step above a fifth of ${Math.round(change(n))}: ${where}`);
      assert.ok(steps.filter((step) => step.by > 0.01).length >= 0.8 * steps.length, `moves in nearly every frame: ${where}`);
      assert.ok(steps.at(-1).by > 0.01, `still moving as the next update arrives: ${where}`);
    }
  }
  await waitForValue(page, ranking, ['甲 1,500 83.3%', '乙 300 16.7%']);
  assert.deepEqual(page.errors ?? [], []);
  await page.close();
});

test('countdownRunsDownBetweenUpdates', async () => {
  service.push('vote.begin', normalVote({ id: 31, counts: [0], remainingSeconds: 65 }));
  const page = await overlay();
  await waitForText(page, '.clock-time', '01:05');
  await waitForText(page, '.clock-time', '01:03', 3500);
  await page.close();
});

// It comes back with a fresh ticket, and neither its address bar nor any request holds the token.
test('overlayComesBackAfterTheServiceRestarts', async () => {
  service.push('vote.begin', normalVote({ id: 41, names: ['甲', '乙'], counts: [1, 2] }));
  service.urls = [];
  const page = await overlay();
  await waitForValue(page, ranking, ['乙 2 66.7%', '甲 1 33.3%']);
  assert.ok(!page.url().includes('#') && !page.url().includes(kGoodToken), page.url());
  // The first state may come from the HTTP read before the event socket opens.
  await until(() => service.eventClients.size > 0, 'the overlay opened its event socket');
  await service.stop();
  await page.waitForTimeout(700);
  service.vote = normalVote({ id: 41, names: ['甲', '乙'], counts: [5, 2] });
  await service.start();
  await waitForValue(page, ranking, ['甲 5 71.4%', '乙 2 28.6%'], 8000);
  service.push('vote.progress', normalVote({ id: 41, names: ['甲', '乙'], counts: [5, 9] }));
  await waitForValue(page, ranking, ['乙 9 64.3%', '甲 5 35.7%']);
  const tickets = service.urls.filter((url) => url.includes('/events?')).map((url) => new URL(url, service.origin).searchParams.get('ticket'));
  assert.ok(tickets.length >= 2 && new Set(tickets).size === tickets.length, `a fresh ticket per connection: ${tickets}`);
  assert.deepEqual(service.urls.filter((url) => url.includes(kGoodToken) || url.includes('token=')), []);
  await page.close();
});

test('themePositionAndScaleOptionsPlaceThePanel', async () => {
  service.push('vote.begin', normalVote({ id: 51, counts: [1] }));
  const cases = [
    { options: '', corner: 'top-right', theme: 'dark' },
    { options: '&theme=light&position=bottom-left&scale=0.5', corner: 'bottom-left', theme: 'light', scale: 0.5 },
    { options: '&position=nowhere&scale=abc', corner: 'top-right', theme: 'dark' },
  ];
  for (const c of cases) {
    const page = await overlay(c.options);
    await page.waitForSelector('.panel.shown');
    await page.waitForTimeout(900);
    const box = await page.$eval('.panel', (panel) => panel.getBoundingClientRect().toJSON());
    const theme = await page.evaluate(() => document.documentElement.dataset.theme);
    assert.equal(theme, c.theme, c.options);
    const [vertical, horizontal] = c.corner.split('-');
    assert.equal(vertical === 'top' ? box.top < 540 : box.bottom > 540, true, `${c.options}: ${vertical}`);
    assert.equal(horizontal === 'left' ? box.left < 960 : box.right > 960, true, `${c.options}: ${horizontal}`);
    if (c.scale) assert.ok(Math.abs(box.width - 600 * c.scale) < 2, `${c.options}: scaled width ${box.width}`);
    await page.close();
  }
});
