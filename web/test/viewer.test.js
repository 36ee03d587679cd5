import assert from 'node:assert/strict';
import { after, before, beforeEach, test } from 'node:test';
import { launch, openPage } from './support/browser.js';
import { waitForText, waitForTexts, waitForValue } from './support/expect.js';
import { FakeService, kExpiredToken, kGoodToken, kVoteOnlyToken } from './support/fakeservice.js';
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
beforeEach(() => {
  service.received = [];
  service.urls = [];
  service.tickets = null;
  service.history = [];
  service.answer = () => ({ result: 0 });
});

// link: the query and the fragment of the page's address; browserLanguage: the browser's locale and zone.
function viewer(link = `uid=9#token=${kGoodToken}`, width = 1280, browserLanguage = undefined) {
  return openPage(browser, `${service.origin}/vote/888/1?${link}`, { width, height: 800 }, browserLanguage);
}
const shots = process.env.QUORIX_SHOTS ?? '/tmp';

const counts = (page) => page.$$eval('.option .count', (nodes) => nodes.map((node) => node.textContent));
const votesSent = () => service.received.filter((message) => message.type === 'vote');

test('viewerSeesTheVoteWithTicketsLeftAndHistory', async () => {
  service.history = [
    { name: '上周的投票', voteType: 0, timeText: '2026-12-03 20:00:00', adminNick: '主持人', options: { 0: '甲', 1: '乙' }, optionTickets: { 0: 3, 1: 4 } },
  ];
  service.push('vote.begin', normalVote({ names: ['甲', '乙'], counts: [2, 5], perUser: 3, perOption: 2, remainingSeconds: 30 }));
  service.tickets = { remaining: 1, perOption: { 1: 2 } };
  const page = await viewer();
  await waitForText(page, '.vote-title', '最佳主播');
  await waitForText(page, '.allowance', '每项可投 2 票，还剩 1 票。');
  await waitForText(page, '.clock-words', '后停止');
  await page.waitForSelector('.vote-clock.closing', { timeout: 1000 });
  await waitForTexts(page, '.rank', ['2', '1'], 3000);
  assert.deepEqual(await page.$$eval('.vote-button', (buttons) => buttons.map((b) => [b.getAttribute('aria-label'), b.disabled])), [
    ['给「甲」投一票', false],
    ['给「乙」投一票（已投满）', true],
  ]);
  await waitForText(page, '.history-name', '上周的投票');
  await waitForTexts(page, '.history-options .num', ['3 票', '4 票']);
  service.push('vote.progress', normalVote({ names: ['甲', '乙'], counts: [2, 5], perUser: 3, perOption: 2, remainingSeconds: 200 }));
  await page.waitForSelector('.vote-clock:not(.closing)', { timeout: 3000 });
  assert.deepEqual(page.errors, []);
  await page.close();
});

