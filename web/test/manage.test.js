import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { after, before, test } from 'node:test';
import { launch, openPage } from './support/browser.js';
import { en, fill, fillNormal, liveCounts, localTimeTyped, openConsole, overflows, shownDateTime, zh } from './support/console.js';
import { waitForText, waitForTexts, waitForValue } from './support/expect.js';
import { RealService, kChannel, kSub } from './support/realservice.js';
import { check, draftOf, emptyDraft, recordOf } from '../assets/manage/editorrules.js';
import { pickLanguage } from '../assets/manage/catalogue.js';
import { accessRefusal, refusalWords } from '../assets/manage/refusals.js';
import { resultWords } from '../assets/shared/resultwords.js';

// Needs the build tree's quorix-voted; CTest names it. Run alone, `npm test` says why it skips.
const voted = process.env.QUORIX_VOTED_PATH;
const skip = !voted && !process.env.QUORIX_WEB_PROGRAMS ? 'QUORIX_VOTED_PATH names no program (CTest sets it)' : false;

const manager = { uid: 1, role: 255 };
const viewer = { uid: 9, role: 0 };
const judges = [501, 502, 503, 504, 505, 506].map((uid) => ({ uid, imid: 90000 + uid }));
let service;
let browser;
let managerToken;

before(async () => {
  if (skip) return;
  if (!voted) throw new Error('CTest gave no program path: QUORIX_VOTED_PATH');
  service = await new RealService(voted, '').start();
  browser = await launch();
  managerToken = service.token(manager);
  // The judges have been seen by the service, so its user directory knows their numbers.
  for (const judge of judges) await service.api('GET', `/channels/${kChannel}/subchannels/${kSub}/vote`, judge);
});
after(async () => {
  await browser?.close();
  await service?.stop();
});

const votesShown = (page) => page.$$eval('.vote-row', (rows) => rows.map((row) => `${row.querySelector('.vote-name').textContent} ${row.querySelector('.state-badge').textContent}`));

test('aLinkThatCannotManageIsRefusedInWords', { skip }, async () => {
  const rows = [
    { name: 'no token', token: '', words: 'access.missing' },
    { name: 'forged', token: 'eyJhbGciOiJIUzI1NiJ9.eyJzdWIiOiIxIn0.AAAA', words: 'access.invalid' },
    { name: 'events only', token: () => service.token(manager, kChannel, { scope: 'events' }), words: 'access.noScope' },
    { name: 'another channel', token: () => service.token(manager, kChannel + 1), words: 'access.otherChannel' },
    { name: 'a viewer', token: () => service.token(viewer), words: 'access.notManager' },
  ];
  for (const row of rows) {
    const token = typeof row.token === 'function' ? row.token() : row.token;
    const page = await openConsole(browser, service, { token });
    await waitForText(page, '[role="alert"].refusal', zh.t(row.words));
    assert.equal(await page.locator('.vote-list').count(), 0, row.name);
    await page.close();
  }
});

test('theEditorStatesEachBrokenRuleInWordsBeforeSaving', { skip }, async () => {
  const page = await openConsole(browser, service, { token: managerToken });
  const rows = [
    { name: 'an empty option', kind: 'newNormal', act: () => fillNormal(page, '空选项', ['甲', '']), words: zh.t('warn.empty') },
    {
      name: 'more tickets per option than per person',
      kind: 'newNormal',
      act: async () => {
        await fillNormal(page, '票数', ['甲', '乙']);
        await fill(page, [[zh.t('maxOptionTicket'), '3']]);
      },
      words: zh.t('warn.tickets'),
    },
    {
      name: 'an 11th option',
      kind: 'newNormal',
      act: async () => {
        await fillNormal(page, '十一项', Array.from({ length: 10 }, (_, i) => `项${i + 1}`));
        await page.getByRole('button', { name: `+ ${zh.t('addOption')}` }).click();
      },
      words: zh.t('warn.optionsFull'),
      noSave: true,
    },
    { name: 'a team without members', kind: 'newGroup', act: () => fill(page, [[zh.t('voteName'), '对战'], [zh.t('teamName', { team: 'A' }), '红']]), words: zh.t('warn.empty') },
    { name: 'an unknown judge', kind: 'newJudge', act: () => addJudge(page, '4242'), words: zh.t('warn.noUser'), noSave: true },
    { name: 'a title the service refuses', kind: 'newNormal', act: () => fillNormal(page, '这'.repeat(21), ['甲', '乙']), words: zh.t('refusedField', { words: zh.resultWords(7), field: zh.t('field.name') }) },
  ];
  for (const row of rows) {
    await page.getByRole('button', { name: zh.t(row.kind) }).click();
    await row.act();
    if (!row.noSave) await page.getByRole('button', { name: zh.t('save') }).click();
    await waitForText(page, '.editor [role="alert"]', row.words);
    await page.getByRole('button', { name: zh.t('cancel') }).click();
  }
  // Six judges: the sixth is refused with the desktop's words. The directory names each by its nick
  // (a request without one is the uid in decimal).
  await page.getByRole('button', { name: zh.t('newJudge') }).click();
  for (const judge of judges) await addJudge(page, String(judge.imid));
  await waitForTexts(page, '.judge-name', judges.slice(0, 5).map((j) => zh.t('judgeLine', { nick: String(j.uid), imid: j.imid })));
  await waitForText(page, '.editor [role="alert"]', zh.t('warn.judgesFull'));
  assert.deepEqual(page.errors, []);
  await page.close();
});

