// The browser tests: starts the stack of scripts/run and one headless
// Chromium, runs every scenario in a browser context of its own with the
// page checks of harness.mjs, and stops everything again, also on failure.
// A new group of scenarios is one more file under scenarios/ and one more
// entry in GROUPS.
//   node --test run.test.mjs        (scripts/check runs it)
import assert from 'node:assert/strict';
import { statSync, readFileSync } from 'node:fs';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';
import { launchBrowser, Session } from './harness.mjs';
import { startStack, stopStack } from './stack.mjs';
import users from './scenarios/users.mjs';
import aliases from './scenarios/aliases.mjs';
import connectors from './scenarios/connectors.mjs';
import domains from './scenarios/domains.mjs';

const GROUPS = [
  { name: 'users', scenarios: users },
  { name: 'aliases', scenarios: aliases },
  { name: 'connectors', scenarios: connectors },
  { name: 'domains', scenarios: domains },
];

let stack;
let browser;

async function stopAll() {
  await browser?.close().catch(() => {});
  browser = undefined;
  if (stack) {
    stack = undefined;
    stopStack();
  }
}

// Stops the servers also when the run is interrupted.
for (const signal of ['SIGINT', 'SIGTERM']) {
  process.on(signal, () => { stopAll().finally(() => process.exit(130)); });
}

before(async () => {
  stack = await startStack();
  stack.helpChecked = new Set();
  browser = await launchBrowser();
});

after(stopAll);

// The files holding the directory's password are the owner's alone, and
// the password is this run's own.
test('the local run keeps its directory password private', () => {
  for (const file of ['XOMTA.INI', 'directory/XOMTA.INI', 'directory/slapd.conf']) {
    const where = path.join(stack.runDir, file);
    assert.equal(statSync(where).mode & 0o777, 0o600, file);
    assert.doesNotMatch(readFileSync(where, 'utf8'), /kpqz/, file);
  }
});

for (const group of GROUPS) {
  describe(group.name, () => {
    for (const scenario of group.scenarios) {
      test(scenario.name, async () => {
        const session = await Session.open(browser, stack, scenario.name, { login: scenario.login !== false });
        try {
          await scenario.run(session);
          assert.deepEqual(session.problems, [], 'problems seen in the browser');
        } catch (error) {
          const shots = await session.screenshots();
          let text = `${error.message}\n  screenshots: ${shots.join(', ')}`;
          if (session.problems.length) text += `\n  also seen: ${session.problems.join('\n    ')}`;
          throw new Error(text, { cause: error });
        } finally {
          await session.close();
        }
      });
    }
  });
}
