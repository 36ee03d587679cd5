import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { launch, openPage } from './support/browser.js';
import { fill, localTimeTyped, openConsole, shownDateTime, zh } from './support/console.js';
import { waitForText, waitForTexts, waitForValue } from './support/expect.js';
import { RealHost, kManagement, kNormal, until } from './support/realhost.js';
import { RealService, kChannel, kSub } from './support/realservice.js';

// The pages beside real desktop hosts on one real quorix-voted (secret, SQLite): one service and
// three hosts serve every case, in order. CTest names the programs; run alone, `npm test` skips.
const voted = process.env.QUORIX_VOTED_PATH;
const wire = process.env.QUORIX_WIRE_PATH;
const hostPath = process.env.TOVO_HOST_PATH;
// Under CTest (QUORIX_WEB_PROGRAMS=required) missing programs fail the tests instead of skipping them.
const missing = !voted || !wire || !hostPath;
const skip = missing && !process.env.QUORIX_WEB_PROGRAMS ? 'QUORIX_VOTED_PATH, QUORIX_WIRE_PATH and TOVO_HOST_PATH name no programs (CTest sets them)' : false;

const kManager = { uid: 10001, imid: 90001, nick: '频道管理员', role: 255 };
const kDesktopViewer = { uid: 20001, imid: 90002, nick: '观众甲', role: 20 };
// Votes from a browser and from a desktop host under one identity.
const kWebViewer = { uid: 20003, imid: 90004, nick: '网页 观众+1', role: 20 };
const kApiManager = { uid: 2, imid: 2, role: 255 };
const kOptions = ['一号', '二号', '三号'];

let service;
let browser;
let hosts;
const place = `${kChannel}/${kSub}`;

before(async () => {
  if (skip) return;
  if (missing) throw new Error('CTest gave no program paths: QUORIX_VOTED_PATH, QUORIX_WIRE_PATH, TOVO_HOST_PATH');
  service = await new RealService(voted, wire, { durable: true }).start();
  hosts = {
    manager: new RealHost(hostPath, service, 'manager', kManager),
    desktop: new RealHost(hostPath, service, 'desktop', kDesktopViewer),
    web: new RealHost(hostPath, service, 'web', kWebViewer),
  };
  browser = await launch();
  await Promise.all(Object.values(hosts).map((host) => host.ready()));
});
after(async () => {
  await browser?.close();
  await Promise.all(Object.values(hosts ?? {}).map((host) => host.quit()));
  await service?.stop();
});

async function visible(host, window, widget) {
  const answer = await host.command({ cmd: 'text', window, widget });
  return answer.ok && answer.visible;
}

// The manager's editor: name, 3 tickets a person, 2 an option, the options; then 开始投票.
async function startNormalVoteInTheEditor(name) {
  const manager = hosts.manager;
  await manager.must({ cmd: 'addon' });
  await until(() => manager.shown(kManagement), 'the management window opens');
  await manager.click(kManagement, 'nomalVote');
  await until(() => visible(manager, kManagement, 'startNormalVoteBtn'), 'the normal vote editor');
  await manager.must({ cmd: 'setText', window: kManagement, widget: 'createNormalVotePage/voteName', text: name });
  await manager.must({ cmd: 'select', window: kManagement, widget: 'createNormalVotePage/maxTicket', index: 2 });
  await manager.must({ cmd: 'select', window: kManagement, widget: 'createNormalVotePage/maxOptionTicket', index: 1 });
  const row = (i) => `normalVoteCreateList/voteOption[${i}]`;
  for (let i = 0; i < kOptions.length; i += 1) {
    if ((await manager.text(kManagement, row(i))) === null) {
      await manager.click(kManagement, 'addNormalOptionBtn');
      await until(async () => (await manager.text(kManagement, row(i))) !== null, `option row ${i}`);
    }
    await manager.must({ cmd: 'setText', window: kManagement, widget: row(i), text: kOptions[i] });
  }
  await manager.click(kManagement, 'startNormalVoteBtn');
}