// The link's ?lang= first, else the browser's languages (its Accept-Language), else Chinese: every
// text, the document's lang, and numbers and dates in the browser's English. The history's start is
// its Unix second in the browser's zone (Shanghai unless a row names one); a record without one, as
// older services send, shows its clock-time text as it is, having no zone to convert from.
test('theViewerSpeaksTheLanguageOfItsLinkOrItsBrowser', async () => {
  const en = { lang: 'en', title: 'Channel vote', allowance: 'Up to 2 per option; 1 vote left.', button: 'Vote for “甲”', clock: 'left', history: 'Votes of the last 7 days' };
  const zh = { lang: 'zh-CN', title: '频道投票', allowance: '每项可投 2 票，还剩 1 票。', button: '给「甲」投一票', clock: '后停止', history: '最近7日投票记录' };
  // 2026-12-03 20:00:05 in Shanghai.
  const started = { name: '上周', voteType: 0, timeText: '2026-12-03 20:00:05', startedAt: 1796299205, adminNick: '主持人', options: { 0: '甲', 1: '乙' }, optionTickets: { 0: 1234567, 1: 1 } };
  const textOnly = { ...started, startedAt: undefined };
  const rows = [
    { query: '&lang=en', browser: { locale: 'zh-CN' }, ...en, figures: ['1,234,567 votes', '1 vote'], meta: 'Dec 3, 2026, 8:00:05 PM · started by 主持人' },
    { query: '&lang=zh-CN', browser: { locale: 'en-US' }, ...zh, figures: ['1,234,567 票', '1 票'], meta: '2026年12月3日 20:00:05 · 发起人 主持人' },
    { query: '', browser: { locale: 'en-GB' }, ...en, figures: ['1,234,567 votes', '1 vote'], meta: '3 Dec 2026, 20:00:05 · started by 主持人' },
    { query: '&lang=fr', browser: { locale: 'en-US' }, ...en, figures: ['1,234,567 votes', '1 vote'], meta: 'Dec 3, 2026, 8:00:05 PM · started by 主持人' },
    { query: '&lang=fr', browser: { locale: 'fr-FR' }, ...zh, figures: ['1,234,567 票', '1 票'], meta: '2026年12月3日 20:00:05 · 发起人 主持人' },
    { query: '&lang=en', browser: { locale: 'en-IN', timezoneId: 'America/New_York' }, ...en, figures: ['12,34,567 votes', '1 vote'], meta: '3 Dec 2026, 7:00:05 am · started by 主持人' },
    { query: '&lang=zh-CN', browser: { locale: 'zh-CN', timezoneId: 'Asia/Kathmandu' }, ...zh, figures: ['1,234,567 票', '1 票'], meta: '2026年12月3日 17:45:05 · 发起人 主持人' },
    { query: '&lang=en', browser: { locale: 'en-IN', timezoneId: 'America/New_York' }, ...en, figures: ['12,34,567 votes', '1 vote'], meta: '3 Dec 2026, 8:00:05 pm · started by 主持人', record: textOnly },
  ];
  service.push('vote.begin', normalVote({ id: 16, names: ['甲', '乙'], counts: [2, 5], perUser: 3, perOption: 2 }));
  service.tickets = { remaining: 1, perOption: { 1: 2 } };
  for (const row of rows) {
    service.history = [row.record ?? started];
    const page = await viewer(`uid=9${row.query}#token=${kGoodToken}`, 1280, { timezoneId: 'Asia/Shanghai', ...row.browser });
    const name = JSON.stringify(row.browser) + row.query;
    await waitForText(page, '.allowance', row.allowance);
    await waitForText(page, '.clock-words', row.clock);
    await waitForText(page, '.masthead-title', row.title);
    await waitForText(page, '#history-title', row.history);
    await waitForTexts(page, '.history-options .num', row.figures);
    await waitForText(page, '.history-meta', row.meta);
    await page.getByRole('button', { name: row.button, exact: true }).waitFor();
    assert.deepEqual(await page.evaluate(() => [document.documentElement.lang, document.title]), [row.lang, row.title], name);
    await page.close();
  }
});

