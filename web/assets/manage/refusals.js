// What a refused request says, in the console's words: a refused sign-in as one sentence, any
// other refusal as its result code's sentence with the member at fault.

// The words of a refused sign-in, or null when the list answered.
export function accessRefusal(link, status, body) {
  if (status === 200) return null;
  if (status === 0) return 'access.unreachable';
  const reason = /^token refused: ([a-z-]+)$/.exec(body?.error ?? '')?.[1] ?? null;
  if (status === 401) {
    if (!link.hasToken || reason === 'missing') return 'access.missing';
    if (reason === 'expired') return 'access.expired';
    if (reason === 'wrong-channel') return 'access.otherChannel';
    const expiry = link.tokenExpiry;
    return expiry !== null && expiry * 1000 <= Date.now() ? 'access.expired' : 'access.invalid';
  }
  if (status === 403 && body?.field === 'scope') return 'access.noScope';
  if (status === 403 && body?.field === 'role') return 'access.notManager';
  if (status === 403) return 'access.otherChannel';
  if (status === 400) return 'access.invalid';
  return 'access.unreachable';
}

// A refused request in words: the result code's sentence (with the member at fault), the sign-in's
// words for a token refusal, else the HTTP status.
export function refusalWords(c, link, { status, body }) {
  if (Number.isSafeInteger(body?.result)) {
    const words = c.resultWords(body.result);
    const field = body.field ? c.t(`field.${body.field}`) : '';
    return field && field !== `field.${body.field}` ? c.t('refusedField', { words, field }) : words;
  }
  if (status === 401 || status === 403 || status === 0) return c.t(accessRefusal(link, status, body));
  return c.t('failed', { status });
}