// The overlay ranks its rows; counts are compared in the options' own order.
const overlayCounts = async (page) => {
  const rows = await page.$$eval('.option-row', (nodes) =>
    nodes.map((row) => [row.querySelector('.option-name').textContent, row.querySelector('.option-count .num').textContent]),
  );
  return Object.fromEntries(rows.sort(([a], [b]) => kOptions.indexOf(a) - kOptions.indexOf(b)));
};

// The viewer page lists its options in their own order.
const pageCounts = (page) => page.$$eval('.option .count', (nodes) => nodes.map((node) => node.textContent));

async function expectCountsEverywhere(expected, pages) {
  for (const host of [hosts.manager, hosts.desktop, hosts.web]) {
    const shows = async () => JSON.stringify(await host.normalCounts());
    const want = JSON.stringify(expected);
    await until(async () => (await shows()) === want, async () => `${host.name}: counts ${want}, it shows ${await shows()}`);
  }
  await waitForValue(pages.overlay, overlayCounts, expected, 8000);
  await waitForValue(pages.viewer, pageCounts, Object.values(expected), 8000);
}

function voteButton(page, option) {
  return page.locator(`.option[data-option-id="${option}"] .vote-button`);
}

let pages;

test('aNormalVoteStartedInADesktopHostCountsAlikeOnTheOverlayThePageAndTheDesktopWindows', { skip }, async () => {
  const link = (await hosts.web.must({ cmd: 'webLink' })).url;
  assert.ok(link.startsWith(`${service.origin}/vote/${place}?`), link);
  pages = {
    overlay: await openPage(browser, service.link('overlay', kApiManager, service.token(kApiManager, kChannel, { scope: 'events' })), { width: 1920, height: 1080 }),
    viewer: await openPage(browser, link, { width: 390, height: 800 }),
  };
  await pages.viewer.waitForSelector('.empty');

  await startNormalVoteInTheEditor('网页与桌面');
  await until(() => hosts.desktop.shown(kNormal), 'the desktop viewer sees the vote');
  await waitForText(pages.viewer, '.allowance', '每项可投 2 票，还剩 3 票。', 8000);
  const zero = Object.fromEntries(kOptions.map((text) => [text, '0']));
  await expectCountsEverywhere(zero, pages);

  for (const button of ['Button0', 'Button0']) await hosts.desktop.click(kNormal, button);
  for (let i = 0; i < 2; i += 1) {
    await pages.viewer.getByRole('button', { name: '给「二号」投一票' }).click();
    await waitForText(pages.viewer, '#notice', '已投出');
  }
  // The same identity's host spends the third ticket; one more there and one more on the page
  // would exceed the three a person has.
  await hosts.web.click(kNormal, 'Button2');
  const counted = { 一号: '2', 二号: '2', 三号: '1' };
  await expectCountsEverywhere(counted, pages);
  await hosts.web.click(kNormal, 'Button0');
  const third = voteButton(pages.viewer, 2);
  // The page may not know yet what the host spent: a click it still offers is refused by the service.
  if (await third.isEnabled()) {
    await third.click();
    await waitForText(pages.viewer, '#notice', '你的票已经投完了');
  }
  await expectCountsEverywhere(counted, pages);
  await until(async () => (await hosts.web.text(kNormal, 'Ticket')) === '0', 'the web viewer host has no ticket left');
  assert.deepEqual([...pages.overlay.errors, ...pages.viewer.errors], []);
});

