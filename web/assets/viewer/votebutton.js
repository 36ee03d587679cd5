// The vote button of an option or team member on the viewer page.
import { element } from '../shared/dom.js';

export function voteButton(onVote) {
  const button = element('button', 'vote-button', '投票');
  button.type = 'button';
  button.addEventListener('click', () => onVote(Number(button.dataset.optionId)));
  return button;
}

// The button says why it cannot be pressed: the vote ended, this viewer's tickets are spent, or
// this option has had all of them it may get.
function buttonWords(ballot, id) {
  if (!ballot.running) return '已结束';
  if (ballot.remaining <= 0) return '已投完';
  return ballot.leftFor(id) > 0 ? '投票' : '已投满';
}

export function showButton(button, id, name, enabled, ballot) {
  button.dataset.optionId = String(id);
  button.disabled = !enabled;
  const words = buttonWords(ballot, id);
  button.textContent = words;
  button.setAttribute('aria-label', words === '投票' ? `给「${name}」投一票` : `给「${name}」投一票（${words}）`);
}