// Adds a judge by number and waits for the answer: the judge listed (the box empty again) or words.
async function addJudge(page, imid, c = zh) {
  await fill(page, [[c.t('judgeImid'), imid]]);
  await page.getByRole('button', { name: c.t('addJudge'), exact: true }).click();
  await page.waitForFunction(() => document.querySelector('.judge-lookup input').value === '' || document.querySelector('.editor [role="alert"]').textContent !== '');
}

test('aManagerRunsTheWholeLifecycleFromTheConsole', { skip }, async () => {
  const page = await openConsole(browser, service, { token: managerToken });
  await page.waitForSelector('.vote-list');
  // Create one vote of each kind.
  await page.getByRole('button', { name: zh.t('newNormal') }).click();
  await fillNormal(page, '最佳歌曲', ['甲', '乙', '丙']);
  await fill(page, [[zh.t('maxTicket'), '2']]);
  await page.getByRole('button', { name: zh.t('save') }).click();
  await waitForText(page, '[role="status"].notice', zh.t('saved', { name: '最佳歌曲' }));
  await page.getByRole('button', { name: zh.t('newGroup') }).click();
  await fill(page, [
    [zh.t('voteName'), '红蓝对决'],
    [zh.t('teamName', { team: 'A' }), '红队'],
    [zh.t('member', { team: 'A', n: 1 }), '小红'],
    [zh.t('teamName', { team: 'B' }), '蓝队'],
    [zh.t('member', { team: 'B', n: 1 }), '小蓝'],
  ]);
  await page.getByRole('button', { name: zh.t('save') }).click();
  await waitForText(page, '[role="status"].notice', zh.t('saved', { name: '红蓝对决' }));
  await page.getByRole('button', { name: zh.t('newJudge') }).click();
  await fill(page, [[zh.t('voteName'), '评委打分']]);
  for (const judge of judges.slice(0, 2)) await addJudge(page, String(judge.imid));
  await page.getByRole('button', { name: zh.t('save') }).click();
  await waitForText(page, '[role="status"].notice', zh.t('saved', { name: '评委打分' }));
  const stored = zh.t('state.stored');
  await waitForTexts(page, '.vote-row .vote-name', ['最佳歌曲', '红蓝对决', '评委打分']);
  const listed = (await service.api('GET', `/channels/${kChannel}/votes?sub=${kSub}`, manager)).body.votes;
  assert.deepEqual(listed.map((v) => [v.voteType, Object.keys(v.options).length, Object.keys(v.judges).length]), [[0, 3, 0], [1, 2, 0], [2, 1, 2]]);

  // Edit: the stored vote opens in the editor and its change is listed; it now shows its results
  // only at the end.
  await page.getByRole('button', { name: `${zh.t('edit')} 最佳歌曲` }).click();
  assert.equal(await page.getByLabel(zh.t('option', { n: 3 }), { exact: true }).inputValue(), '丙');
  await fill(page, [[zh.t('voteName'), '最佳新歌']]);
  await page.getByLabel(zh.t('resultsAtEnd')).check();
  await page.getByRole('button', { name: zh.t('save') }).click();
  await waitForValue(page, votesShown, [`最佳新歌 ${stored}`, `红蓝对决 ${stored}`, `评委打分 ${stored}`]);
  const summary = (kind) => zh.t('voteSummary', { kind: zh.kind(kind), seconds: 300 });
  await waitForTexts(page, '.vote-row .vote-summary', [`${summary(0)} · ${zh.t('resultsAtEndShort')}`, summary(1), summary(2)]);

  // Start: the live view shows bars; a viewer's ticket moves them.
  await page.getByRole('button', { name: `${zh.t('start')} 最佳新歌` }).click();
  // Equal counts in the service's rank order, as the desktop window orders them.
  await waitForValue(page, liveCounts, ['乙 0', '甲 0', '丙 0'], 8000);
  await waitForValue(page, votesShown, [`最佳新歌 ${zh.t('state.running')}`, `红蓝对决 ${stored}`, `评委打分 ${stored}`]);
  await waitForText(page, '.live [role="status"].visually-hidden', `最佳新歌 ${zh.t('state.running')}`);
  const viewerPage = await openPage(browser, service.link('vote', viewer), { width: 390, height: 800 });
  await viewerPage.getByRole('button', { name: '给「乙」投一票' }).click();
  await waitForValue(page, liveCounts, ['乙 1', '甲 0', '丙 0'], 8000);
  // The manager sees the count; the viewer's page and the service's answer to a viewer hold it back.
  await waitForText(viewerPage, '.results-note', '结果将在投票结束后公布');
  const votePath = `/channels/${kChannel}/subchannels/${kSub}/vote`;
  assert.deepEqual((await service.api('GET', votePath, viewer)).body.vote.optionTickets, { 0: 0, 1: 0, 2: 0 });
  assert.equal((await service.api('GET', votePath, manager)).body.vote.optionTickets[1], 1);
  const barWidth = await page.$eval('.live-row[data-option-id="1"] .bar-fill', (bar) => bar.getBoundingClientRect().width);
  assert.ok(barWidth > 0, 'the leader has a bar');
  await viewerPage.close();

  // A second start while one is open is refused in words.
  await page.getByRole('button', { name: `${zh.t('start')} 红蓝对决` }).click();
  await waitForText(page, '[role="alert"].notice', zh.resultWords(4));

  // Stop, then close: the history lists the ended vote with its chart, and its CSV downloads.
  await page.locator('.live-actions').getByRole('button', { name: zh.t('stop') }).click();
  await waitForText(page, '.live-status', zh.t('liveEnded'));
  await waitForValue(page, votesShown, [`最佳新歌 ${zh.t('state.ended')}`, `红蓝对决 ${stored}`, `评委打分 ${stored}`]);
  await waitForTexts(page, '.history-name', ['最佳新歌']);
  assert.equal(await page.locator('.history-chart .chart-bar').count(), 3);
  const chartName = `${zh.t('chartLabel', { name: '最佳新歌' })}: 甲 0, 乙 1, 丙 0`;
  assert.equal(await page.getByRole('img', { name: chartName, exact: true }).count(), 1);
  // A console in another zone shows the start there, from the record's Unix second.
  const [record] = (await service.api('GET', `/channels/${kChannel}/history?sub=${kSub}`, manager)).body.history;
  const nepal = await openConsole(browser, service, { token: managerToken, timezoneId: 'Asia/Kathmandu' });
  const inNepal = await shownDateTime(nepal, record.startedAt);
  assert.notEqual(inNepal, await shownDateTime(page, record.startedAt), 'the zones differ');
  await waitForText(nepal, '.history-meta', zh.t('historyMeta', { kind: zh.kind(0), time: inNepal, admin: record.adminNick }));
  await nepal.close();
  await page.locator('.live-actions').getByRole('button', { name: zh.t('close') }).click();
  await waitForText(page, '.live-body .empty', zh.t('liveNone'));
  const [download] = await Promise.all([page.waitForEvent('download'), page.getByRole('button', { name: zh.t('downloadCsv') }).click()]);
  const csv = readFileSync(await download.path(), 'utf8');
  assert.match(csv, /最佳新歌/);
  assert.equal(csv.trim().split('\r\n').length, 4, 'a header and a row per option');

  // A vote started elsewhere (here: the API) is followed too: its state in the list, its teams live.
  const groupVote = listed.find((vote) => vote.voteType === 1);
  const elsewhere = await service.api('POST', `/channels/${kChannel}/votes/${groupVote.voteId}/start?sub=${kSub}`, manager);
  await waitForValue(page, votesShown, [`最佳新歌 ${stored}`, `红蓝对决 ${zh.t('state.running')}`, `评委打分 ${stored}`]);
  await waitForValue(page, liveCounts, ['红队 0', '蓝队 0']);
  await service.api('POST', `/channels/${kChannel}/votes/${groupVote.voteId}/close?sub=${kSub}&jiFangId=${elsewhere.body.jiFangId}`, manager);
  await waitForText(page, '.live-body .empty', zh.t('liveNone'));

  // Another sub-channel has its own (empty) list; back in the first, the votes are there again.
  await fill(page, [[zh.t('subChannel'), '2']]);
  await page.getByRole('button', { name: zh.t('switchSub') }).click();
  await waitForText(page, '.vote-list .empty', zh.t('votesEmpty'));
  await fill(page, [[zh.t('subChannel'), String(kSub)]]);
  await page.getByRole('button', { name: zh.t('switchSub') }).click();
  await waitForTexts(page, '.vote-row .vote-name', ['最佳新歌', '红蓝对决', '评委打分']);

  // Delete one, then the other two at once.
  await page.getByRole('button', { name: `${zh.t('delete')} 评委打分` }).click();
  await waitForText(page, '[role="status"].notice', zh.t('deleted', { n: 1 }));
  await page.getByLabel(zh.t('selectAll')).check();
  await page.getByRole('button', { name: zh.t('deleteSelected', { n: 2 }) }).click();
  await waitForText(page, '[role="status"].notice', zh.t('deleted', { n: 2 }));
  await waitForText(page, '.vote-list .empty', zh.t('votesEmpty'));

  // The token stayed out of the address bar and of every address the page asked for.
  assert.ok(!page.url().includes('token'), page.url());
  assert.deepEqual(page.asked.filter((url) => url.includes(managerToken) || url.includes('token=')), []);
  assert.ok(page.asked.some((url) => url.includes('ticket=')), 'the events stream opened with a ticket');
  assert.deepEqual(page.errors, []);
  await page.close();
});