test('thePagesComeBackWithTheRightCountsAfterTheServiceIsKilledAndRestarted', { skip }, async () => {
  await service.kill();
  await waitForText(pages.viewer, '#connection', '连接已断开，正在重新连接…', 8000);
  await service.start();
  const counted = { 一号: '2', 二号: '2', 三号: '1' };
  await expectCountsEverywhere(counted, pages);
  await until(async () => (await hosts.desktop.must({ cmd: 'state' })).connected, 'the desktop viewer reconnects', 30000);
  // Its window asks for its tickets again on the new connection; a click before the answer is lost.
  await until(async () => (await hosts.desktop.text(kNormal, 'Ticket')) === '1', 'the desktop viewer has its last ticket again', 15000);
  // Counting goes on: the desktop viewer's third ticket reaches the pages that never reloaded.
  await hosts.desktop.click(kNormal, 'Button1');
  await expectCountsEverywhere({ 一号: '2', 二号: '3', 三号: '1' }, pages);

  const running = (await service.api('GET', `/channels/${kChannel}/subchannels/${kSub}/vote`, kApiManager)).body;
  const round = `sub=${kSub}&jiFangId=${running.jiFangId}`;
  assert.equal((await service.api('POST', `/channels/${kChannel}/votes/${running.vote.voteId}/stop?${round}`, kApiManager)).status, 200);
  await waitForText(pages.overlay, '.clock-words', '投票已结束', 8000);
  await waitForText(pages.viewer, '.clock-words', '投票已结束', 8000);
  assert.equal((await service.api('POST', `/channels/${kChannel}/votes/${running.vote.voteId}/close?${round}`, kApiManager)).status, 200);
  await until(async () => !(await hosts.desktop.shown(kNormal)), 'the desktop vote window closes');
  await pages.overlay.waitForSelector('.panel', { state: 'detached', timeout: 5000 });
  assert.deepEqual([...pages.overlay.errors, ...pages.viewer.errors], []);
  await pages.viewer.close();
});

const numbered = (values) => Object.fromEntries(values.map((value, i) => [String(i), value]));

// The vote names the manager's desktop management window lists.
async function listedOnTheDesktop() {
  const names = [];
  for (let name; (name = await hosts.manager.text(kManagement, `voteListCtrl/VOTE_NAME[${names.length}]`)) !== null;) names.push(name);
  return names;
}

// Creates a vote over the web API, sees it reach the manager's open desktop management window, and
// starts it.
async function createAndStart(vote) {
  const created = await service.api('POST', `/channels/${kChannel}/votes?sub=${kSub}`, kApiManager, { body: { limitTime: 300, ...vote } });
  assert.equal(created.status, 201, `${vote.name} is stored: ${JSON.stringify(created.body)}`);
  const { voteId } = created.body;
  await until(async () => (await listedOnTheDesktop()).includes(vote.name), async () => `the desktop lists ${vote.name}: ${await listedOnTheDesktop()}`);
  const started = await service.api('POST', `/channels/${kChannel}/votes/${voteId}/start?sub=${kSub}`, kApiManager);
  assert.deepEqual([started.status, started.body.result], [200, 0], `${vote.name} starts`);
  return { voteId, round: `sub=${kSub}&jiFangId=${started.body.jiFangId}` };
}

