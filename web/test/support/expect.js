// Waiting for what a person would see, with the reason in the failure.
export async function waitForTexts(page, selector, expected, timeout = 5000) {
  try {
    await page.waitForFunction(
      ([sel, want]) => JSON.stringify([...document.querySelectorAll(sel)].map((node) => node.textContent.trim())) === JSON.stringify(want),
      [selector, expected],
      { timeout },
    );
  } catch {
    const seen = await page.$$eval(selector, (nodes) => nodes.map((node) => node.textContent.trim()));
    throw new Error(`${selector}: expected ${JSON.stringify(expected)}, saw ${JSON.stringify(seen)}`);
  }
}

export async function waitForText(page, selector, expected, timeout = 5000) {
  await waitForTexts(page, selector, [expected], timeout);
}

// Polls read(page) until it equals expected (compared as JSON).
export async function waitForValue(page, read, expected, timeout = 5000) {
  const until = Date.now() + timeout;
  let seen;
  for (;;) {
    seen = await read(page);
    if (JSON.stringify(seen) === JSON.stringify(expected)) return;
    if (Date.now() > until) throw new Error(`expected ${JSON.stringify(expected)}, saw ${JSON.stringify(seen)}`);
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
}
