// Records, from inside a page, what every animation frame shows and when each vote update
// arrived, for tests and tools that judge how counts and bars move. Installed with
// page.addInitScript(recordFrames, { count, bar }) before the page loads; read with readFrames.
export function recordFrames({ count, bar }) {
  const Native = window.WebSocket;
  const record = { updates: [], frames: [] };
  window.recordedFrames = record;
  window.WebSocket = class extends Native {
    constructor(...args) {
      super(...args);
      this.addEventListener('message', () => record.updates.push(performance.now()));
    }
  };
  const sample = (now) => {
    const shown = document.querySelector(count);
    const fill = document.querySelector(bar);
    if (shown && fill) {
      record.frames.push({ at: now, count: Number(shown.textContent.replace(/\D/g, '')), width: fill.getBoundingClientRect().width });
    }
    requestAnimationFrame(sample);
  };
  requestAnimationFrame(sample);
}

export function readFrames(page) {
  return page.evaluate(() => window.recordedFrames);
}

// The frames from one update's arrival to the next one's (or the end of the record).
export function framesBetween(record, from, to = Infinity) {
  return record.frames.filter((frame) => frame.at >= from && frame.at < to);
}