// A manager makes the group vote in the console (/manage/{ch}) as a person does, sees it reach the
// manager's open desktop management window, and schedules its start inSeconds ahead in the row's
// "start at" form.
async function scheduleAGroupVoteInTheConsole(name, inSeconds) {
  const consolePage = await openConsole(browser, service, { token: service.token(kApiManager) });
  await consolePage.getByRole('button', { name: zh.t('newGroup') }).click();
  await fill(consolePage, [
    [zh.t('voteName'), name],
    [zh.t('maxTicket'), '2'],
    [zh.t('teamName', { team: 'A' }), '红队'],
    [zh.t('member', { team: 'A', n: 1 }), '红一'],
  ]);
  await consolePage.getByRole('button', { name: `+ ${zh.t('addMember', { team: 'A' })}` }).click();
  await fill(consolePage, [
    [zh.t('member', { team: 'A', n: 2 }), '红二'],
    [zh.t('teamName', { team: 'B' }), '蓝队'],
    [zh.t('member', { team: 'B', n: 1 }), '蓝一'],
  ]);
  await consolePage.getByRole('button', { name: zh.t('save') }).click();
  await waitForText(consolePage, '[role="status"].notice', zh.t('saved', { name }));
  await until(async () => (await listedOnTheDesktop()).includes(name), async () => `the desktop lists ${name}: ${await listedOnTheDesktop()}`);

  await consolePage.getByRole('button', { name: `${zh.t('startAt')} ${name}` }).click();
  const at = Math.floor(Date.now() / 1000) + inSeconds;
  await consolePage.getByLabel(zh.t('startTime')).fill(await localTimeTyped(consolePage, at));
  await consolePage.getByRole('button', { name: zh.t('scheduleSave'), exact: true }).click();
  await waitForText(consolePage, '.schedule-words', zh.t('scheduledAt', { time: await shownDateTime(consolePage, at) }));
  assert.deepEqual(consolePage.errors, []);
  await consolePage.close();
  const { votes } = (await service.api('GET', `/channels/${kChannel}/votes?sub=${kSub}`, kApiManager)).body;
  const vote = votes.find((listed) => listed.name === name);
  assert.deepEqual([vote.voteType, vote.limits, vote.limitTime], [1, { 0: 2, 1: 1 }, 300], 'the vote as the form made it');
  assert.deepEqual([vote.options, vote.optionGroup, vote.groupNames], [numbered(['红一', '红二', '蓝一']), numbered([0, 0, 1]), numbered(['红队', '蓝队'])]);
  assert.deepEqual(vote.schedule, { at, state: 'pending' }, `${name} is scheduled`);
  return { name, voteId: vote.voteId, at };
}

// The service starts a scheduled vote on its second, not before.
async function startsOnItsSecond({ name, voteId, at }) {
  let running;
  const vote = async () => (running = (await service.api('GET', `/channels/${kChannel}/subchannels/${kSub}/vote`, kApiManager)).body);
  await until(async () => (await vote())?.status === 'running', `${name} starts at its second`, (at - Date.now() / 1000 + 8) * 1000);
  assert.ok(Date.now() / 1000 >= at, `${name} did not start before its second`);
  assert.equal(running.vote.voteId, voteId);
  return { voteId, round: `sub=${kSub}&jiFangId=${running.jiFangId}` };
}

async function stopAndClose({ voteId, round }, beforeClose) {
  assert.equal((await service.api('POST', `/channels/${kChannel}/votes/${voteId}/stop?${round}`, kApiManager)).status, 200);
  await beforeClose();
  assert.equal((await service.api('POST', `/channels/${kChannel}/votes/${voteId}/close?${round}`, kApiManager)).status, 200);
  await pages.overlay.waitForSelector('.panel', { state: 'detached', timeout: 5000 });
}

