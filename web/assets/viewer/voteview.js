// The running (or ended) vote on the viewer page, with a button per option or team member, or the
// score picker for a judge. Elements are built once per vote and updated in place, so a button that
// has the keyboard focus keeps it while counts change.
import { AnimatedCount } from '../shared/animatedcount.js';
import { Countdown } from '../shared/countdown.js';
import { element } from '../shared/dom.js';
import {
  allowanceText,
  countdownSuffix,
  countdownText,
  endedText,
  kAbstained,
  kScoreWords,
  kScoring,
  kindName,
  percentText,
} from '../shared/format.js';
import { VoteKind, rankOptions, teamsOf } from '../shared/votemodel.js';

const kTeamFallback = ['A队', 'B队'];
// The countdown turns red only for the last half minute; earlier red would read as an alarm.
const kClosingSeconds = 30;

export class VoteView {
  constructor(root, actions) {
    this.root = root;
    this.actions = actions;
    this.card = null;
  }

  render(ballot, connected) {
    const state = ballot.state;
    if (!state) {
      this.showEmpty();
      return;
    }
    if (!this.card || this.card.voteId !== state.voteId || this.card.kind !== state.kind) {
      this.card?.countdown.stop();
      this.card = new VoteCard(state, this.actions);
      this.root.replaceChildren(this.card.root);
    }
    this.card.update(ballot, connected);
  }

  showEmpty() {
    this.card?.countdown.stop();
    this.card = null;
    const empty = element('div', 'empty');
    empty.append(element('p', 'empty-title', '当前没有进行中的投票'), element('p', 'empty-hint', '投票开始后会自动显示在这里。'));
    this.root.replaceChildren(empty);
  }
}

class VoteCard {
  constructor(state, actions) {
    this.voteId = state.voteId;
    this.kind = state.kind;
    this.actions = actions;
    this.root = element('article', `vote-card kind-${['normal', 'group', 'judge'][state.kind]}`);
    this.root.setAttribute('aria-labelledby', 'vote-title');
    const head = element('header', 'vote-head');
    this.title = element('h2', 'vote-title');
    this.title.id = 'vote-title';
    this.clock = element('p', 'vote-clock');
    this.time = element('span', 'clock-time num');
    this.clockWords = element('span', 'clock-words');
    this.clock.append(this.time, this.clockWords);
    head.append(element('span', 'kind-chip', kindName(state.kind)), this.title, this.clock);
    this.allowance = element('p', 'allowance');
    this.body = element('div', 'vote-body');
    this.root.append(head, this.allowance, this.body);
    this.countdown = new Countdown((seconds) => {
      this.time.textContent = countdownText(seconds);
      this.clock.classList.toggle('closing', seconds <= kClosingSeconds);
    });
    this.rows = new Map();
    this.picker = null;
  }

  update(ballot, connected) {
    const state = ballot.state;
    this.title.textContent = state.name;
    this.root.classList.toggle('ended', state.ended);
    this.showClock(state);
    const tickets = state.kind !== VoteKind.judge && !state.ended;
    this.allowance.hidden = !tickets;
    if (tickets) this.allowance.textContent = allowanceText(state.perOption, Math.max(0, ballot.remaining));
    if (state.kind === VoteKind.normal) this.showNormal(ballot, connected);
    else if (state.kind === VoteKind.group) this.showGroup(ballot, connected);
    else this.showJudges(ballot, connected);
  }

  showClock(state) {
    if (state.ended) {
      this.countdown.stop();
      this.time.textContent = '';
      this.clockWords.textContent = endedText(state.kind);
      return;
    }
    this.clock.hidden = state.remainingSeconds === 0 && this.countdown.deadline === null;
    this.clockWords.textContent = countdownSuffix(state.kind);
    if (state.remainingSeconds > 0) this.countdown.set(state.remainingSeconds);
  }

  showNormal(ballot, connected) {
    if (!this.list) {
      this.list = element('ol', 'options');
      this.body.append(this.list);
    }
    const options = ballot.state.options.map((option) => ({ ...option, count: ballot.countOf(option) }));
    const total = options.reduce((sum, option) => sum + option.count, 0);
    const ranks = new Map(rankOptions(options).map((option, rank) => [option.id, rank]));
    for (const option of options) {
      const row = this.rowOf(option.id, this.list, OptionRow);
      row.show(option, ranks.get(option.id), total, ballot.canVote(option.id) && connected, ballot);
    }
  }

  showGroup(ballot, connected) {
    if (!this.teams) {
      this.teams = [0, 1].map((team) => new TeamSection(team));
      this.shares = [element('span', 'share-a'), element('span', 'share-b')];
      const tug = element('div', 'shares');
      tug.setAttribute('aria-hidden', 'true');
      tug.append(...this.shares);
      const columns = element('div', 'teams');
      columns.append(...this.teams.map((section) => section.root));
      this.body.append(tug, columns);
    }
    const counted = { ...ballot.state, options: ballot.state.options.map((o) => ({ ...o, count: ballot.countOf(o) })) };
    const teams = teamsOf(counted);
    const sum = teams[0].total + teams[1].total;
    teams.forEach((team, i) => {
      this.shares[i].style.flexGrow = String(sum > 0 ? team.total / sum : 0.5);
    });
    for (const team of teams) {
      const section = this.teams[team.team];
      section.show(team);
      for (const member of team.members) {
        const row = this.rowOf(member.id, section.list, MemberRow);
        row.show(member, ballot.canVote(member.id) && connected, ballot);
      }
    }
  }

