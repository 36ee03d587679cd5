// What a page's address says: the channel and sub-channel of /overlay/{ch}/{sub} or /vote/{ch}/{sub},
// the identity the service checks (the token and the claims beside it), and the page's own options.
const kIdentityParams = ['token', 'uid', 'imid', 'role', 'channel', 'nick'];
const kMaxId = 0xffffffff;

function idOf(part) {
  if (!/^\d{1,10}$/.test(part ?? '')) return null;
  const n = Number(part);
  return n <= kMaxId ? n : null;
}

export class PageLink {
  constructor(location) {
    const parts = location.pathname.split('/').filter(Boolean);
    this.channel = idOf(parts[1]);
    this.sub = idOf(parts[2]);
    this.params = new URLSearchParams(location.search);
    this.origin = location.origin;
    this.socketOrigin = location.origin.replace(/^http/, 'ws');
  }

  get placeValid() {
    return this.channel !== null && this.sub !== null;
  }

  // The service needs the uid always, and with a secret a token signed for it.
  get hasIdentity() {
    return this.params.has('uid');
  }

  get hasToken() {
    return this.params.has('token');
  }

  get viewerUid() {
    return idOf(this.params.get('uid')) ?? 0;
  }

  // Unix seconds the token says it expires at, or null when it does not say.
  get tokenExpiry() {
    const match = /^(\d{1,12})\./.exec(this.params.get('token') ?? '');
    return match ? Number(match[1]) : null;
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

  api(path, extra = {}) {
    return `${this.origin}/api/v1/channels/${this.channel}${path}?${this.query(extra)}`;
  }

  socket(path, extra = {}) {
    return `${this.socketOrigin}/api/v1${path}?${this.query(extra)}`;
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
