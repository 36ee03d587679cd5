// One option of a normal vote as both pages draw it: rank badge, name, count and share of all
// tickets, and a bar of that share. Each page names the parts for its own style sheet (its look)
// and may put one control (the viewer's vote button) between the figures and the bar; a look with
// unit(count) words the unit in its page's language.
import { AnimatedCount } from './animatedcount.js';
import { element } from './dom.js';
import { percentText } from './format.js';

export class OptionRow {
  constructor(look, control = null) {
    this.look = look;
    this.root = element('li', look.row);
    this.badge = element('span', look.badge);
    this.name = element('span', 'option-name');
    const countValue = element('span', look.count);
    this.unit = element('span', 'unit', '票');
    this.share = element('span', look.share);
    const figures = element('span', look.figures);
    if (look.countBox) {
      const countBox = element('span', look.countBox);
      countBox.append(countValue, this.unit);
      figures.append(countBox, this.share);
    } else {
      figures.append(countValue, this.unit, this.share);
    }
    const track = element('span', look.track);
    this.fill = element('span', 'bar-fill');
    track.append(this.fill);
    this.root.append(this.badge, this.name, figures, ...(control ? [control] : []), track);
    this.count = new AnimatedCount(countValue);
  }

  // rank counts from 0.
  show(option, rank, total) {
    this.root.dataset.optionId = String(option.id);
    this.root.dataset.rank = String(rank + 1);
    this.badge.textContent = String(rank + 1);
    this.badge.className = `${this.look.badge} ${this.look.badgeMarks(rank, option.count)}`;
    this.name.textContent = option.name;
    this.count.set(option.count);
    if (this.look.unit) this.unit.textContent = this.look.unit(option.count);
    this.share.textContent = percentText(option.count, total);
    this.fill.style.transform = `scaleX(${total > 0 ? option.count / total : 0})`;
  }
}
