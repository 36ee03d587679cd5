// The overlay page: reads its options and language, checks its link, then follows the sub-channel's event stream.
import { Access, accessWords, checkAccess } from '../shared/access.js';
import { ReconnectingSocket } from '../shared/eventstream.js';
import { chooseLanguage, t, useLanguage } from '../shared/language.js';
import { PageLink } from '../shared/pagelink.js';
import { OverlayView } from './overlayview.js';

const kPositions = ['top-left', 'top-right', 'bottom-left', 'bottom-right'];
const kMinScale = 0.25;
const kMaxScale = 4;

function applyOptions(link, root) {
  root.dataset.theme = link.option('theme') === 'light' ? 'light' : 'dark';
  const position = link.option('position');
  root.dataset.position = kPositions.includes(position) ? position : 'top-right';
  const scale = Number(link.option('scale'));
  if (Number.isFinite(scale) && scale > 0) {
    root.style.setProperty('--scale', String(Math.min(kMaxScale, Math.max(kMinScale, scale))));
  }
}

async function main() {
  const link = new PageLink(window.location);
  // Only the link chooses: a streaming program's browser says nothing useful about its audience.
  useLanguage(chooseLanguage(link.option('lang'), []));
  document.title = t('overlay.title');
  applyOptions(link, document.documentElement);
  const view = new OverlayView(document.getElementById('stage'));
  const first = await checkAccess(link);
  if (first.access !== Access.granted && first.access !== Access.unreachable) {
    view.showNotice(accessWords(first.access));
    return;
  }
  if (first.state) view.apply({ type: 'snapshot', ...first.state });
  const stream = new ReconnectingSocket(() => link.eventsUrl(), {
    onMessage: (message) => view.apply(message),
    mayRetry: async () => {
      const { access } = await checkAccess(link);
      if (access === Access.granted || access === Access.unreachable) return true;
      view.showNotice(accessWords(access));
      return false;
    },
  });
  stream.start();
}

main();