// While a vote whose results come at its end runs, the viewer votes and sees its own tickets but
// no count; the end shows them.
test('resultsShownAtTheEndStayHiddenUntilTheVoteEnds', async () => {
  const rows = [
    { query: '', suffix: '', note: '结果将在投票结束后公布', button: '给「乙」投一票', allowance: '每项可投 3 票，还剩 2 票。' },
    { query: '&lang=en', suffix: '-en', note: 'Results will be shown when the vote ends', button: 'Vote for “乙”', allowance: 'Up to 3 per option; 2 votes left.' },
  ];
  for (const row of rows) {
    service.push('vote.begin', normalVote({ id: 71, names: ['甲', '乙'], counts: [0, 0], perUser: 3, perOption: 3, results: 'end' }));
    const page = await viewer(`uid=9${row.query}#token=${kGoodToken}`);
    await waitForText(page, '.results-note', row.note);
    const shownFigures = () => page.$$eval('.option .figures', (nodes) => nodes.filter((node) => getComputedStyle(node).visibility === 'visible').length);
    assert.equal(await shownFigures(), 0);
    await page.getByRole('button', { name: row.button }).click();
    await waitForText(page, '.allowance', row.allowance);
    await page.screenshot({ path: `${shots}/viewer-results-pending${row.suffix}.png` });
    service.push('vote.end', normalVote({ id: 71, names: ['甲', '乙'], counts: [4, 6], results: 'end', ended: true }));
    await waitForValue(page, counts, ['4', '6']);
    assert.equal(await shownFigures(), 2);
    assert.equal(await page.locator('.results-note').isVisible(), false);
    await page.waitForTimeout(1800);
    await page.screenshot({ path: `${shots}/viewer-results-revealed${row.suffix}.png` });
    assert.deepEqual(page.errors, []);
    await page.close();
  }
});

test('clickCountsAtOnceAndTheAnswerCorrectsIt', async () => {
  const cases = [
    { name: 'accepted', result: 0, shownAfter: ['3', '5'], words: '已投出', remaining: '还剩 2 票' },
    { name: 'no tickets left', result: 11, shownAfter: ['2', '5'], words: '你的票已经投完了', remaining: '还剩 0 票' },
    { name: 'too many requests', result: 19, shownAfter: ['2', '5'], words: '操作太频繁，请稍后再试', remaining: '还剩 3 票' },
    { name: 'vote not running', result: 10, shownAfter: ['2', '5'], words: '投票已结束或尚未开始', remaining: '还剩 3 票' },
    { name: 'option full, in English', result: 12, shownAfter: ['2', '5'], words: 'This option has all the votes you may give it; vote for another one', remaining: '3 votes left', lang: 'en' },
    { name: 'accepted, in English', result: 0, shownAfter: ['3', '5'], words: 'Your vote is in', remaining: '2 votes left', lang: 'en' },
  ];
  for (const c of cases) {
    service.push('vote.begin', normalVote({ id: 60 + c.result, names: ['甲', '乙'], counts: [2, 5], perUser: 3, perOption: 3 }));
    const page = await viewer(c.lang ? `uid=9&lang=${c.lang}#token=${kGoodToken}` : undefined);
    await waitForValue(page, counts, ['2', '5']);
    const held = [];
    service.answer = (request) => {
      held.push(request);
      return { result: null };
    };
    await page.getByRole('button', { name: c.lang ? 'Vote for “甲”' : '给「甲」投一票' }).click();
    await waitForValue(page, counts, ['3', '5'], 1000);
    assert.equal(held.length, 1, `${c.name}: one request`);
    assert.deepEqual({ ...held[0], id: 0 }, { id: 0, type: 'vote', voteId: 60 + c.result, optionId: 0, tickets: 1 });
    service.reply(held[0], c.result);
    await waitForValue(page, counts, c.shownAfter, 3000);
    await waitForText(page, '#notice', c.words);
    await page.waitForFunction((want) => document.querySelector('.allowance').textContent.includes(want), c.remaining);
    await page.close();
  }
});

test('anAcceptedClickStaysUntilTheBroadcastCountsIt', async () => {
  service.push('vote.begin', normalVote({ id: 70, names: ['甲', '乙'], counts: [2, 5], perUser: 3, perOption: 3 }));
  const page = await viewer();
  await waitForValue(page, counts, ['2', '5']);
  await page.getByRole('button', { name: '给「甲」投一票' }).click();
  await waitForText(page, '#notice', '已投出');
  service.push('vote.progress', normalVote({ id: 70, names: ['甲', '乙'], counts: [2, 6], perUser: 3, perOption: 3 }));
  await waitForValue(page, counts, ['3', '6']);
  service.push('vote.progress', normalVote({ id: 70, names: ['甲', '乙'], counts: [4, 6], perUser: 3, perOption: 3 }));
  await waitForValue(page, counts, ['4', '6']);
  await page.close();
});

