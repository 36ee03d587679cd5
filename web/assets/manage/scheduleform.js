// A stored vote's scheduled start in its list row: the line that says when it starts (or that it
// was missed) with the cancel, and the "start at" form with a date-and-time field.
import { element } from '../shared/dom.js';

// The datetime-local value (local time, to the second) of a Unix second.
export function localInputValue(unixSeconds) {
  const d = new Date(unixSeconds * 1000);
  const two = (n) => String(n).padStart(2, '0');
  return `${d.getFullYear()}-${two(d.getMonth() + 1)}-${two(d.getDate())}T${two(d.getHours())}:${two(d.getMinutes())}:${two(d.getSeconds())}`;
}

// The Unix second a datetime-local value names in local time; null for an empty or invalid one.
export function unixSecondsOf(value) {
  if (!/^\d{4}-\d{2}-\d{2}T\d{2}:\d{2}(:\d{2})?$/.test(value ?? '')) return null;
  const ms = new Date(value).getTime();
  return Number.isFinite(ms) ? Math.floor(ms / 1000) : null;
}

function button(text, className, onClick) {
  const node = element('button', className, text);
  node.type = 'button';
  node.addEventListener('click', onClick);
  return node;
}

export class ScheduleForm {
  // actions: schedule(vote, atUnix) → words of a refusal or null, unschedule(vote).
  constructor(catalogue, actions) {
    this.c = catalogue;
    this.actions = actions;
  }

  // The row's line for the vote's schedule, or null without one.
  line(vote) {
    const { c } = this;
    const schedule = vote.schedule;
    if (!schedule) return null;
    const time = c.dateTime(schedule.at);
    const missed = schedule.state === 'missed';
    const line = element('div', `schedule-line${missed ? ' missed' : ''}`);
    const words = element('span', 'schedule-words', c.t(missed ? 'scheduleMissed' : 'scheduledAt', { time }));
    const cancel = button(c.t('unschedule'), 'link-button', () => this.actions.unschedule(vote));
    cancel.setAttribute('aria-label', `${c.t('unschedule')} ${vote.name}`);
    line.append(words, cancel);
    return line;
  }

  // The form that asks for the start time; onDone closes it.
  form(vote, onDone) {
    const { c } = this;
    const form = element('form', 'schedule-form');
    const id = `start-at-${vote.voteId}`;
    const label = element('label', 'field-label', c.t('startTime'));
    label.htmlFor = id;
    const input = element('input', 'text-input start-at');
    input.id = id;
    input.type = 'datetime-local';
    input.step = '1';
    const soon = Math.ceil(Date.now() / 60000) * 60 + 300;
    input.value = localInputValue(vote.schedule?.state === 'pending' ? vote.schedule.at : soon);
    const warning = element('p', 'warning');
    warning.setAttribute('role', 'alert');
    const save = element('button', 'button primary small', c.t('scheduleSave'));
    save.type = 'submit';
    const cancel = button(c.t('cancel'), 'button small', onDone);
    const buttons = element('div', 'schedule-buttons');
    buttons.append(save, cancel);
    form.append(label, input, buttons, warning);
    form.addEventListener('submit', async (event) => {
      event.preventDefault();
      const at = unixSecondsOf(input.value);
      if (at === null) {
        warning.textContent = c.t('warn.time');
        return;
      }
      const refusal = await this.actions.schedule(vote, at);
      if (refusal) warning.textContent = refusal;
      else onDone();
    });
    form.addEventListener('keydown', (event) => {
      if (event.key === 'Escape') onDone();
    });
    return form;
  }
}
