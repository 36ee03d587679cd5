// The management console on a real service: a page opened with a token in the fragment, watched
// for the addresses it asks for, and the editor filled in as a person would.
import { Catalogue } from '../../assets/manage/catalogue.js';
import { kChannel } from './realservice.js';

export const zh = new Catalogue('zh-CN');
export const en = new Catalogue('en');

export async function openConsole(browser, service, { token, query = '', viewport = { width: 1280, height: 900 }, locale = 'zh-CN' }) {
  const page = await browser.newPage({ viewport, locale, acceptDownloads: true });
  page.errors = [];
  page.asked = [];
  page.on('pageerror', (error) => page.errors.push(error.message));
  page.on('request', (request) => page.asked.push(request.url()));
  page.on('websocket', (socket) => page.asked.push(socket.url()));
  page.on('dialog', (dialog) => dialog.accept());
  await page.goto(`${service.origin}/manage/${kChannel}${query}#token=${encodeURIComponent(token)}`);
  return page;
}

// Types each [label, text] into the field the label names (an accessible name).
export async function fill(page, fields) {
  for (const [label, text] of fields) await page.getByLabel(label, { exact: true }).fill(text);
}

// Fills a normal vote's form: its title and options (adding rows as needed).
export async function fillNormal(page, name, options, c = zh) {
  await fill(page, [[c.t('voteName'), name]]);
  for (let n = 3; n <= options.length; n += 1) await page.getByRole('button', { name: `+ ${c.t('addOption')}` }).click();
  await fill(page, options.map((text, i) => [c.t('option', { n: i + 1 }), text]));
}

// The live rows as "name count", in the order shown.
export const liveCounts = (page) =>
  page.$$eval('.live-list .live-row', (rows) => rows.map((row) => `${row.querySelector('.option-name').textContent} ${row.querySelector('.live-count').textContent}`));

// Whether the page is wider than its window (a horizontal scroll bar).
export const overflows = (page) => page.evaluate(() => document.documentElement.scrollWidth > document.documentElement.clientWidth);