test('groupMembersAndJudgeScoresAreVotedFromTheKeyboard', async () => {
  service.push('vote.begin', groupVote({ id: 80, teamA: [['甜甜', 1]], teamB: [['阿飞', 2]] }));
  let page = await viewer();
  await waitForTexts(page, '.team-name', ['红队', '蓝队']);
  // Buttons are off until the page's session is open; focus and keys do not wait for that.
  await page.getByRole('button', { name: '给「阿飞」投一票', disabled: false }).focus();
  await page.keyboard.press('Enter');
  await waitForTexts(page, '.team-total', ['1', '3']);
  assert.deepEqual(votesSent().map((m) => m.optionId), [1]);
  await page.close();

  service.push('vote.begin', judgeVote({ id: 81, judges: [[8, '张老师', 4], [9, '我', 0]] }));
  page = await viewer();
  await waitForTexts(page, '.judge-word', ['很好', '打分中...']);
  await page.getByRole('button', { name: '打分', disabled: false }).press('Enter');
  await waitForText(page, '.score-hint', '请选择要打的分数');
  await page.getByLabel('5 分，超赞').check();
  await page.keyboard.press('Tab');
  await page.keyboard.press('Enter');
  await waitForTexts(page, '.judge-word', ['很好', '超赞']);
  await waitForText(page, '.judge-total', '总分：9');
  assert.equal(await page.locator('.score-picker').count(), 0, 'one score per judge');
  assert.deepEqual(service.received.filter((m) => m.type === 'judgeScore').map((m) => m.score), [5]);
  await page.close();

  service.push('vote.begin', judgeVote({ id: 82, judges: [[8, '张老师', 4], [9, 'Jo', 0]] }));
  page = await viewer(`uid=9&lang=en#token=${kGoodToken}`);
  await waitForTexts(page, '.judge-nick', ['张老师', 'Jo (you)']);
  await page.getByLabel('1 point, Poor').check();
  await page.getByRole('button', { name: 'Score', disabled: false }).click();
  await waitForTexts(page, '.judge-word', ['Great', 'Poor']);
  await waitForText(page, '.judge-total', 'Total: 5');
  await page.close();

  page = await viewer(`uid=7#token=${kGoodToken}`);
  await waitForTexts(page, '.judge-word', ['很好', '打分中...']);
  assert.equal(await page.locator('.score-picker').count(), 0, 'no picker for a viewer who is not a judge');
  await page.close();
});

test('aBadLinkSaysSoAndOffersNothingToClick', async () => {
  service.push('vote.begin', normalVote({ id: 90, counts: [1, 2] }));
  const cases = [
    { name: 'nothing', query: '', words: /缺少登录令牌或用户信息/ },
    { name: 'missing token', query: 'uid=9', words: /缺少登录令牌/ },
    { name: 'token in the query, where it no longer counts', query: `uid=9&token=${kGoodToken}`, words: /缺少登录令牌/ },
    { name: 'forged', query: 'uid=9#token=e30.e30.forged', words: /链接无效/ },
    { name: 'expired', query: `uid=9#token=${kExpiredToken}`, words: /链接已过期/ },
    { name: 'token without uid', query: `#token=${kGoodToken}`, words: /缺少登录令牌或用户信息/ },
    { name: 'token that may not watch', query: `uid=9#token=${kVoteOnlyToken}`, words: /没有观看投票的权限/ },
    { name: 'expired, in English', query: `uid=9&lang=en#token=${kExpiredToken}`, words: /^This vote cannot be openedThe link has expired\./ },
  ];
  for (const c of cases) {
    const page = await viewer(c.query);
    await page.waitForSelector('.refusal');
    assert.match(await page.textContent('.refusal'), c.words, c.name);
    const clickable = await page.$$eval('button, a[href], input, select, textarea, [tabindex]', (nodes) => nodes.length);
    assert.equal(clickable, 0, `${c.name}: nothing to click`);
    await page.close();
  }
});