test('groupAndJudgeVotesThroughTheWebPageWithAJudgeWhoAbstains', { skip }, async () => {
  const webLink = (await hosts.web.must({ cmd: 'webLink' })).url;
  const desktopLink = (await hosts.desktop.must({ cmd: 'webLink' })).url;
  // Six seconds: typing the time on a loaded machine must not reach it before the form is sent.
  const scheduled = await scheduleAGroupVoteInTheConsole('红蓝对决', 6);
  // The viewer's page is open before the start and shows the vote when it begins.
  const viewer = await openPage(browser, webLink, { width: 390, height: 800 });
  const group = await startsOnItsSecond(scheduled);
  await waitForTexts(viewer, '.team-name', ['红队', '蓝队'], 8000);
  await viewer.getByRole('button', { name: '给「蓝一」投一票' }).click();
  await waitForText(viewer, '#notice', '已投出');
  await until(() => hosts.desktop.shown('对战投票'), 'the desktop viewer sees the group vote');
  await hosts.desktop.click('对战投票', 'optionListA/option1/Button');
  await waitForTexts(viewer, '.team-total', ['1', '1'], 8000);
  await waitForTexts(pages.overlay, '.team-total', ['1', '1'], 8000);
  await until(async () => (await hosts.desktop.text('对战投票', 'BGroupScore')) === '1', 'the desktop window counts blue 1');
  await stopAndClose(group, () => waitForText(viewer, '.clock-words', '投票已停止', 8000));

  const judges = [kWebViewer, kDesktopViewer];
  const judge = await createAndStart({
    name: '评委打分', voteType: 2, limits: { 0: 1, 1: 1 }, judgeOrder: numbered(judges.map((user) => user.uid)),
    judges: Object.fromEntries(judges.map(({ uid, imid, nick }) => [String(uid), { uid, imid, nick, points: 0, auxMap: {} }])),
  });
  const abstainer = await openPage(browser, desktopLink, { width: 390, height: 800 });
  await waitForTexts(viewer, '.judge-word', ['打分中...', '打分中...'], 8000);
  await viewer.getByRole('button', { name: '打分' }).click();
  await viewer.getByLabel('4 分，很好').check();
  await viewer.getByRole('button', { name: '打分' }).click();
  await waitForTexts(viewer, '.judge-word', ['很好', '打分中...'], 8000);
  await waitForTexts(abstainer, '.judge-word', ['很好', '打分中...'], 8000);
  await waitForText(pages.overlay, '.judge-total-value', '4', 8000);
  await stopAndClose(judge, async () => {
    for (const page of [viewer, abstainer, pages.overlay]) await waitForTexts(page, '.judge-word', ['很好', '弃权'], 8000);
    await waitForText(viewer, '.judge-total', '总分：4');
    await until(async () => (await hosts.desktop.text('评委投票', 'Judging1')) === '弃权', 'the desktop window shows the abstention');
  });
  assert.deepEqual([...viewer.errors, ...abstainer.errors, ...pages.overlay.errors], []);
  await Promise.all([viewer.close(), abstainer.close()]);
});

// How many of a page's count figures a person can see.
const figuresSeen = (page, selector) =>
  page.$$eval(selector, (nodes) => nodes.filter((node) => getComputedStyle(node).visibility === 'visible').length);
const kPageFigures = [['viewer', '.option .figures'], ['overlay', '.option-row .option-count .num']];

