// The browser tests: starts the stack of scripts/run (which picks a free
// loopback port and makes the login) in a run folder of its own under the
// build folder, and one headless Chromium; checks the login and the local
// run's private files; runs every scenario of scenarios.mjs in a browser
// context of its own with the page checks of harness.mjs; and stops the
// servers again on every way out. Nothing else is started. A failing scenario
// leaves a screenshot under build/browser/screenshots/.
//   node --test run.test.mjs        (scripts/check runs it)
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { readFileSync, statSync } from 'node:fs';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';
import { CGI, Session } from './harness.mjs';
import scenarios from './scenarios.mjs';

const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..');
const BUILD_DIR = path.resolve(process.env.BUILD_DIR || path.join(ROOT, 'build'));
const RUN_DIR = path.join(BUILD_DIR, 'browser', 'run');
const defaults = { PORT: '', ADMIN_USER: '', ADMIN_PASSWORD: '', DOMAIN_USER: '', DOMAIN_PASSWORD: '' };
const run = (command) => execFileSync(path.join(ROOT, 'scripts', 'run'), [command],
  { env: { ...process.env, RUN_DIR, BUILD_DIR, ...defaults }, encoding: 'utf8' });

const basic = (username, password) =>
  ({ Authorization: `Basic ${Buffer.from(`${username}:${password}`).toString('base64')}` });
let stack, browser;

// The address and the logins as scripts/run prints them.
before(async () => {
  const said = run('start');
  const login = (label) => {
    const [, username, password] = new RegExp(`^${label}: +(\\S+) / (\\S+) `, 'm').exec(said);
    return { username, password };
  };
  const policy = readFileSync(path.join(ROOT, 'install', 'content-security-policy'), 'utf8').trim();
  const url = /^LDAP CGI: +(http:\S+?)\/?$/m.exec(said)[1];
  stack = { url, login: login('login'), domainLogin: login('domain login'), policy, BUILD_DIR, RUN_DIR };
  // Playwright's own switches already keep Chromium from background traffic
  // (and from its sandbox, which needs more than root has here); QUIC too would
  // go out to hosts that the closed network refuses. No GPU: software drawing
  // costs less here.
  const executablePath = process.env.CHROMIUM || '/usr/bin/chromium';
  browser = await chromium.launch({ executablePath, args: ['--disable-quic', '--disable-gpu'] });
});

after(() => browser?.close());
process.on('exit', () => run('stop'));
for (const signal of ['SIGINT', 'SIGTERM']) process.on(signal, () => process.exit(130));

// Every page and resource asks for the login first, also with a wrong
// password, and the refusal carries the security headers too.
test('log in: every page and resource asks for the login first', async () => {
  const wrong = basic(stack.login.username, 'wrong');
  const asked = [['/'], [`${CGI}?Command=FindUserMenu`], ['/vemo/style/xomainstylesheet.css'],
    ['/vemo/module-pictures/images/line.gif'], ['/vemo/help/ldap/sysadmin/finduser.htm'], ['/vemo/index.html~'], ['/', wrong]];
  for (const [target, headers] of asked) {
    const response = await fetch(stack.url + target, { headers });
    assert.equal(response.status, 401, target);
    assert.equal(response.headers.get('x-frame-options'), 'DENY', target);
  }
});

// The export's file keeps its own type (the pages' is the harness's check),
// and is not kept in a cache.
test('the export downloads with its own type', async () => {
  const headers = basic(stack.login.username, stack.login.password);
  for (const [format, type] of [['csv', 'text/csv'], ['LDIF', 'text/plain']]) {
    const response = await fetch(`${stack.url}${CGI}?Command=ExportUsers&Format=${format}`, { headers });
    assert.equal(response.headers.get('content-type'), `${type}; charset=utf-8`, format);
    assert.equal(response.headers.get('cache-control'), 'no-store', format);
  }
});

// The files holding the directory's password are the owner's alone, and
// the password is this run's own.
test('the local run keeps its directory password private', () => {
  for (const file of ['XOMTA.INI', 'directory/XOMTA.INI', 'directory/slapd.conf']) {
    assert.equal(statSync(path.join(RUN_DIR, file)).mode & 0o777, 0o600, file);
    assert.doesNotMatch(readFileSync(path.join(RUN_DIR, file), 'utf8'), /kpqz/, file);
  }
});

for (const [name, scenario] of Object.entries(scenarios)) {
  test(name, async () => {
    const session = await Session.open(browser, stack);
    try {
      await scenario(session);
      assert.deepEqual(session.problems, [], 'problems seen in the browser');
    } catch (error) {
      const shot = path.join(BUILD_DIR, 'browser', 'screenshots', `${name.replace(/\W+/g, '-')}.png`);
      const taken = await session.page.screenshot({ path: shot, fullPage: true }).then(() => shot, () => 'none');
      throw new Error([error.message, `screenshot: ${taken}`, ...session.problems].join('\n  '), { cause: error });
    } finally {
      await session.context.close();
    }
  });
}
