// The introsort-free quicksort that Qt 5's qSort runs, step for step. With a non-strict predicate
// (a >= b) the order it leaves among equal keys is the one the desktop window shows, which neither
// Array.prototype.sort (stable) nor any other algorithm reproduces.
export function qtSort(items, lessThan) {
  sortRange(items, 0, items.length, lessThan);
  return items;
}

function swap(items, i, j) {
  const kept = items[i];
  items[i] = items[j];
  items[j] = kept;
}

function sortRange(items, start, end, lessThan) {
  for (;;) {
    const span = end - start;
    if (span < 2) return;
    end -= 1;
    let low = start;
    let high = end - 1;
    const pivot = start + Math.trunc(span / 2);
    if (lessThan(items[end], items[start])) swap(items, end, start);
    if (span === 2) return;
    if (lessThan(items[pivot], items[start])) swap(items, pivot, start);
    if (lessThan(items[end], items[pivot])) swap(items, end, pivot);
    if (span === 3) return;
    swap(items, pivot, end);
    while (low < high) {
      while (low < high && lessThan(items[low], items[end])) low += 1;
      while (high > low && lessThan(items[end], items[high])) high -= 1;
      if (low >= high) break;
      swap(items, low, high);
      low += 1;
      high -= 1;
    }
    if (lessThan(items[low], items[end])) low += 1;
    swap(items, end, low);
    sortRange(items, start, low, lessThan);
    start = low + 1;
    end += 1;
  }
}
