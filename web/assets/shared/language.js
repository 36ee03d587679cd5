// The language of the viewer page and the overlay: one catalogue per language (i18n/), chosen once
// as the page starts. Numbers and dates are formatted by Intl in the user's locale.
import { useNumberLocale } from './format.js';
import en from './i18n/en.js';
import zh from './i18n/zh-CN.js';
import { resultWords } from './resultwords.js';

const kCatalogues = new Map([
  ['zh-CN', zh],
  ['en', en],
]);
export const kDefaultLanguage = 'zh-CN';

// The catalogue a language tag asks for: English for any English, Simplified Chinese for any
// Chinese (the nearest the pages have), null for every other language.
function catalogueFor(tag) {
  const lower = typeof tag === 'string' ? tag.trim().toLowerCase() : '';
  if (lower === 'en' || lower.startsWith('en-')) return 'en';
  if (lower === 'zh' || lower.startsWith('zh-')) return 'zh-CN';
  return null;
}

function canonical(tag) {
  try {
    return Intl.getCanonicalLocales(tag)[0] ?? null;
  } catch {
    return null;
  }
}

// { language, locale }: the link's ?lang= if the pages have it, else the first browser language
// they have, else Simplified Chinese. The locale (how numbers and dates look) is the link's own tag
// when it names a region (?lang=en-GB), else the browser's first tag of that language, else the
// language itself. Chinese texts keep zh-CN's dates: a zh-TW date beside Simplified words would read
// as a mistake.
export function chooseLanguage(requested, browserLanguages = []) {
  const tags = browserLanguages.filter((tag) => catalogueFor(tag) !== null);
  const language = catalogueFor(requested) ?? catalogueFor(tags[0]) ?? kDefaultLanguage;
  if (language === kDefaultLanguage) return { language, locale: language };
  const asked = catalogueFor(requested) === language && /-/.test(requested) ? canonical(requested) : null;
  const browser = tags.map(canonical).find((tag) => tag !== null && catalogueFor(tag) === language);
  return { language, locale: asked ?? browser ?? language };
}

export class PageWords {
  constructor({ language, locale }) {
    this.texts = kCatalogues.get(language) ?? zh;
    this.language = this.texts.lang;
    this.locale = locale;
    this.plurals = new Intl.PluralRules(locale);
    this.numbers = new Intl.NumberFormat(locale);
    this.oneDecimal = new Intl.NumberFormat(locale, { minimumFractionDigits: 1, maximumFractionDigits: 1 });
  }

  // The text of key with {name} replaced by params.name (numbers in the locale); a text with
  // plural forms takes the one for params.n. A missing key shows as itself.
  t(key, params = {}) {
    let text = this.texts[key];
    if (text && typeof text === 'object') text = text[this.plurals.select(params.n ?? 0)] ?? text.other;
    if (typeof text !== 'string') return key;
    return text.replace(/\{(\w+)\}/g, (whole, name) => {
      const value = params[name];
      if (value === undefined) return whole;
      return typeof value === 'number' ? this.number(value) : String(value);
    });
  }

  number(n) {
    return this.numbers.format(n);
  }

  decimal(n) {
    return this.oneDecimal.format(n);
  }

  kind(kind) {
    return this.texts.kinds[kind] ?? this.texts.kinds[0];
  }

  scoreWord(points) {
    return this.texts.scoreWords[points - 1] ?? '';
  }

  resultWords(code) {
    return resultWords(code, this.language);
  }

  // A history record's start: its Unix second (startedAt) as the locale's date and time in the
  // browser's zone; a record without one (older services) by its clock-time text.
  startTime(startedAt, text) {
    if (!Number.isSafeInteger(startedAt) || startedAt <= 0) return this.dateTime(text);
    return new Intl.DateTimeFormat(this.locale, { dateStyle: 'medium', timeStyle: 'medium' }).format(new Date(startedAt * 1000));
  }

  // The service's "YYYY-MM-DD HH:MM:SS" (in its own zone, which the text does not name) as a date
  // and time of the locale; the clock time stays the service's, since there is no zone to convert
  // from. Any other text is shown as it is.
  dateTime(text) {
    const match = /^(\d{4})-(\d{2})-(\d{2}) (\d{2}):(\d{2}):(\d{2})$/.exec(text);
    if (!match) return text;
    const [year, month, day, hour, minute, second] = match.slice(1).map(Number);
    const when = new Date(Date.UTC(year, month - 1, day, hour, minute, second));
    // Date.UTC carries 45 December into February: such a text is shown as it came.
    const parts = [when.getUTCFullYear(), when.getUTCMonth() + 1, when.getUTCDate(), when.getUTCHours(), when.getUTCMinutes(), when.getUTCSeconds()];
    if (parts.some((part, i) => part !== [year, month, day, hour, minute, second][i])) return text;
    return new Intl.DateTimeFormat(this.locale, { dateStyle: 'medium', timeStyle: 'medium', timeZone: 'UTC' }).format(when);
  }
}

let current = new PageWords({ language: kDefaultLanguage, locale: kDefaultLanguage });

// Sets the page's language for every module that asks for words, and the document's lang.
export function useLanguage(choice) {
  current = new PageWords(choice);
  useNumberLocale(current.locale);
  document.documentElement.lang = current.language;
  return current;
}

export function words() {
  return current;
}

export function t(key, params) {
  return current.t(key, params);
}
