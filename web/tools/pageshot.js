// One screenshot of a page of a running quorix-voted, as headless chromium shows it once SELECTOR
// is on the page and its animations settled. The overlay keeps its transparency.
// Usage: node tools/pageshot.js URL FILE WIDTHxHEIGHT SELECTOR
import { launch, openPage } from '../test/support/browser.js';

const kSettleMs = 1200;
const [url, file, size, selector] = process.argv.slice(2);
const match = /^(\d{2,4})x(\d{2,4})$/.exec(size ?? '');
if (!url || !file || !match || !selector) {
  console.error('usage: node tools/pageshot.js URL FILE WIDTHxHEIGHT SELECTOR');
  process.exit(2);
}

const browser = await launch();
try {
  const page = await openPage(browser, url, { width: Number(match[1]), height: Number(match[2]) });
  await page.waitForSelector(selector, { timeout: 10000 });
  await page.waitForTimeout(kSettleMs);
  await page.screenshot({ path: file, fullPage: true, omitBackground: true });
  if (page.errors.length > 0) {
    console.error(`page errors: ${page.errors.join('; ')}`);
    process.exitCode = 1;
  }
} catch (error) {
  console.error(error.message);
  process.exitCode = 1;
} finally {
  await browser.close();
}