  showJudges(ballot, connected) {
    if (!this.judgeList) {
      this.judgeList = element('ul', 'judges');
      this.total = element('p', 'judge-total');
      this.body.append(this.judgeList, this.total);
    }
    const state = ballot.state;
    while (this.judgeList.children.length > state.judges.length) this.judgeList.lastChild.remove();
    while (this.judgeList.children.length < state.judges.length) this.judgeList.append(judgeCard());
    let total = 0;
    state.judges.forEach((judge, i) => {
      const points = ballot.pointsOf(judge);
      total += points;
      showJudge(this.judgeList.children[i], judge, points, state.ended, judge.uid === ballot.viewerUid);
    });
    this.total.textContent = `总分：${total}`;
    this.showPicker(ballot, connected);
  }

  showPicker(ballot, connected) {
    const wanted = ballot.canScore();
    if (wanted && !this.picker) {
      this.picker = new ScorePicker((points) => this.actions.onScore(points));
      this.body.append(this.picker.root);
    } else if (!wanted && this.picker) {
      this.picker.root.remove();
      this.picker = null;
    }
    this.picker?.enable(connected);
  }

  rowOf(id, list, RowClass) {
    if (!this.rows.has(id)) {
      const row = new RowClass((optionId) => this.actions.onVote(optionId));
      this.rows.set(id, row);
      list.append(row.root);
    }
    return this.rows.get(id);
  }
}

function voteButton(onVote) {
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

function showButton(button, id, name, enabled, ballot) {
  button.dataset.optionId = String(id);
  button.disabled = !enabled;
  const words = buttonWords(ballot, id);
  button.textContent = words;
  button.setAttribute('aria-label', words === '投票' ? `给「${name}」投一票` : `给「${name}」投一票（${words}）`);
}

class OptionRow {
  constructor(onVote) {
    this.root = element('li', 'option');
    this.badge = element('span', 'rank num');
    this.name = element('span', 'option-name');
    const figures = element('span', 'figures');
    const countValue = element('span', 'count num');
    this.share = element('span', 'share num');
    figures.append(countValue, element('span', 'unit', '票'), this.share);
    const track = element('span', 'bar');
    this.fill = element('span', 'bar-fill');
    track.append(this.fill);
    this.button = voteButton(onVote);
    this.root.append(this.badge, this.name, figures, this.button, track);
    this.count = new AnimatedCount(countValue);
  }

  show(option, rank, total, enabled, ballot) {
    this.root.dataset.optionId = String(option.id);
    this.root.dataset.rank = String(rank + 1);
    this.badge.textContent = String(rank + 1);
    this.badge.className = `rank num ${option.count > 0 && rank < 3 ? `rank-${rank + 1}` : ''}`;
    this.name.textContent = option.name;
    this.count.set(option.count);
    this.share.textContent = percentText(option.count, total);
    this.fill.style.transform = `scaleX(${total > 0 ? option.count / total : 0})`;
    showButton(this.button, option.id, option.name, enabled, ballot);
  }
}

class TeamSection {
  constructor(team) {
    this.team = team;
    this.root = element('section', `team team-${team === 0 ? 'a' : 'b'}`);
    const head = element('h3', 'team-head');
    this.name = element('span', 'team-name');
    const total = element('span', 'team-total num');
    head.append(this.name, total);
    this.list = element('ul', 'members');
    this.root.append(head, this.list);
    this.total = new AnimatedCount(total);
  }

  show(team) {
    this.name.textContent = team.name || kTeamFallback[this.team];
    this.total.set(team.total);
  }
}

class MemberRow {
  constructor(onVote) {
    this.root = element('li', 'member');
    this.name = element('span', 'member-name');
    const countValue = element('span', 'count num');
    this.button = voteButton(onVote);
    this.root.append(this.name, countValue, this.button);
    this.count = new AnimatedCount(countValue);
  }

  show(member, enabled, ballot) {
    this.root.dataset.optionId = String(member.id);
    this.name.textContent = member.name;
    this.count.set(member.count);
    showButton(this.button, member.id, member.name, enabled, ballot);
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
  word.textContent = points > 0 ? kScoreWords[points - 1] : ended ? kAbstained : kScoring;
  nick.textContent = own ? `${judge.nick}（我）` : judge.nick;
}

class ScorePicker {
  constructor(onScore) {
    this.root = element('form', 'score-picker');
    const fieldset = element('fieldset');
    fieldset.append(element('legend', '', '请选择要打的分数'));
    const choices = element('div', 'score-choices');
    this.inputs = kScoreWords.map((word, i) => {
      const label = element('label', 'score-choice');
      const input = element('input');
      input.type = 'radio';
      input.name = 'score';
      input.value = String(i + 1);
      label.append(input, element('span', 'score-number num', String(i + 1)), element('span', 'score-word', word));
      label.setAttribute('aria-label', `${i + 1} 分，${word}`);
      choices.append(label);
      return input;
    });
    fieldset.append(choices);
    this.submit = element('button', 'score-submit', '打分');
    this.submit.type = 'submit';
    this.hint = element('p', 'score-hint');
    this.hint.setAttribute('role', 'status');
    this.root.append(fieldset, this.submit, this.hint);
    this.root.addEventListener('submit', (event) => {
      event.preventDefault();
      const chosen = this.inputs.find((input) => input.checked);
      if (chosen) onScore(Number(chosen.value));
      else this.hint.textContent = '请选择要打的分数';
    });
  }

  enable(enabled) {
    this.submit.disabled = !enabled;
    for (const input of this.inputs) input.disabled = !enabled;
  }
}
