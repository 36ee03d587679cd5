// How the pages write times, shares and counts. Numbers follow the page's locale (set once by
// language.js as the page starts; Simplified Chinese until then).
let numberLocale = 'zh-CN';
let shares = new Intl.NumberFormat(numberLocale, { style: 'percent', maximumFractionDigits: 1 });

export function useNumberLocale(locale) {
  numberLocale = locale;
  shares = new Intl.NumberFormat(locale, { style: 'percent', maximumFractionDigits: 1 });
}

function twoDigits(n) {
  return n < 10 ? `0${n}` : String(n);
}

// "MM:SS"; minutes beyond 99 grow instead of wrapping, a negative time shows 00:00.
export function countdownText(seconds) {
  const rest = Math.max(0, Math.trunc(seconds));
  return `${twoDigits(Math.trunc(rest / 60))}:${twoDigits(rest % 60)}`;
}

// One decimal below 100 %, so that close shares stay distinguishable; 0 % without any tickets.
export function percentText(part, whole) {
  if (whole <= 0) return shares.format(0);
  return shares.format(Math.round((part * 1000) / whole) / 1000);
}

export function numberText(n) {
  return Math.round(n).toLocaleString(numberLocale);
}
