// The browser tests: starts the stack of scripts/run and one headless
// Chromium, runs every scenario in a browser context of its own with the
// page checks of harness.mjs, and stops everything again, also on failure.
// A scenario group whose pages are not built yet (its `requires` command
// answers "Internal error") is skipped with a note.
//   node --test run.test.mjs        (scripts/check runs it)
import assert from 'node:assert/strict';
import { after, before, describe, test } from 'node:test';
import { commandBuilt, launchBrowser, Session } from './harness.mjs';
import { startStack, stopStack } from './stack.mjs';
import users from './scenarios/users.mjs';
import aliases, { requires as aliasesRequire } from './scenarios/aliases.mjs';
import connectors, { requires as connectorsRequire } from './scenarios/connectors.mjs';
import domains, { requires as domainsRequire } from './scenarios/domains.mjs';

const GROUPS = [
  { name: 'users', scenarios: users },
  { name: 'aliases', scenarios: aliases, requires: aliasesRequire },
  { name: 'connectors', scenarios: connectors, requires: connectorsRequire },
  { name: 'domains', scenarios: domains, requires: domainsRequire },
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

for (const group of GROUPS) {
  describe(group.name, () => {
    let built = true;
    before(async () => {
      if (!group.requires) return;
      const probe = await Session.open(browser, stack, `${group.name} probe`);
      built = await commandBuilt(probe, group.requires);
      await probe.close();
    });
    for (const scenario of group.scenarios) {
      test(scenario.name, async (t) => {
        if (!built) {
          t.skip(`the ${group.name} pages are not built yet`);
          return;
        }
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
