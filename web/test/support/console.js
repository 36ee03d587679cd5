// The management console on a real service: a page opened with a token in the fragment, watched
// for the addresses it asks for, and the editor filled in as a person would.
import { Catalogue } from '../../assets/manage/catalogue.js';
import { kChannel } from './realservice.js';

export const zh = new Catalogue('zh-CN');
export const en = new Catalogue('en');

export async function openConsole(browser, service, { token, query = '', viewport = { width: 1280, height: 900 }, locale = 'zh-CN', timezoneId }) {
  const page = await browser.newPage({ viewport, locale, timezoneId, acceptDownloads: true });
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

// The date-and-time field's text for a Unix second, as a person types it: the browser's local time,
// to the second (the browser writes a whole minute without its seconds).
export function localTimeTyped(page, unixSeconds) {
  return page.evaluate((unix) => {
    const d = new Date(unix * 1000);
    const two = (n) => String(n).padStart(2, '0');
    const seconds = d.getSeconds() ? `:${two(d.getSeconds())}` : '';
    return `${d.getFullYear()}-${two(d.getMonth() + 1)}-${two(d.getDate())}T${two(d.getHours())}:${two(d.getMinutes())}${seconds}`;
  }, unixSeconds);
}

// A Unix second as the Chinese console writes it, by the browser's own Intl in its zone.
export function shownDateTime(page, unixSeconds) {
  return page.evaluate((unix) => new Intl.DateTimeFormat('zh-CN', { dateStyle: 'medium', timeStyle: 'medium' }).format(new Date(unix * 1000)), unixSeconds);
}

// The live rows as "name count", in the order shown.
export const liveCounts = (page) =>
  page.$$eval('.live-list .live-row', (rows) => rows.map((row) => `${row.querySelector('.option-name').textContent} ${row.querySelector('.live-count').textContent}`));

// Whether the page is wider than its window (a horizontal scroll bar).
export const overflows = (page) => page.evaluate(() => document.documentElement.scrollWidth > document.documentElement.clientWidth);