test('layoutFitsFrom320To1280WithoutHorizontalScrolling', async () => {
  const long = '一个特别特别长的选项名字用来检查换行是否正常工作'.repeat(2);
  service.push('vote.begin', normalVote({ id: 95, names: [long, '乙', '丙'], counts: [12345, 2, 3] }));
  service.history = [{ name: long, voteType: 1, timeText: '2026-12-03 20:00:00', adminNick: long, options: { 0: long }, optionTickets: { 0: 3 } }];
  for (const width of [320, 1280]) {
    const page = await viewer(undefined, width);
    await waitForValue(page, counts, ['12,345', '2', '3']);
    await page.waitForSelector('.history-item');
    const overflow = await page.evaluate(() => document.documentElement.scrollWidth - document.documentElement.clientWidth);
    assert.equal(overflow, 0, `${width}px: no horizontal overflow`);
    const buttons = await page.$$eval('.vote-button', (nodes) => nodes.map((node) => node.getBoundingClientRect().right));
    assert.ok(buttons.every((right) => right <= width), `${width}px: buttons inside the page`);
    await page.close();
  }
});

test('viewerComesBackAfterTheServiceRestarts', async () => {
  service.push('vote.begin', normalVote({ id: 99, names: ['甲', '乙'], counts: [1, 1] }));
  const page = await viewer();
  await waitForValue(page, counts, ['1', '1']);
  await page.waitForSelector('.vote-button:enabled', { timeout: 8000 });
  await service.stop();
  await waitForText(page, '#connection', '连接已断开，正在重新连接…', 10000);
  assert.equal(await page.locator('.vote-button:enabled').count(), 0, 'no click while nobody listens');
  service.vote = normalVote({ id: 99, names: ['甲', '乙'], counts: [4, 1] });
  await service.start();
  await waitForValue(page, counts, ['4', '1'], 8000);
  assert.equal(await page.locator('.vote-button:enabled').count(), 2);
  await page.close();
});

// The token of the fragment leaves the address bar at once and no request carries it; each
// WebSocket (the first and the one after a drop) opens with a fresh ticket, and a reload finds the
// token in the tab's storage.
test('theTokenStaysOutOfTheAddressBarAndOfEveryRequest', async () => {
  service.push('vote.begin', normalVote({ id: 97, names: ['甲', '乙'], counts: [1, 1] }));
  const page = await viewer(`uid=9&nick=${encodeURIComponent('观众')}#token=${kGoodToken}`);
  await waitForValue(page, counts, ['1', '1']);
  assert.equal(new URL(page.url()).hash, '', 'no fragment left');
  assert.ok(!page.url().includes(kGoodToken), page.url());
  // The first state comes before the WebSocket opens; buttons come on once it is open.
  await page.waitForSelector('.vote-button:enabled', { timeout: 8000 });
  for (const client of service.sessionClients) client.terminate();
  await waitForText(page, '#connection', '连接已断开，正在重新连接…', 10000);
  await page.waitForSelector('.vote-button:enabled', { timeout: 8000 });
  await page.reload();
  await waitForValue(page, counts, ['1', '1']);
  // Buttons come on once the reloaded page's WebSocket is open.
  await page.waitForSelector('.vote-button:enabled', { timeout: 8000 });
  const tickets = service.urls.filter((url) => url.startsWith('/api/v1/session?')).map((url) => new URL(url, service.origin).searchParams.get('ticket'));
  assert.equal(tickets.length, 3, 'first connection, reconnection, reload');
  assert.equal(new Set(tickets).size, 3, 'a fresh ticket each time');
  assert.deepEqual(service.urls.filter((url) => url.includes(kGoodToken) || url.includes('token=')), []);
  assert.deepEqual(page.errors, []);
  await page.close();
});
