import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';
import { webRoot } from './support/fakeservice.js';

// Every module a page imports, found by following the import statements from its entry.
function importGraph(entry) {
  const seen = new Set();
  const walk = (file) => {
    if (seen.has(file)) return;
    seen.add(file);
    for (const [, spec] of readFileSync(path.join(webRoot, file), 'utf8').matchAll(/from '(\.[^']+)'/g)) {
      walk(path.posix.join(path.posix.dirname(file), spec));
    }
  };
  walk(entry);
  return seen;
}

test('each page preloads exactly the modules it imports', () => {
  for (const [page, entry] of [['overlay.html', 'assets/overlay/overlay.js'], ['vote.html', 'assets/viewer/viewer.js'], ['manage.html', 'assets/manage/manage.js']]) {
    const html = readFileSync(path.join(webRoot, page), 'utf8');
    const preloaded = [...html.matchAll(/rel="modulepreload" href="\/([^"]+)"/g)].map(([, file]) => file).sort();
    const imported = [...importGraph(entry)].filter((file) => file !== entry).sort();
    assert.deepEqual(preloaded, imported, page);
  }
});
