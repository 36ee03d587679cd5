// A number shown in an element that rolls from its old value to a new one instead of jumping.
// Every rolling number of a page advances in one animation frame loop.
import { numberText } from './format.js';

const kShortestMs = 600;
const kLongestMs = 1000;
let durationMs = kShortestMs;

// Rolls (and, through the returned duration, the bars' transitions) last one broadcast interval
// of the vote, 0.6 s to 1 s, so that at a low rate a count moves on until the next one arrives
// instead of stopping and jumping.
export function followBroadcastRate(hz) {
  const interval = hz > 0 ? 1000 / hz : kShortestMs;
  durationMs = Math.round(Math.min(kLongestMs, Math.max(kShortestMs, interval)));
  return durationMs;
}
const rolling = new Set();
let frameRequested = false;

function easeOut(t) {
  return 1 - (1 - t) ** 3;
}

function reducedMotion() {
  return window.matchMedia?.('(prefers-reduced-motion: reduce)').matches ?? false;
}

function frame(now) {
  frameRequested = false;
  for (const count of rolling) count.advance(now);
  if (rolling.size > 0) requestFrame();
}

function requestFrame() {
  if (frameRequested) return;
  frameRequested = true;
  requestAnimationFrame(frame);
}

export class AnimatedCount {
  constructor(element, format = numberText) {
    this.element = element;
    this.format = format;
    this.from = 0;
    this.to = null;
    this.shown = 0;
    this.startedAt = 0;
  }

  get value() {
    return this.to ?? 0;
  }

  set(target) {
    if (target === this.to) return;
    const first = this.to === null;
    this.to = target;
    if (first || reducedMotion() || document.hidden) {
      this.show(target);
      rolling.delete(this);
      return;
    }
    this.from = this.shown;
    this.startedAt = performance.now();
    rolling.add(this);
    requestFrame();
  }

  advance(now) {
    const t = Math.min(1, (now - this.startedAt) / durationMs);
    this.show(t >= 1 ? this.to : this.from + (this.to - this.from) * easeOut(t));
    if (t >= 1) rolling.delete(this);
  }

  show(value) {
    this.shown = value;
    this.element.textContent = this.format(value);
  }
}