// While a vote whose results come at its end runs, viewers' desktop windows count 0 for every
// option and their pages show the note and no figure, each viewer's own tickets are true, and the
// manager's window counts; its end shows everybody the final counts.
test('aVoteWithItsResultsAtTheEndShowsViewersNoCountUntilItEnds', { skip }, async () => {
  const vote = await createAndStart({ name: '结果最后公布', voteType: 0, results: 'end', limits: { 0: 3, 1: 2 }, options: numbered(kOptions) });
  const shown = { overlay: pages.overlay, viewer: await openPage(browser, (await hosts.web.must({ cmd: 'webLink' })).url, { width: 390, height: 800 }) };
  await until(async () => (await hosts.desktop.text(kNormal, 'Ticket')) === '3', 'the desktop viewer knows its tickets');
  for (const button of ['Button0', 'Button0']) await hosts.desktop.click(kNormal, button);
  await waitForText(shown.viewer, '.allowance', '每项可投 2 票，还剩 3 票。', 8000);
  await shown.viewer.getByRole('button', { name: '给「二号」投一票' }).click();
  await waitForText(shown.viewer, '#notice', '已投出');

  const counted = { 一号: '2', 二号: '1', 三号: '0' };
  const json = async (read) => JSON.stringify(await read());
  await until(async () => (await json(() => hosts.manager.normalCounts())) === JSON.stringify(counted), async () => `the manager counts ${await json(() => hosts.manager.normalCounts())}`);
  const zero = JSON.stringify(Object.fromEntries(kOptions.map((text) => [text, '0'])));
  // The web viewer's host learns of the ticket its page spent only when it asks: its counts only.
  for (const host of [hosts.desktop, hosts.web]) {
    await until(async () => (await json(() => host.normalCounts())) === zero, async () => `${host.name}: counts ${zero}, it shows ${await json(() => host.normalCounts())}`);
  }
  const mine = async () => json(async () => ({
    left: await hosts.desktop.text(kNormal, 'Ticket'),
    open: await Promise.all([0, 1, 2].map(async (i) => (await hosts.desktop.command({ cmd: 'text', window: kNormal, widget: `Button${i}` })).enabled)),
  }));
  assert.equal(await mine(), JSON.stringify({ left: '1', open: [false, true, true] }), 'the desktop viewer\'s own tickets');
  await waitForText(shown.viewer, '.allowance', '每项可投 2 票，还剩 2 票。');
  for (const [page, figures] of kPageFigures) {
    await waitForText(shown[page], '.results-note', '结果将在投票结束后公布', 8000);
    assert.equal(await figuresSeen(shown[page], figures), 0, `${page}: no figure while the vote runs`);
  }
  // Nor do the pages hold a count behind the hidden figures: the service sent them zeros (the
  // viewer page counts its own click on 二号 at once).
  assert.equal(await json(() => overlayCounts(shown.overlay)), zero);
  const [first, , third] = await pageCounts(shown.viewer);
  assert.deepEqual([first, third], ['0', '0']);
  assert.equal(await hosts.desktop.normalCounts().then(JSON.stringify), zero, 'the desktop viewer still counts 0 once the manager counts');

  await stopAndClose(vote, async () => {
    await expectCountsEverywhere(counted, shown);
    for (const [page, figures] of kPageFigures) {
      assert.equal(await figuresSeen(shown[page], figures), kOptions.length, `${page}: the figures once the vote ends`);
      assert.equal(await shown[page].locator('.results-note').isVisible(), false, `${page}: no note once the vote ends`);
    }
  });
  assert.deepEqual([...shown.viewer.errors, ...pages.overlay.errors], []);
  await shown.viewer.close();
});

// Shows the manager's desktop management window's vote list, from whichever page it is on.
async function showTheDesktopVoteList() {
  for (const back of ['createNormalVoteMainBtn', 'createGroupVoteMainBtn', 'createJudgeVoteMainBtn', 'voteListMainBtn']) {
    if (await visible(hosts.manager, kManagement, back)) await hosts.manager.click(kManagement, back);
  }
  await hosts.manager.click(kManagement, 'voteListLabel');
  await until(() => visible(hosts.manager, kManagement, 'voteListCtrl/VOTE_NAME[0]'), 'the desktop vote list');
}

// The manager renames the last vote in the desktop editor; the console open on the channel lists the
// new name without a reload, and the vote still shows its results at the end.
test('aVoteRenamedInTheDesktopEditorIsRenamedInTheOpenConsole', { skip }, async () => {
  const [before, renamed] = ['结果最后公布', '结果最后公布（改）'];
  const consolePage = await openConsole(browser, service, { token: service.token(kApiManager) });
  const names = () => consolePage.locator('.vote-row .vote-name').allTextContents();
  const summaryOf = (name) => consolePage.locator('.vote-row', { has: consolePage.getByText(name, { exact: true }) }).locator('.vote-summary').textContent();
  const summary = `${zh.t('voteSummary', { kind: zh.kind(0), seconds: 300 })} · ${zh.t('resultsAtEndShort')}`;
  await until(async () => (await names()).includes(before), async () => `the console lists ${before}: ${await names()}`);
  assert.equal(await summaryOf(before), summary);

  await showTheDesktopVoteList();
  const row = (await listedOnTheDesktop()).indexOf(before);
  await hosts.manager.must({ cmd: 'hover', window: kManagement, widget: `voteListCtrl/VOTE_NAME[${row}]` });
  await hosts.manager.click(kManagement, `voteListCtrl/EDITE_LABEL[${row}]`);
  await until(async () => (await hosts.manager.text(kManagement, 'createNormalVotePage/voteName')) === before, 'the desktop editor opens the vote');
  await hosts.manager.must({ cmd: 'setText', window: kManagement, widget: 'createNormalVotePage/voteName', text: renamed });
  await hosts.manager.click(kManagement, 'voteListAddNormalVoteLable');

  const shows = async () => JSON.stringify([(await names()).includes(before), (await names()).includes(renamed)]);
  await until(async () => (await shows()) === '[false,true]', async () => `the console lists ${renamed} instead of ${before}: ${await names()}`);
  assert.equal(await summaryOf(renamed), summary, 'the rename keeps the results at the end');
  assert.deepEqual(consolePage.errors, []);
  await consolePage.close();
});

