// The judge vote on the viewer page: one card per judge with the points given, the total, and the
// score picker for the judge who is viewing.
import { element } from '../shared/dom.js';
import { t, words } from '../shared/language.js';

export class JudgeBody {
  constructor(root, actions) {
    this.root = root;
    this.judgeList = element('ul', 'judges');
    this.total = element('p', 'judge-total');
    root.append(this.judgeList, this.total);
    this.actions = actions;
    this.picker = null;
    this.countsTickets = false;
  }

  update(ballot, connected) {
    const state = ballot.state;
    while (this.judgeList.children.length > state.judges.length) this.judgeList.lastChild.remove();
    while (this.judgeList.children.length < state.judges.length) this.judgeList.append(judgeCard());
    let total = 0;
    state.judges.forEach((judge, i) => {
      const points = ballot.pointsOf(judge);
      total += points;
      showJudge(this.judgeList.children[i], judge, points, state.ended, judge.uid === ballot.viewerUid);
    });
    this.total.textContent = t('viewer.judgeTotal', { n: total });
    this.showPicker(ballot, connected);
  }

  showPicker(ballot, connected) {
    const wanted = ballot.canScore();
    if (wanted && !this.picker) {
      this.picker = new ScorePicker((points) => this.actions.onScore(points));
      this.root.append(this.picker.root);
    } else if (!wanted && this.picker) {
      this.picker.root.remove();
      this.picker = null;
    }
    this.picker?.enable(connected);
  }
}

function judgeCard() {
  const card = element('li', 'judge');
  card.append(element('span', 'judge-score num'), element('span', 'judge-word'), element('span', 'judge-nick'));
  return card;
}

function showJudge(card, judge, points, ended, own) {
  const [score, word, nick] = card.children;
  card.dataset.uid = String(judge.uid);
  card.classList.toggle('scored', points > 0);
  card.classList.toggle('own', own);
  score.textContent = points > 0 ? String(points) : '–';
  word.textContent = points > 0 ? words().scoreWord(points) : words().texts[ended ? 'abstained' : 'scoring'];
  nick.textContent = own ? t('viewer.me', { nick: judge.nick }) : judge.nick;
}

class ScorePicker {
  constructor(onScore) {
    this.root = element('form', 'score-picker');
    const fieldset = element('fieldset');
    fieldset.append(element('legend', '', t('viewer.pickScore')));
    const choices = element('div', 'score-choices');
    this.inputs = words().texts.scoreWords.map((word, i) => {
      const label = element('label', 'score-choice');
      const input = element('input');
      input.type = 'radio';
      input.name = 'score';
      input.value = String(i + 1);
      label.append(input, element('span', 'score-number num', words().number(i + 1)), element('span', 'score-word', word));
      label.setAttribute('aria-label', t('viewer.scoreLabel', { n: i + 1, word }));
      choices.append(label);
      return input;
    });
    fieldset.append(choices);
    this.submit = element('button', 'score-submit', t('viewer.score'));
    this.submit.type = 'submit';
    this.hint = element('p', 'score-hint');
    this.hint.setAttribute('role', 'status');
    this.root.append(fieldset, this.submit, this.hint);
    this.root.addEventListener('submit', (event) => {
      event.preventDefault();
      const chosen = this.inputs.find((input) => input.checked);
      if (chosen) onScore(Number(chosen.value));
      else this.hint.textContent = t('viewer.pickScore');
    });
  }

  enable(enabled) {
    this.submit.disabled = !enabled;
    for (const input of this.inputs) input.disabled = !enabled;
  }
}
