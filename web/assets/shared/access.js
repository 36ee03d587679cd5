import { t } from './language.js';

// Whether the page's link lets it in, asked once with a plain request before any WebSocket: a browser
// never sees why an upgrade was refused, but it does see a 401 or 403 here.
export const Access = Object.freeze({
  granted: 'granted',
  badPlace: 'badPlace',
  missing: 'missing',
  expired: 'expired',
  invalid: 'invalid',
  otherChannel: 'otherChannel',
  noScope: 'noScope',
  unreachable: 'unreachable',
});

// The sentence a refused link gets, in the page's language.
export function accessWords(access) {
  return access in Access && access !== Access.granted && access !== Access.unreachable ? t(`access.${access}`) : '';
}

// body: the refusal's JSON ({error, field}), or null. A 401 says "token refused: WORD".
function refusal(link, status, body) {
  const reason = /^token refused: ([a-z-]+)$/.exec(body?.error ?? '')?.[1] ?? null;
  if (status === 403 && body?.field === 'scope') return Access.noScope;
  if (status === 403 || reason === 'wrong-channel') return Access.otherChannel;
  if (status === 400) return Access.invalid;
  if (!link.hasToken || reason === 'missing') return Access.missing;
  if (reason === 'expired') return Access.expired;
  const expiry = link.tokenExpiry;
  return expiry !== null && expiry * 1000 <= Date.now() ? Access.expired : Access.invalid;
}


// { access, state }: state is the vote state JSON when a vote is shown, null otherwise.
export async function checkAccess(link, fetcher = fetch) {
  if (!link.placeValid) return { access: Access.badPlace, state: null };
  if (!link.hasIdentity) return { access: Access.missing, state: null };
  let response;
  try {
    response = await fetcher(link.voteUrl(), link.requestInit());
  } catch {
    return { access: Access.unreachable, state: null };
  }
  if (response.status === 400 || response.status === 401 || response.status === 403) {
    const body = await response.json().catch(() => null);
    return { access: refusal(link, response.status, body), state: null };
  }
  if (response.status === 200) {
    const state = await response.json().catch(() => null);
    return { access: Access.granted, state };
  }
  return { access: response.status === 404 ? Access.granted : Access.unreachable, state: null };
}
