// Headless Chromium sessions against the stack, the steps of a scenario (open
// a page, fill and submit a form, read the result), and the checks that every
// page gets: the answer's status and security headers, every inline script,
// handler and style allowed by the content security policy's hashes, images
// and style sheet loaded, each Help button opening its page, and, over the
// whole session, no failed request, no console or script error, no CSP
// violation and no unexpected dialog. A failing scenario leaves a screenshot
// under build/browser/screenshots/.
import assert from 'node:assert/strict';
import { createHash } from 'node:crypto';
import path from 'node:path';
import { chromium } from 'playwright-core';

export const CGI = '/vemo/cgi-bin/ldapcgi.cgi';
const helpChecked = new Set(); // each help page is opened once per run
const HEADERS = { 'x-frame-options': 'DENY', 'x-content-type-options': 'nosniff', 'referrer-policy': 'no-referrer' };
const CGI_HEADERS = { 'cache-control': 'no-store', 'content-type': 'text/html; charset=utf-8' };

// Playwright's own switches already keep Chromium from background traffic
// (and from its sandbox, which needs more than root has here); QUIC too would
// go out to hosts that the closed network refuses. No GPU: software drawing
// costs less here.
export function launchBrowser() {
  const executablePath = process.env.CHROMIUM || '/usr/bin/chromium';
  return chromium.launch({ executablePath, args: ['--disable-quic', '--disable-gpu'] });
}

const sha256 = (text) => `'sha256-${createHash('sha256').update(text, 'utf8').digest('base64')}'`;

// One browser context (its own login and cookies) per scenario.
export class Session {
  static async open(browser, stack) {
    const context = await browser.newContext({ baseURL: stack.url, httpCredentials: stack.login });
    context.setDefaultTimeout(15000);
    // Violations reach the console, where they count as errors; the script is
    // injected by the browser's tooling, so the policy does not apply to it.
    await context.addInitScript(() => document.addEventListener('securitypolicyviolation', (e) =>
      console.error(`CSP violation: ${e.violatedDirective} blocked ${e.blockedURI} ${e.sample}`)));
    // The session watches the context's pages from the first one on.
    return Object.assign(new Session(context, stack), { page: await context.newPage() });
  }

  // Watches the context's pages, the help windows too.
  constructor(context, stack) {
    Object.assign(this, { context, stack, problems: [], dialogs: 0, expectedDialogs: 0 });
    context.on('requestfailed', (r) => this.problems.push(`request failed: ${r.url()} ${r.failure()?.errorText}`));
    context.on('response', (r) => r.status() >= 400 && this.problems.push(`answer ${r.status()}: ${r.url()}`));
    context.on('page', (page) => {
      page.on('console', (m) => m.type() === 'error' && this.problems.push(`console error: ${m.text()}`));
      page.on('pageerror', (error) => this.problems.push(`script error: ${error.message}`));
      page.on('dialog', async (dialog) => {
        if (++this.dialogs > this.expectedDialogs) this.problems.push(`unexpected dialog: ${dialog.message()}`);
        await dialog.accept();
      });
    });
  }

  // Opens a path (with its query) and checks the page and its title.
  async open(target, title) {
    return this.arrive(await this.page.goto(target), title);
  }

  // Fills the form's fields, given by name (text fields, text areas and
  // selects), clicks the button or the link of that label, and checks the page
  // it leads to, its title and the message it shows (a text or a pattern).
  async submit(fields, label, title, message) {
    await this.fill(fields);
    const [response] = await Promise.all([this.page.waitForNavigation(), this.button(label).click()]);
    await this.arrive(response, title);
    if (message !== undefined) assert[message instanceof RegExp ? 'match' : 'equal'](await this.message(), message);
  }

  // As submit, but the form's e-mail check must stop the address in the
  // browser: its alert, the same page, the cursor back in the mail field.
  async refused(fields, label) {
    const title = await this.page.title();
    this.expectedDialogs += 1;
    await this.fill(fields);
    const [dialog] = await Promise.all([this.page.waitForEvent('dialog'), this.button(label).click()]);
    await this.page.waitForTimeout(100); // a form sent after all would be leaving now
    const focus = await this.page.evaluate(() => document.activeElement.name);
    assert.deepEqual([dialog.message(), await this.page.title(), focus],
      ['Illegal E-mail Format', title, Object.keys(fields).pop()], `${JSON.stringify(fields)} was let through`);
  }

