// Texts the pages show, worded as the desktop vote windows word them.
import { VoteKind } from './votemodel.js';

export const kScoreWords = Object.freeze(['失望', '一般', '还行', '很好', '超赞']);
export const kScoring = '打分中...';
export const kAbstained = '弃权';

const kKindNames = ['普通投票', '对战投票', '评委投票'];

function twoDigits(n) {
  return n < 10 ? `0${n}` : String(n);
}

// "MM:SS"; minutes beyond 99 grow instead of wrapping, a negative time shows 00:00.
export function countdownText(seconds) {
  const rest = Math.max(0, Math.trunc(seconds));
  return `${twoDigits(Math.trunc(rest / 60))}:${twoDigits(rest % 60)}`;
}

export function kindName(kind) {
  return kKindNames[kind] ?? kKindNames[VoteKind.normal];
}

// The group window says the vote stopped; the normal and judge windows that it ended.
export function endedText(kind) {
  return kind === VoteKind.group ? '投票已停止' : '投票已结束';
}

export function countdownSuffix(kind) {
  return kind === VoteKind.judge ? '后结束投票，请评委打分。' : '后停止';
}

export function allowanceText(perOption, remaining) {
  return `每项可投 ${perOption} 票，还剩 ${remaining} 票。`;
}

// One decimal below 100 %, so that close shares stay distinguishable; 0 % without any tickets.
export function percentText(part, whole) {
  if (whole <= 0) return '0%';
  const tenths = Math.round((part * 1000) / whole) / 10;
  return `${Number.isInteger(tenths) ? tenths : tenths.toFixed(1)}%`;
}

export function numberText(n) {
  return Math.round(n).toLocaleString('zh-CN');
}