test('theRealServiceRefusesBadTokensAndTokensOfAnotherChannel', { skip }, async () => {
  const identity = (user) => `uid=${user.uid}&imid=${user.imid}&role=${user.role}`;
  const token = (user, channel) => service.token(user, channel);
  const cases = [
    { name: 'forged', query: identity(kWebViewer), token: token(kWebViewer).slice(0, -4) + 'AAAA', status: 401, words: /链接无效/ },
    { name: 'old form', query: identity(kWebViewer), token: '4102444800.00ff', status: 401, words: /链接无效/ },
    { name: 'another user\'s', query: identity(kWebViewer), token: token(kDesktopViewer), status: 401, words: /链接无效/ },
    { name: 'another channel\'s', query: identity(kWebViewer), token: token(kWebViewer, 999), status: 401,
      words: /这个链接不能打开这个频道的投票/ },
    { name: 'another channel\'s, claimed', query: `${identity(kWebViewer)}&channel=999`, token: token(kWebViewer, 999),
      status: 401, words: /这个链接不能打开这个频道的投票/ },
    { name: 'none', query: identity(kWebViewer), token: null, status: 401, words: /缺少登录令牌/ },
  ];
  for (const c of cases) {
    const headers = c.token ? { Authorization: `Bearer ${c.token}` } : {};
    const response = await fetch(`${service.origin}/api/v1/channels/${kChannel}/subchannels/${kSub}/vote?${c.query}`, { headers });
    assert.equal(response.status, c.status, c.name);
    const fragment = c.token ? `#token=${encodeURIComponent(c.token)}` : '';
    const page = await openPage(browser, `${service.origin}/vote/${place}?${c.query}${fragment}`, { width: 390, height: 800 });
    await page.waitForSelector('.refusal');
    assert.match(await page.textContent('.refusal'), c.words, c.name);
    assert.equal(await page.locator('button').count(), 0, `${c.name}: nothing to click`);
    await page.close();
  }
});

// The manager's desktop host holds a day-long manager's token, yet the link it hands out carries a
// narrower one in its fragment: the page works, and cannot start a vote.
test('theManagersDesktopLinkCannotStartAVote', { skip }, async () => {
  const link = (await hosts.manager.must({ cmd: 'webLink' })).url;
  const url = new URL(link);
  assert.ok(url.hash.startsWith('#token='), link);
  assert.ok(!url.search.includes('token='), link);
  const { votes } = (await service.api('GET', `/channels/${kChannel}/votes?sub=${kSub}`, kApiManager)).body;
  assert.ok(votes.length > 0, 'the earlier cases left votes');
  const page = await openPage(browser, link, { width: 390, height: 800 });
  await page.waitForSelector('#vote');
  assert.equal(new URL(page.url()).hash, '');
  const status = await page.evaluate(async ({ channel, sub, id }) => {
    const token = Object.entries(sessionStorage).find(([key]) => key.startsWith('quorix.token '))[1];
    const response = await fetch(`/api/v1/channels/${channel}/votes/${id}/start?sub=${sub}`, {
      method: 'POST',
      headers: { Authorization: `Bearer ${token}` },
    });
    return response.status;
  }, { channel: kChannel, sub: kSub, id: votes[0].voteId });
  assert.equal(status, 403);
  assert.deepEqual(page.errors, []);
  await page.close();
});