  async fill(fields) {
    for (const [name, value] of Object.entries(fields)) {
      const field = this.page.locator(`[name="${name}"]:visible`);
      if ((await field.evaluate((f) => f.tagName)) === 'SELECT') await field.selectOption(value);
      else await field.fill(value);
    }
  }

  button(label) {
    const button = this.page.locator(`input:is([type=submit], [type=button])[value="${label}"]`);
    return button.or(this.page.getByRole('link', { name: label, exact: true }));
  }

  // The checks of one page of the system or of a static page.
  async arrive(response, title) {
    const url = response.url();
    const fail = (text) => this.problems.push(`${url}: ${text}`);
    if (response.status() !== 200) fail(`status ${response.status()}`);
    const expected = { ...HEADERS, 'content-security-policy': this.stack.policy };
    if (url.includes(CGI)) Object.assign(expected, CGI_HEADERS);
    for (const [name, value] of Object.entries(expected)) {
      if (response.headers()[name] !== value) fail(`header ${name} is ${JSON.stringify(response.headers()[name])}`);
    }
    const inline = await this.page.evaluate(() => {
      const attributes = [...document.querySelectorAll('*')].flatMap((element) => [...element.attributes]);
      return {
        'script-src': [...document.scripts].filter((s) => !s.src).map((s) => s.textContent)
          .concat(attributes.filter((a) => a.name.startsWith('on')).map((a) => a.value)),
        'style-src': attributes.filter((a) => a.name === 'style').map((a) => a.value),
        images: [...document.images].filter((i) => !i.complete || i.naturalWidth === 0).map((i) => i.src),
        sheets: [...document.styleSheets].filter((s) => s.cssRules.length > 0).length,
        links: document.querySelectorAll('link[rel=stylesheet i]').length,
      };
    });
    for (const directive of ['script-src', 'style-src']) {
      const allowed = this.stack.policy.split(';').find((d) => d.trim().startsWith(directive));
      for (const text of inline[directive]) {
        if (!allowed.includes(sha256(text))) fail(`${directive} lacks the hash of: ${text.slice(0, 80)}`);
      }
    }
    for (const src of inline.images) fail(`image not loaded: ${src}`);
    if (inline.sheets < inline.links) fail('style sheet not loaded');
    // Each Help button opens its help page in the help window: the first one
    // makes it, the later ones reuse it by its name.
    for (const button of await this.page.locator('input[name=Help]').all()) {
      const handler = await button.getAttribute('onclick');
      const target = /popup\('([^']+)'/.exec(handler || '')?.[1];
      if (!target) this.problems.push(`Help button without a help page: ${handler}`);
      if (!target || helpChecked.has(target)) continue;
      helpChecked.add(target);
      const [popup] = await Promise.all([this.help ?? this.context.waitForEvent('page'), button.click()]);
      this.help = popup;
      await popup.waitForURL((where) => where.pathname === target);
      const heading = await popup.title();
      if (!heading.startsWith('Help: ')) this.problems.push(`help page ${target} is titled "${heading}"`);
    }
    if (title !== undefined) assert.equal(await this.page.title(), title);
  }

  // The values of the page's text fields and text areas, by name.
  async values() {
    const fields = this.page.locator('input[type=text], textarea');
    return Object.fromEntries(await fields.evaluateAll((all) => all.map((f) => [f.name, f.value])));
  }

  // One column of the user table (1 first name, 2 last name, 3 telephone
  // number, 4 mail), without the heading.
  async column(n) {
    const cells = await this.page.locator(`table table table tr td:nth-child(${n})`).allInnerTexts();
    return cells.slice(1).map((t) => t.trim());
  }

  // The message of the result box, or of the centred line under the details.
  async message() {
    const box = this.page.locator('td[bgcolor="#BBCCBB"]');
    const where = (await box.count()) ? box : this.page.locator('body > center').last();
    return (await where.innerText()).trim();
  }

  screenshot(name) {
    const file = path.join(this.stack.BUILD_DIR, 'browser', 'screenshots', `${name.replace(/\W+/g, '-')}.png`);
    return this.page.screenshot({ path: file, fullPage: true }).then(() => file, () => 'none');
  }
}
