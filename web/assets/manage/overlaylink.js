// The overlay link of the sub-channel: a button that asks the service for a watch-only (events)
// token of this manager and copies the overlay's address with it; the address is shown as well,
// for a browser that does not let the page copy.
import { element } from '../shared/dom.js';
import { claimsOf } from './managelink.js';

export class OverlayLink {
  constructor(catalogue, link) {
    this.c = catalogue;
    this.link = link;
    this.root = element('section', 'overlay-note panel');
    this.root.setAttribute('aria-labelledby', 'overlay-title');
    const title = element('h2', 'panel-title', catalogue.t('overlayTitle'));
    title.id = 'overlay-title';
    this.hint = element('p', 'note', catalogue.t('overlayHint'));
    this.copy = element('button', 'button primary', catalogue.t('copyOverlay'));
    this.copy.type = 'button';
    this.copy.addEventListener('click', () => this.make());
    this.status = element('p', 'overlay-status');
    this.status.setAttribute('role', 'status');
    this.address = element('code', 'address');
    this.address.hidden = true;
    this.root.append(title, this.hint, this.copy, this.status, this.address);
  }

  // The overlay's address: the identity the page states in its query (the token's, or the
  // console's own when the service checks no tokens), the token in the fragment.
  addressOf(token) {
    const { link } = this;
    const base = `${link.origin}/overlay/${link.channel}/${link.sub}`;
    if (!token) return `${base}?${link.query({})}`;
    const claims = claimsOf(token);
    const query = new URLSearchParams({ uid: String(claims.sub ?? ''), imid: String(claims.imid ?? ''), role: String(claims.role ?? 0) });
    return `${base}?${query}#token=${token}`;
  }

  async make() {
    const { c, link } = this;
    this.copy.disabled = true;
    const answer = await link.request('POST', link.api('/tokens'), { scope: 'events', subChannelId: link.sub });
    this.copy.disabled = false;
    if (answer.status !== 200) return this.cannot(answer);
    const address = this.addressOf(answer.body.token);
    this.address.textContent = address;
    this.address.hidden = false;
    const until = c.dateTime(answer.body.expiresAt);
    try {
      await navigator.clipboard.writeText(address);
      this.status.textContent = c.t('overlayCopied', { time: until });
    } catch {
      this.status.textContent = c.t('overlayShown', { time: until });
    }
  }

  cannot(answer) {
    const { c, link } = this;
    this.status.textContent = answer.status === 503 && answer.body?.error?.includes('signing key') ? c.t('overlayNoMint') : c.t('failed', { status: answer.status });
    this.address.textContent = answer.status === 503 ? `${link.origin}/overlay/${link.channel}/${link.sub}#token=TOKEN` : '';
    this.address.hidden = answer.status !== 503;
  }
}
