// The link's token travels in the fragment (#token=…), which the browser sends with no request and
// in no Referer. The page takes it from there, removes it from the address bar at once, and keeps it
// in the tab's sessionStorage (under the page's address), so a reload or a reconnect still has it.
const kKeyPrefix = 'quorix.token ';

export function takeToken(location, storage, history) {
  const key = kKeyPrefix + location.pathname + location.search;
  const fragment = new URLSearchParams(location.hash.replace(/^#/, ''));
  const fromLink = fragment.get('token');
  if (fromLink === null) {
    try {
      return storage.getItem(key) ?? '';
    } catch {
      return '';
    }
  }
  fragment.delete('token');
  const rest = fragment.toString();
  history.replaceState(history.state, '', `${location.pathname}${location.search}${rest ? `#${rest}` : ''}`);
  try {
    storage.setItem(key, fromLink);
  } catch {
    // Storage refused (private mode, quota): the token lives as long as the page.
  }
  return fromLink;
}

// Unix seconds the token says it expires at (a JSON Web Token's `exp`, or the number before the dot
// of an old "EXPIRY.HEX" one), or null when it does not say.
export function tokenExpiry(token) {
  const legacy = /^(\d{1,12})\./.exec(token);
  if (legacy) return Number(legacy[1]);
  const parts = token.split('.');
  if (parts.length !== 3) return null;
  try {
    const claims = JSON.parse(atob(parts[1].replace(/-/g, '+').replace(/_/g, '/')));
    return Number.isFinite(claims?.exp) ? claims.exp : null;
  } catch {
    return null;
  }
}