// A start time a few seconds ahead picked in the console: the list says when, the vote starts then
// by itself; the overlay link holds a watch-only token of the manager, which watches and manages
// nothing.
test('aManagerSchedulesAStartAndHandsOnAWatchOnlyOverlayLink', { skip }, async () => {
  const votes = `/channels/${kChannel}/votes?sub=${kSub}`;
  const created = await service.api('POST', votes, manager, { body: { name: '定时投票', limitTime: 60, voteType: 0, limits: { 0: 1, 1: 1 }, options: { 0: '甲', 1: '乙' } } });
  assert.equal(created.status, 201);
  const page = await openConsole(browser, service, { token: managerToken });
  await waitForValue(page, votesShown, [`定时投票 ${zh.t('state.stored')}`]);

  await page.getByRole('button', { name: `${zh.t('startAt')} 定时投票` }).click();
  const at = Math.floor(Date.now() / 1000) + 4;
  await page.getByLabel(zh.t('startTime')).fill(await localTimeTyped(page, at));
  await page.getByRole('button', { name: zh.t('scheduleSave'), exact: true }).click();
  const time = await shownDateTime(page, at);
  await waitForText(page, '[role="status"].notice', zh.t('scheduled', { name: '定时投票', time }));
  await waitForValue(page, votesShown, [`定时投票 ${zh.t('state.scheduled')}`]);
  await waitForText(page, '.schedule-words', zh.t('scheduledAt', { time }));
  const listed = (await service.api('GET', votes, manager)).body.votes[0];
  assert.deepEqual(listed.schedule, { at, state: 'pending' });

  // At its second the service starts it: the list and the live view follow the events.
  await waitForValue(page, votesShown, [`定时投票 ${zh.t('state.running')}`], 8000);
  assert.ok(Date.now() / 1000 >= at, 'not before its second');
  await waitForValue(page, liveCounts, ['乙 0', '甲 0'], 8000);
  assert.equal((await service.api('GET', votes, manager)).body.votes[0].schedule, null);

  // A missed start shows as such, and its cancel clears it.
  const second = await service.api('POST', votes, manager, { body: { name: '撞车投票', limitTime: 60, voteType: 0, limits: { 0: 1, 1: 1 }, options: { 0: '丙', 1: '丁' } } });
  await service.api('POST', `/channels/${kChannel}/votes/${second.body.voteId}/start?sub=${kSub}`, manager, { body: { at: Math.floor(Date.now() / 1000) + 2 } });
  await waitForValue(page, votesShown, [`定时投票 ${zh.t('state.running')}`, `撞车投票 ${zh.t('state.missed')}`], 8000);
  await page.getByRole('button', { name: `${zh.t('unschedule')} 撞车投票` }).click();
  await waitForValue(page, votesShown, [`定时投票 ${zh.t('state.running')}`, `撞车投票 ${zh.t('state.stored')}`]);

  await page.getByRole('button', { name: zh.t('copyOverlay') }).click();
  await page.waitForSelector('.overlay-note .address:not([hidden])');
  const address = await page.textContent('.overlay-note .address');
  const match = /\/overlay\/(\d+)\/(\d+)\?uid=1&imid=1&role=255#token=(.+)$/.exec(address);
  assert.ok(match, address);
  assert.deepEqual([Number(match[1]), Number(match[2])], [kChannel, kSub]);
  const token = match[3];
  const claims = JSON.parse(Buffer.from(token.split('.')[1], 'base64url').toString());
  assert.equal(claims.scope, 'events');
  assert.equal(claims.sub_channel, kSub);
  assert.equal((await service.api('GET', `/channels/${kChannel}/subchannels/${kSub}/vote`, manager, { token })).status, 200);
  assert.equal((await service.api('GET', votes, manager, { token })).status, 403, 'it manages nothing');
  const overlay = await openPage(browser, address, { width: 800, height: 450 });
  await waitForText(overlay, '.panel-foot', '共 0 票');
  await overlay.close();
  assert.deepEqual(page.errors, []);
  await page.close();
  const running = (await service.api('GET', `/channels/${kChannel}/subchannels/${kSub}/vote`, manager)).body;
  await service.api('POST', `/channels/${kChannel}/votes/${running.vote.voteId}/close?sub=${kSub}&jiFangId=${running.jiFangId}`, manager);
  for (const id of [created.body.voteId, second.body.voteId]) await service.api('DELETE', `/channels/${kChannel}/votes/${id}?sub=${kSub}`, manager);
});

