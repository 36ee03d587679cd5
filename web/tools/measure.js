// Three figures of the pages in headless chromium on the tests' fake service: the time from a pushed
// vote update to the overlay's next animation frame (100 updates, median and 99th percentile), the
// overlay's frame times while its counts roll at 1 Hz (10 updates a second apart), and the bytes
// each page loads on a first visit. Usage: node tools/measure.js
import { launch, openPage } from '../test/support/browser.js';
import { FakeService, kGoodToken } from '../test/support/fakeservice.js';
import { framesBetween, readFrames, recordFrames } from '../test/support/framesampler.js';
import { normalVote } from '../test/support/votes.js';

const kUpdates = 100;
const kSpacingMs = 50;
const kSlowUpdates = 10;

// Registered before the page's own handler, so the frame it waits for is the first after the
// page has taken the message.
function recordRepaints() {
  const Native = window.WebSocket;
  window.repaintDelays = [];
  window.WebSocket = class extends Native {
    constructor(...args) {
      super(...args);
      this.addEventListener('message', () => {
        const received = performance.now();
        requestAnimationFrame(() => window.repaintDelays.push(performance.now() - received));
      });
    }
  };
}

function percentile(sorted, p) {
  return sorted[Math.min(sorted.length - 1, Math.ceil((p / 100) * sorted.length) - 1)];
}

async function repaintLatency(browser, service) {
  const names = ['甲', '乙', '丙', '丁', '戊'];
  service.push('vote.begin', normalVote({ names, counts: [0, 0, 0, 0, 0] }));
  const page = await browser.newPage({ viewport: { width: 1920, height: 1080 } });
  await page.addInitScript(recordRepaints);
  await page.goto(`${service.origin}/overlay/888/1?uid=1#token=${kGoodToken}`);
  await page.waitForSelector('.panel.shown');
  await page.waitForFunction(() => window.repaintDelays.length >= 1);
  await page.evaluate(() => {
    window.repaintDelays = [];
  });
  for (let i = 1; i <= kUpdates; i += 1) {
    service.push('vote.progress', normalVote({ names, counts: [i, 2 * i, i % 7, 3 * i, 0] }));
    await new Promise((resolve) => setTimeout(resolve, kSpacingMs));
  }
  await page.waitForFunction((n) => window.repaintDelays.length >= n, kUpdates);
  const delays = await page.evaluate(() => window.repaintDelays);
  await page.close();
  return spread(delays);
}

function spread(values) {
  const sorted = [...values].sort((a, b) => a - b);
  const ms = (value) => Math.round(value * 10) / 10;
  return { count: sorted.length, median: ms(percentile(sorted, 50)), p99: ms(percentile(sorted, 99)), max: ms(sorted.at(-1)) };
}

// Frame to frame times from the first 1 Hz update until the last one's roll has ended, and the
// largest step of the leading count in one frame as a share of an update's rise.
async function slowRateFrames(browser, service) {
  const names = ['甲', '乙', '丙', '丁', '戊'];
  const rise = 300;
  const state = (n) => normalVote({ names, counts: [n * rise, 2 * n * 7, n % 7, 3 * n, 0], broadcastHz: 1 });
  service.push('vote.begin', state(0));
  const page = await browser.newPage({ viewport: { width: 1920, height: 1080 } });
  const leader = '.option-row[data-option-id="0"]';
  await page.addInitScript(recordFrames, { count: `${leader} .option-count .num`, bar: `${leader} .bar-fill` });
  await page.goto(`${service.origin}/overlay/888/1?uid=1#token=${kGoodToken}`);
  await page.waitForSelector('.panel.shown');
  await page.waitForTimeout(1500);
  for (let n = 1; n <= kSlowUpdates; n += 1) {
    service.push('vote.progress', state(n));
    await new Promise((resolve) => setTimeout(resolve, 1000));
  }
  await page.waitForTimeout(500);
  const record = await readFrames(page);
  await page.close();
  const arrivals = record.updates.slice(-kSlowUpdates);
  const frames = framesBetween(record, arrivals[0], arrivals.at(-1) + 1250);
  const gaps = frames.slice(1).map((frame, i) => frame.at - frames[i].at);
  const steps = frames.slice(1).map((frame, i) => (frame.count - frames[i].count) / rise);
  return { ...spread(gaps), largestStepOfRise: Math.round(Math.max(...steps) * 1000) / 1000 };
}

async function pageWeight(browser, url) {
  const page = await openPage(browser, url);
  await page.waitForLoadState('networkidle');
  const weight = await page.evaluate(() => {
    const entries = [...performance.getEntriesByType('navigation'), ...performance.getEntriesByType('resource')].filter(
      (entry) => !entry.name.includes('/api/'),
    );
    return {
      files: entries.length,
      transfer: entries.reduce((sum, entry) => sum + entry.transferSize, 0),
      body: entries.reduce((sum, entry) => sum + entry.decodedBodySize, 0),
    };
  });
  await page.close();
  return weight;
}

const service = await new FakeService().start();
const browser = await launch();
try {
  const latency = await repaintLatency(browser, service);
  const slowRate = await slowRateFrames(browser, service);
  const overlay = await pageWeight(browser, `${service.origin}/overlay/888/1?uid=1#token=${kGoodToken}`);
  const viewer = await pageWeight(browser, `${service.origin}/vote/888/1?uid=9#token=${kGoodToken}`);
  console.log(JSON.stringify({ chromium: browser.version(), latency, slowRate, overlay, viewer }, null, 2));
} finally {
  await browser.close();
  await service.stop();
}
