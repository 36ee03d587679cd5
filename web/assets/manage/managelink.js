// The console's address: /manage/{ch}, the token in the fragment (taken out of the address bar by
// PageLink), the identity claims beside it in the query. The sub-channel is chosen on the page; it
// starts as ?sub=, the token's own sub_channel claim, or 1.
import { PageLink } from '../shared/pagelink.js';

const kMaxId = 0xffffffff;

export function idOf(text) {
  if (!/^\d{1,10}$/.test(text ?? '')) return null;
  const n = Number(text);
  return n <= kMaxId ? n : null;
}

// The claims of a JWT, read without checking it (the service checks); {} for anything else.
export function claimsOf(token) {
  const parts = token.split('.');
  if (parts.length !== 3) return {};
  try {
    const claims = JSON.parse(atob(parts[1].replace(/-/g, '+').replace(/_/g, '/')));
    return claims !== null && typeof claims === 'object' ? claims : {};
  } catch {
    return {};
  }
}

export class ManageLink extends PageLink {
  constructor(location, storage = window.sessionStorage, history = window.history) {
    super(location, storage, history);
    const claimed = claimsOf(this.token).sub_channel;
    this.sub = idOf(this.params.get('sub')) ?? (Number.isSafeInteger(claimed) ? claimed : 1);
  }

  get placeValid() {
    return this.channel !== null;
  }

  // With keys the token says who asks; without, the query's uid does.
  get hasIdentity() {
    return this.hasToken || this.params.has('uid');
  }

  votesUrl() {
    return this.api('/votes', { sub: this.sub });
  }

  voteUrlOf(voteId) {
    return this.api(`/votes/${voteId}`, { sub: this.sub });
  }

  actionUrl(voteId, action, jiFangId = 0) {
    return this.api(`/votes/${voteId}/${action}`, jiFangId ? { sub: this.sub, jiFangId } : { sub: this.sub });
  }

  batchDeleteUrl() {
    return this.api('/votes:batchDelete', { sub: this.sub });
  }

  userUrl(imid) {
    return this.api(`/users/${imid}`);
  }

  historyUrl(csv = false) {
    return this.api('/history', csv ? { sub: this.sub, format: 'csv' } : { sub: this.sub });
  }

  // One plain request: { status, body } with the JSON body (null without one), status 0 when the
  // service cannot be reached.
  async request(method, url, body) {
    const init = { method };
    if (body !== undefined) {
      init.body = JSON.stringify(body);
      init.headers = { 'Content-Type': 'application/json' };
    }
    try {
      const response = await fetch(url, this.requestInit(init));
      const text = await response.text();
      let json = null;
      try {
        json = text ? JSON.parse(text) : null;
      } catch {
        json = null;
      }
      return { status: response.status, body: json };
    } catch {
      return { status: 0, body: null };
    }
  }
}