test('theConsoleFitsAPhoneAndAWideWindowInBothLanguages', { skip }, async () => {
  const rows = [
    { width: 390, locale: 'zh-CN', query: '', c: zh },
    { width: 1280, locale: 'zh-CN', query: '?lang=en', c: en },
    { width: 390, locale: 'en-US', query: '', c: en },
    { width: 1280, locale: 'en-US', query: '?lang=zh-CN', c: zh },
  ];
  for (const row of rows) {
    const page = await openConsole(browser, service, { token: managerToken, query: row.query, locale: row.locale, viewport: { width: row.width, height: 800 } });
    await waitForText(page, 'h1', row.c.t('title'));
    assert.equal(await page.evaluate(() => document.documentElement.lang), row.c.language);
    await page.getByRole('button', { name: row.c.t('newGroup') }).click();
    assert.equal(await overflows(page), false, `${row.width} ${row.c.language}`);
    await page.close();
  }
  // The switch in the masthead changes the language in place and keeps it for the tab.
  const page = await openConsole(browser, service, { token: managerToken });
  await page.getByRole('button', { name: 'English' }).click();
  await waitForText(page, 'h1', en.t('title'));
  await page.reload();
  await waitForText(page, 'h1', en.t('title'));
  await waitForText(page, '#votes-title', en.t('votesTitle'));
  await page.close();
});

