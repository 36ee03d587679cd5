// The vote button of an option or team member on the viewer page.
import { element } from '../shared/dom.js';
import { t } from '../shared/language.js';

export function voteButton(onVote) {
  const button = element('button', 'vote-button', t('viewer.vote'));
  button.type = 'button';
  button.addEventListener('click', () => onVote(Number(button.dataset.optionId)));
  return button;
}

// The button says why it cannot be pressed: the vote ended, this viewer's tickets are spent, or
// this option has had all of them it may get; null when it can be pressed.
function buttonWords(ballot, id) {
  if (!ballot.running) return t('viewer.voteEnded');
  if (ballot.remaining <= 0) return t('viewer.voteSpent');
  return ballot.leftFor(id) > 0 ? null : t('viewer.voteFull');
}

export function showButton(button, id, name, enabled, ballot) {
  button.dataset.optionId = String(id);
  button.disabled = !enabled;
  const why = buttonWords(ballot, id);
  button.textContent = why ?? t('viewer.vote');
  button.setAttribute('aria-label', why === null ? t('viewer.voteFor', { name }) : t('viewer.voteForWhy', { name, why }));
}
