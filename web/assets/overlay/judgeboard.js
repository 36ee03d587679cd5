// The judge vote on the overlay: one card per judge with the score given (or that the judge is still
// scoring, or abstained once the vote ended) and the total.
import { AnimatedCount } from '../shared/animatedcount.js';
import { element } from '../shared/dom.js';
import { t, words } from '../shared/language.js';
import { judgeTotal } from '../shared/votemodel.js';

export class JudgeBoard {
  constructor() {
    this.root = element('div', 'board judge-board');
    this.cards = element('ul', 'judge-cards');
    const total = element('div', 'judge-total');
    const value = element('span', 'judge-total-value num');
    total.append(element('span', 'judge-total-label', t('overlay.total')), value);
    this.root.append(this.cards, total);
    this.total = new AnimatedCount(value);
  }

  update(state) {
    while (this.cards.children.length > state.judges.length) this.cards.lastChild.remove();
    while (this.cards.children.length < state.judges.length) this.cards.append(judgeCard());
    state.judges.forEach((judge, i) => showJudge(this.cards.children[i], judge, state.ended));
    this.total.set(judgeTotal(state.judges));
  }
}

function judgeCard() {
  const card = element('li', 'judge-card');
  card.append(element('span', 'judge-medal num'), element('span', 'judge-word'), element('span', 'judge-nick'));
  return card;
}

function showJudge(card, judge, ended) {
  const [medal, word, nick] = card.children;
  const scored = judge.points > 0;
  card.dataset.uid = String(judge.uid);
  card.classList.toggle('scored', scored);
  card.classList.toggle('abstained', !scored && ended);
  medal.textContent = scored ? String(judge.points) : ended ? '—' : '';
  word.textContent = scored ? words().scoreWord(judge.points) : words().texts[ended ? 'abstained' : 'scoring'];
  nick.textContent = judge.nick;
}
