// A number shown in an element that rolls from its old value to a new one instead of jumping.
// Every rolling number of a page advances in one animation frame loop.
import { numberText } from './format.js';

const kFastMs = 600;
const kSlowIntervalMs = 500;
const kOvershoot = 1.25;
const kLongestMs = 1250;
let motion = { durationMs: kFastMs, linear: false };

// How long counts roll and bars move, and how, at the broadcast rate in force. At a fast rate the
// next update comes long before a 0.6 s ease-out ends, so nothing stops. At 2 Hz or less an
// ease-out would slow to a standstill before the next update and then leap ahead: there the motion
// is even and lasts a quarter longer than the interval, so each update takes over a count and a
// bar while they still move.
export function followBroadcastRate(hz) {
  const interval = hz > 0 ? 1000 / hz : 0;
  motion =
    interval >= kSlowIntervalMs
      ? { durationMs: Math.min(kLongestMs, Math.round(interval * kOvershoot)), linear: true }
      : { durationMs: kFastMs, linear: false };
  return motion;
}

// The same motion for the bars' CSS transitions (--follow and --follow-ease of the style sheets).
export function showMotion(element, { durationMs, linear }) {
  element.style.setProperty('--follow', `${durationMs}ms`);
  element.style.setProperty('--follow-ease', linear ? 'linear' : 'var(--ease-out)');
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

  // now is the frame's start, which may precede the set() that began the roll in that frame: the
  // roll then has not begun, rather than running backwards below the count shown.
  advance(now) {
    const t = Math.min(1, Math.max(0, (now - this.startedAt) / motion.durationMs));
    const progress = motion.linear ? t : easeOut(t);
    this.show(t >= 1 ? this.to : this.from + (this.to - this.from) * progress);
    if (t >= 1) rolling.delete(this);
  }

  show(value) {
    this.shown = value;
    this.element.textContent = this.format(value);
  }
}
