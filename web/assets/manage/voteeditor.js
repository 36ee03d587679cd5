// The editor of one vote of any kind, a form that keeps a draft (editorrules.js) and states the
// first broken rule in words before anything is sent. Judges are looked up by their number through
// the service's user directory, as the desktop editor looks them up.
import { clear, element } from '../shared/dom.js';
import { VoteKind } from '../shared/votemodel.js';
import { check, emptyDraft, kMaxJudges, kMaxRows, kMemberLength, kOptionLength, recordOf } from './editorrules.js';

let nextFieldId = 0;

function field(labelText, input) {
  const id = `field-${(nextFieldId += 1)}`;
  input.id = id;
  const label = element('label', 'field-label', labelText);
  label.htmlFor = id;
  const box = element('div', 'field');
  box.append(label, input);
  return box;
}

function checkbox(labelText, checked, onChange) {
  const input = element('input');
  input.type = 'checkbox';
  input.checked = checked;
  input.id = `field-${(nextFieldId += 1)}`;
  input.addEventListener('change', () => onChange(input.checked));
  const label = element('label', 'field-check', '');
  label.htmlFor = input.id;
  label.append(input, element('span', '', labelText));
  return label;
}

function textInput(value, onInput, { maxLength = 0, numeric = false } = {}) {
  const input = element('input', 'text-input');
  input.type = 'text';
  input.value = value;
  if (maxLength) input.maxLength = maxLength;
  if (numeric) input.inputMode = 'numeric';
  input.addEventListener('input', () => onInput(input.value));
  return input;
}

function button(text, className, onClick, type = 'button') {
  const node = element('button', className, text);
  node.type = type;
  if (onClick) node.addEventListener('click', onClick);
  return node;
}

export class VoteEditor {
  // handlers: save(record) → Promise<string|null> (the refusal in words, null when stored),
  // lookUp(imid) → Promise<{judge}|{words}>, cancel().
  constructor(catalogue, handlers) {
    this.c = catalogue;
    this.handlers = handlers;
    this.root = element('form', 'editor panel');
    this.root.noValidate = true;
    this.root.setAttribute('aria-labelledby', 'editor-title');
    this.root.addEventListener('keydown', (event) => {
      if (event.key === 'Escape') this.handlers.cancel();
    });
    this.root.addEventListener('submit', (event) => {
      event.preventDefault();
      this.submit();
    });
  }

  open(draft = emptyDraft(VoteKind.normal)) {
    this.draft = structuredClone(draft);
    this.render();
    this.root.querySelector('input')?.focus();
  }

  render() {
    const { c, draft } = this;
    clear(this.root);
    const kind = c.kind(draft.kind);
    const title = element('h2', 'panel-title', draft.voteId ? c.t('editorEdit', { name: draft.name }) : c.t('editorNew', { kind }));
    title.id = 'editor-title';
    const basics = element('div', 'field-grid');
    basics.append(
      field(c.t('voteName'), textInput(draft.name, (v) => (draft.name = v))),
      field(c.t('limitTime'), textInput(draft.limitTime, (v) => (draft.limitTime = v), { maxLength: 4, numeric: true })),
    );
    if (draft.kind !== VoteKind.judge) {
      basics.append(
        field(c.t('maxTicket'), textInput(draft.maxTicket, (v) => (draft.maxTicket = v), { numeric: true })),
        field(c.t('maxOptionTicket'), textInput(draft.maxOptionTicket, (v) => (draft.maxOptionTicket = v), { numeric: true })),
      );
    }
    const results = checkbox(c.t('resultsAtEnd'), draft.resultsAtEnd, (on) => (draft.resultsAtEnd = on));
    this.warning = element('p', 'warning');
    this.warning.setAttribute('role', 'alert');
    const actions = element('div', 'editor-actions');
    actions.append(button(c.t('save'), 'button primary', null, 'submit'), button(c.t('cancel'), 'button', () => this.handlers.cancel()));
    this.root.append(title, basics, results, ...this.kindParts(), this.warning, actions);
  }

  kindParts() {
    if (this.draft.kind === VoteKind.normal) return [this.rowList(this.draft.options, 'options', kOptionLength, (n) => this.c.t('option', { n }), (n) => this.c.t('removeOption', { n }), this.c.t('addOption'))];
    if (this.draft.kind === VoteKind.group) {
      const teams = element('div', 'teams');
      this.draft.teams.forEach((team, index) => teams.append(this.teamPart(team, index)));
      return [teams];
    }
    return [this.judgePart()];
  }

