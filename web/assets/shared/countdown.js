// A countdown to the service's end of the vote, kept against the clock rather than by counting
// timer ticks, so a throttled background tab still shows the right time when it wakes.
const kTickMs = 250;
const kResyncSeconds = 1;

export class Countdown {
  constructor(onChange, now = () => performance.now()) {
    this.onChange = onChange;
    this.now = now;
    this.deadline = null;
    this.shown = null;
    this.timer = null;
  }

  // The service's remaining time; a local estimate within a second of it is kept so that coalesced
  // broadcasts do not make the display jump back and forth.
  set(remainingSeconds) {
    const estimate = this.remaining();
    if (this.deadline === null || Math.abs(estimate - remainingSeconds) > kResyncSeconds) {
      this.deadline = this.now() + remainingSeconds * 1000;
    }
    if (this.timer === null) this.timer = setInterval(() => this.tick(), kTickMs);
    this.tick();
  }

  stop() {
    clearInterval(this.timer);
    this.timer = null;
    this.deadline = null;
    this.shown = null;
  }

  remaining() {
    return this.deadline === null ? 0 : Math.max(0, Math.ceil((this.deadline - this.now()) / 1000));
  }

  tick() {
    const seconds = this.remaining();
    if (seconds !== this.shown) {
      this.shown = seconds;
      this.onChange(seconds);
    }
    if (seconds === 0) {
      clearInterval(this.timer);
      this.timer = null;
    }
  }
}
