// A WebSocket that comes back by itself: after a drop it waits 0.5 s, 1 s, 2 s … (at most 15 s,
// each with a little jitter so that many viewers do not return in step) and opens again. The wait
// starts over once a connection has delivered a message. Messages are JSON objects; anything else
// is dropped. The address is asked for anew before every connection (a WebSocket of the service
// opens with a fresh single-use ticket); when it cannot be had, that counts as a drop.
const kFirstDelayMs = 500;
const kMaxDelayMs = 15000;
const kJitter = 0.2;

export function backoffDelay(attempt, random = Math.random) {
  const plain = Math.min(kMaxDelayMs, kFirstDelayMs * 2 ** Math.min(attempt, 16));
  return Math.round(plain * (1 - kJitter + 2 * kJitter * random()));
}

export class ReconnectingSocket {
  // urlOf() → Promise<string>: the address of the next connection. handlers: onMessage(object),
  // onOpen(), onDown(), and mayRetry() → Promise<boolean>, asked after a connection that never
  // delivered anything (false: give up, the link is refused).
  constructor(urlOf, handlers) {
    this.urlOf = urlOf;
    this.handlers = handlers;
    this.socket = null;
    this.attempt = 0;
    this.retryTimer = null;
    this.stopped = false;
  }

  start() {
    this.stopped = false;
    this.open();
  }

  stop() {
    this.stopped = true;
    clearTimeout(this.retryTimer);
    if (this.socket) this.socket.close(1000);
    this.socket = null;
  }

  send(message) {
    if (!this.socket || this.socket.readyState !== WebSocket.OPEN) return false;
    this.socket.send(JSON.stringify(message));
    return true;
  }

  async open() {
    let url;
    try {
      url = await this.urlOf();
    } catch {
      if (this.stopped) return;
      this.handlers.onDown?.();
      this.retry(false);
      return;
    }
    if (this.stopped) return;
    const socket = new WebSocket(url);
    let delivered = false;
    this.socket = socket;
    socket.onopen = () => this.handlers.onOpen?.();
    socket.onmessage = (event) => {
      if (!delivered) {
        delivered = true;
        this.attempt = 0;
      }
      const message = parse(event.data);
      if (message) this.handlers.onMessage(message);
    };
    socket.onclose = () => {
      if (this.socket !== socket) return;
      this.socket = null;
      this.handlers.onDown?.();
      this.retry(delivered);
    };
  }

  async retry(delivered) {
    if (this.stopped) return;
    if (!delivered && this.handlers.mayRetry && !(await this.handlers.mayRetry())) return;
    if (this.stopped) return;
    const delay = backoffDelay(this.attempt);
    this.attempt += 1;
    this.retryTimer = setTimeout(() => this.open(), delay);
  }
}

function parse(data) {
  if (typeof data !== 'string') return null;
  try {
    const message = JSON.parse(data);
    return message !== null && typeof message === 'object' && !Array.isArray(message) ? message : null;
  } catch {
    return null;
  }
}