  // An editable list of texts (options, a team's members) with add and remove buttons.
  rowList(texts, legendKey, maxLength, labelOf, removeLabelOf, addText, legendText = this.c.t(legendKey)) {
    const set = element('fieldset', 'rows');
    set.append(element('legend', 'rows-legend', legendText));
    const list = element('ol', 'row-list');
    texts.forEach((text, index) => {
      const row = element('li', 'row');
      const input = textInput(text, (v) => (texts[index] = v), { maxLength });
      input.setAttribute('aria-label', labelOf(index + 1));
      row.append(element('span', 'row-number', String(index + 1)), input);
      if (texts.length > 1) {
        const remove = button('×', 'icon-button', () => {
          texts.splice(index, 1);
          this.rerender(set);
        });
        remove.setAttribute('aria-label', removeLabelOf(index + 1));
        row.append(remove);
      }
      list.append(row);
    });
    const add = button(`+ ${addText}`, 'link-button', () => {
      if (texts.length >= kMaxRows) return this.warn(this.c.t('warn.optionsFull'));
      texts.push('');
      this.rerender(set, texts.length - 1);
    });
    set.append(list, add);
    return set;
  }

  // Redraws the form, keeping the focus in the list that changed (on its row `focusRow`).
  rerender(set, focusRow = -1) {
    const sets = [...this.root.querySelectorAll('fieldset.rows')];
    const which = sets.indexOf(set);
    this.render();
    const again = this.root.querySelectorAll('fieldset.rows')[which];
    const inputs = again?.querySelectorAll('input') ?? [];
    (focusRow >= 0 ? inputs[focusRow] : again?.querySelector('button.link-button'))?.focus();
  }

  teamPart(team, index) {
    const name = index === 0 ? this.c.t('teamA') : this.c.t('teamB');
    const box = element('div', `team team-${index}`);
    box.append(
      field(this.c.t('teamName', { team: name }), textInput(team.name, (v) => (team.name = v), { maxLength: kMemberLength })),
      this.rowList(
        team.members,
        'teamMembers',
        kMemberLength,
        (n) => this.c.t('member', { team: name, n }),
        (n) => this.c.t('removeMember', { team: name, n }),
        this.c.t('addMember', { team: name }),
        this.c.t('teamMembers', { team: name }),
      ),
    );
    return box;
  }

  judgePart() {
    const { c, draft } = this;
    const set = element('fieldset', 'judges');
    set.append(element('legend', 'rows-legend', c.t('judges')));
    const lookUp = element('div', 'judge-lookup');
    const number = textInput('', () => {}, { maxLength: 10, numeric: true });
    const add = button(c.t('addJudge'), 'button', () => this.addJudge(number));
    number.addEventListener('keydown', (event) => {
      if (event.key !== 'Enter') return;
      event.preventDefault();
      this.addJudge(number);
    });
    lookUp.append(field(c.t('judgeImid'), number), add);
    const list = element('ol', 'judge-list');
    if (draft.judges.length === 0) list.append(element('li', 'judge-empty', c.t('judgesEmpty')));
    draft.judges.forEach((judge, index) => {
      const row = element('li', 'judge');
      row.append(element('span', 'row-number', String(index + 1)), element('span', 'judge-name', c.t('judgeLine', { nick: judge.nick, imid: judge.imid })));
      const remove = button('×', 'icon-button', () => {
        draft.judges.splice(index, 1);
        this.render();
        this.root.querySelector('.judge-lookup input')?.focus();
      });
      remove.setAttribute('aria-label', c.t('removeJudge', { nick: judge.nick }));
      row.append(remove);
      list.append(row);
    });
    set.append(lookUp, list);
    return set;
  }

  // One look-up at a time; the list may have filled up while it was asked.
  async addJudge(input) {
    const text = input.value.trim();
    if (text === '' || this.lookingUp) return;
    if (this.draft.judges.length >= kMaxJudges) return this.warn(this.c.t('warn.judgesFull'));
    if (!/^\d{1,10}$/.test(text)) return this.warn(this.c.t('warn.number'));
    this.lookingUp = true;
    const found = await this.handlers.lookUp(Number(text)).finally(() => (this.lookingUp = false));
    if (found.words) return this.warn(found.words);
    if (this.draft.judges.length >= kMaxJudges) return this.warn(this.c.t('warn.judgesFull'));
    if (this.draft.judges.some((judge) => judge.uid === found.judge.uid)) {
      input.value = '';
      return;
    }
    this.draft.judges.push(found.judge);
    this.render();
    this.root.querySelector('.judge-lookup input')?.focus();
  }

  warn(words) {
    this.warning.textContent = words;
  }

  async submit() {
    const broken = check(this.draft);
    if (broken) return this.warn(this.c.t(broken));
    this.warn('');
    const refusal = await this.handlers.save(recordOf(this.draft));
    if (refusal) this.warn(refusal);
  }
}