// A stored vote opens in the editor and saves back as the same record: group members keep their
// team (numbered team A first), judges their order; the draft of a new vote breaks no rule but the
// empty texts.
test('editorDraftsRoundTripEachKind', () => {
  const rows = [
    { name: 'normal, results at the end', vote: { voteId: 3, voteType: 0, name: '歌', limitTime: 60, results: 'end', limits: { 0: 3, 1: 1 }, options: { 0: '甲', 1: '乙', 2: '丙' } } },
    {
      name: 'group',
      vote: { voteId: 4, voteType: 1, name: '对决', limitTime: 90, results: 'live', limits: { 0: 2, 1: 2 }, options: { 0: '红一', 1: '红二', 2: '蓝一' }, optionGroup: { 0: 0, 1: 0, 2: 1 }, groupNames: { 0: '红', 1: '蓝' } },
    },
    {
      name: 'judge',
      vote: {
        voteId: 5, voteType: 2, name: '打分', limitTime: 120, results: 'live', limits: { 0: 5, 1: 5 }, options: { 0: '打分' },
        judges: { 7: { uid: 7, imid: 70, nick: '乙', points: 0, auxMap: {} }, 6: { uid: 6, imid: 60, nick: '甲', points: 0, auxMap: {} } },
        judgeOrder: { 0: 7, 1: 6 },
      },
    },
  ];
  for (const row of rows) {
    const draft = draftOf(row.vote);
    assert.equal(check(draft), null, row.name);
    assert.deepEqual(JSON.parse(JSON.stringify(recordOf(draft))), JSON.parse(JSON.stringify(row.vote)), row.name);
  }
  for (const kind of [0, 1, 2]) assert.equal(check(emptyDraft(kind)), 'warn.empty', `new vote of kind ${kind}`);
});

