// One headless Debian chromium for a test file, and a page on the fake service.
import { chromium } from 'playwright-core';

export const kChromium = '/usr/bin/chromium';

export async function launch() {
  return chromium.launch({ executablePath: kChromium, headless: true });
}

// The browser's languages (navigator.languages and Accept-Language) are Chinese unless a test asks.
export async function openPage(browser, url, viewport = { width: 1280, height: 800 }, { locale = 'zh-CN', timezoneId } = {}) {
  const page = await browser.newPage({ viewport, locale, timezoneId });
  const errors = [];
  page.on('pageerror', (error) => errors.push(error.message));
  await page.goto(url);
  page.errors = errors;
  return page;
}
