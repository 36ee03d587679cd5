// What a page's address says: the channel and sub-channel of /overlay/{ch}/{sub} or /vote/{ch}/{sub},
// the identity the service checks (the token of the fragment and the claims beside it in the query),
// and the page's own options. No URL the page asks for carries the token: plain requests send it as
// `Authorization: Bearer`, and a WebSocket opens with a ticket bought with it just before.
import { takeToken, tokenExpiry } from './linktoken.js';

const kIdentityParams = ['uid', 'imid', 'role', 'channel', 'nick'];
const kMaxId = 0xffffffff;

function idOf(part) {
  if (!/^\d{1,10}$/.test(part ?? '')) return null;
  const n = Number(part);
  return n <= kMaxId ? n : null;
}

export class PageLink {
  constructor(location, storage = window.sessionStorage, history = window.history) {
    const parts = location.pathname.split('/').filter(Boolean);
    this.channel = idOf(parts[1]);
    this.sub = idOf(parts[2]);
    this.params = new URLSearchParams(location.search);
    this.token = takeToken(location, storage, history);
    this.origin = location.origin;
    this.socketOrigin = location.origin.replace(/^http/, 'ws');
  }

  get placeValid() {
    return this.channel !== null && this.sub !== null;
  }

  // The service needs the uid always, and with keys a token whose claims it agrees with.
  get hasIdentity() {
    return this.params.has('uid');
  }

  get hasToken() {
    return this.token !== '';
  }

  get viewerUid() {
    return idOf(this.params.get('uid')) ?? 0;
  }

  // Unix seconds the token says it expires at, or null when it does not say.
  get tokenExpiry() {
    return tokenExpiry(this.token);
  }

  option(name) {
    return this.params.get(name);
  }

  query(extra) {
    const query = new URLSearchParams();
    for (const name of kIdentityParams) {
      if (this.params.has(name)) query.set(name, this.params.get(name));
    }
    for (const [name, value] of Object.entries(extra)) query.set(name, String(value));
    return query.toString();
  }

  // The fetch options of a plain API request: the token in the header, never in the address.
  requestInit(init = {}) {
    const headers = this.hasToken ? { Authorization: `Bearer ${this.token}` } : {};
    return { cache: 'no-store', ...init, headers: { ...headers, ...init.headers } };
  }

  api(path, extra = {}) {
    return `${this.origin}/api/v1/channels/${this.channel}${path}?${this.query(extra)}`;
  }

  // A fresh single-use ticket for one WebSocket; throws when the service sells none.
  async ticket(fetcher = fetch) {
    const response = await fetcher(`${this.origin}/api/v1/tickets`, this.requestInit({ method: 'POST' }));
    if (response.status !== 200) throw new Error(`no ticket: ${response.status}`);
    const { ticket } = await response.json();
    if (typeof ticket !== 'string' || ticket === '') throw new Error('no ticket in the answer');
    return ticket;
  }

  // The WebSocket's address, with a new ticket when the link has a token (none is needed without).
  async socket(path, extra = {}) {
    const url = `${this.socketOrigin}/api/v1${path}?${this.query(extra)}`;
    return this.hasToken ? `${url}&ticket=${encodeURIComponent(await this.ticket())}` : url;
  }

  voteUrl() {
    return this.api(`/subchannels/${this.sub}/vote`);
  }

  historyUrl() {
    return this.api('/history', { sub: this.sub });
  }

  eventsUrl() {
    return this.socket(`/channels/${this.channel}/events`, { sub: this.sub });
  }

  sessionUrl() {
    return this.socket('/session', { channel: this.channel, sub: this.sub });
  }
}