test('theLanguageIsTheAskedOneElseTheBrowsers', () => {
  const rows = [
    { asked: 'en', browser: ['zh-CN'], language: 'en' },
    { asked: 'zh-CN', browser: ['en-US'], language: 'zh-CN' },
    { asked: 'fr', browser: ['en-GB', 'zh-CN'], language: 'en' },
    { asked: null, browser: ['zh-TW'], language: 'zh-CN' },
    { asked: null, browser: [], language: 'zh-CN' },
    { asked: null, browser: ['de-DE', 'en'], language: 'zh-CN' },
  ];
  for (const row of rows) assert.equal(pickLanguage(row.asked, row.browser), row.language, JSON.stringify(row));
});

// The service's refusals in the console's words: the sign-in's sentence for a token or role
// refusal (a token the service calls bad but whose own expiry has passed reads as expired), the
// result code's sentence with the member at fault, the HTTP status for anything else.
test('refusalsAreWordedFromTheirReasonAndResultCode', () => {
  const past = Math.floor(Date.now() / 1000) - 60;
  const future = past + 3600;
  const link = (hasToken = true, tokenExpiry = future) => ({ hasToken, tokenExpiry });
  const signIn = [
    { status: 200, body: { votes: [] }, link: link(), key: null },
    { status: 401, body: { error: 'token refused: missing' }, link: link(false), key: 'access.missing' },
    { status: 401, body: { error: 'token refused: expired' }, link: link(), key: 'access.expired' },
    { status: 401, body: { error: 'token refused: bad-signature' }, link: link(true, past), key: 'access.expired' },
    { status: 401, body: { error: 'token refused: bad-signature' }, link: link(), key: 'access.invalid' },
    { status: 401, body: { error: 'token refused: wrong-channel' }, link: link(), key: 'access.otherChannel' },
    { status: 403, body: { error: 'token lacks the scope manage', field: 'scope', result: 22 }, link: link(), key: 'access.noScope' },
    { status: 403, body: { error: 'manager role required', field: 'role' }, link: link(), key: 'access.notManager' },
    { status: 403, body: { error: 'channel', field: 'channel' }, link: link(), key: 'access.otherChannel' },
    { status: 0, body: null, link: link(), key: 'access.unreachable' },
  ];
  for (const row of signIn) assert.equal(accessRefusal(row.link, row.status, row.body), row.key, JSON.stringify(row));
  const words = [
    { c: zh, status: 409, body: { error: 'invalid vote record', field: 'name', result: 7 }, words: `${zh.resultWords(7)}（投票主题）` },
    { c: en, status: 409, body: { error: 'invalid vote record', field: 'options', result: 7 }, words: `${en.resultWords(7)} (options)` },
    { c: zh, status: 409, body: { error: 'the vote is open', result: 8 }, words: zh.resultWords(8) },
    { c: zh, status: 403, body: { error: 'token lacks the scope manage', field: 'scope', result: 22 }, words: zh.resultWords(22) },
    { c: en, status: 401, body: { error: 'token refused: expired' }, words: en.t('access.expired') },
    { c: zh, status: 400, body: { error: 'voteIds', field: 'voteIds' }, words: zh.t('failed', { status: 400 }) },
  ];
  for (const row of words) assert.equal(refusalWords(row.c, link(), row), row.words, JSON.stringify(row.body));
});

// Every result code the viewer's words know has English words too.
test('theEnglishCatalogueWordsEveryResultCode', () => {
  for (let code = 0; code < 64; code += 1) {
    const known = zh.resultWords(code) !== resultWords(99999).replace('99999', String(code));
    if (known) assert.doesNotMatch(en.resultWords(code), /\(code \d+\)$/, `code ${code}`);
  }
});
