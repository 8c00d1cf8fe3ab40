// Page loads in headless Chromium for scripts/bench.d/browser.sh: loads each
// URL given, alternating, ROUNDS times, each in a fresh tab, and prints per
// URL the median time from the start of the navigation to the end of the
// page's load event (the page's own Navigation Timing), in milliseconds.
// Chromium starts as the browser tests start it (tests/browser/run.test.mjs),
// with playwright-core from tests/browser/node_modules.
//   node page_load.mjs ROUNDS USER PASSWORD URL...
import { createRequire } from 'node:module';

const LOAD_TIMEOUT_MS = 600000; // a whole list of a million users is 300 MB
const [rounds, username, password, ...urls] = process.argv.slice(2);
const { chromium } = createRequire(new URL('../../tests/browser/package.json', import.meta.url))('playwright-core');
const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium', args: ['--disable-quic', '--disable-gpu'] });
const context = await browser.newContext({ httpCredentials: { username, password } });
context.setDefaultTimeout(LOAD_TIMEOUT_MS);
const times = urls.map(() => []);
for (let round = 0; round < Number(rounds); round++) {
  for (const [i, url] of urls.entries()) {
    const tab = await context.newPage();
    const response = await tab.goto(url, { waitUntil: 'load' });
    if (response.status() !== 200) throw new Error(`${url}: status ${response.status()}`);
    times[i].push(await tab.evaluate(() => {
      const [navigation] = performance.getEntriesByType('navigation');
      return navigation.loadEventEnd - navigation.startTime;
    }));
    await tab.close();
  }
}
await browser.close();
const median = (list) => list.sort((a, b) => a - b)[Math.floor(list.length / 2)];
for (const list of times) console.log(median(list).toFixed(1));
