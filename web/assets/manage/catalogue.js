// The console's language: one catalogue per language, picked by ?lang= or else the browser's first
// language (English for any "en…", Simplified Chinese otherwise). Numbers and dates go through Intl
// in the user's locale and time zone.
import en from './i18n/en.js';
import zh from './i18n/zh-CN.js';

const kCatalogues = new Map([
  ['zh-CN', zh],
  ['en', en],
]);

export function pickLanguage(requested, browserLanguages = []) {
  if (requested && kCatalogues.has(requested)) return requested;
  const first = (browserLanguages[0] ?? '').toLowerCase();
  return first.startsWith('en') ? 'en' : 'zh-CN';
}

export class Catalogue {
  constructor(language) {
    this.texts = kCatalogues.get(language) ?? zh;
    this.language = this.texts.lang;
    this.numbers = new Intl.NumberFormat(this.texts.locale);
    this.dateTimes = new Intl.DateTimeFormat(this.texts.locale, { dateStyle: 'medium', timeStyle: 'medium' });
  }

  // A Unix second as the user's date and time.
  dateTime(unixSeconds) {
    return this.dateTimes.format(new Date(unixSeconds * 1000));
  }

  // A history record's start in the user's zone; by the service's clock-time text when the record
  // has no Unix second (older services).
  startTime(record) {
    const seconds = record.startedAt;
    return Number.isSafeInteger(seconds) && seconds > 0 ? this.dateTime(seconds) : String(record.timeText ?? '');
  }

  // The text of key with {name} replaced by params.name; a missing key shows as itself.
  t(key, params = {}) {
    const text = this.texts[key];
    if (typeof text !== 'string') return key;
    return text.replace(/\{(\w+)\}/g, (whole, name) => (name in params ? String(params[name]) : whole));
  }

  number(n) {
    return this.numbers.format(n);
  }

  kind(kind) {
    return this.texts.kinds[kind] ?? this.texts.kinds[0];
  }

  resultWords(code) {
    return this.texts.resultWords(code);
  }

  // The other language's code and name, for the switch in the masthead.
  other() {
    return this.language === 'en' ? { code: 'zh-CN', name: this.texts.otherLanguage } : { code: 'en', name: this.texts.otherLanguage };
  }
}
