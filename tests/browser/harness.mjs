// A browser session against the stack, its one step (fill a form, press a
// button or link, check the page it leads to), and the checks that every page
// gets: the answer's status and security headers, every inline script,
// handler and style allowed by the content security policy's hashes, images
// shown, each Help button opening its page, and, over the whole session, no
// failed request, no console or script error (a style sheet that cannot load
// is one or the other), no CSP violation and no unexpected dialog.
import assert from 'node:assert/strict';
import { createHash } from 'node:crypto';

export const CGI = '/vemo/cgi-bin/ldapcgi.cgi';
const helpChecked = new Set(); // each help page is opened once per run
const HEADERS = { 'x-frame-options': 'DENY', 'x-content-type-options': 'nosniff', 'referrer-policy': 'no-referrer' };
const CGI_HEADERS = { 'cache-control': 'no-store', 'content-type': 'text/html; charset=utf-8' };
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
    const s = Object.assign(new Session(), { context, stack, problems: [], dialogs: 0, expectedDialogs: 0 });
    context.on('requestfailed', (r) => s.problems.push(`request failed: ${r.url()} ${r.failure()?.errorText}`));
    context.on('response', (r) => r.status() >= 400 && s.problems.push(`answer ${r.status()}: ${r.url()}`));
    context.on('page', (page) => { // the help windows too
      page.on('console', (m) => m.type() === 'error' && s.problems.push(`console error: ${m.text()}`));
      page.on('pageerror', (error) => s.problems.push(`script error: ${error.message}`));
      page.on('dialog', async (dialog) => {
        if (++s.dialogs > s.expectedDialogs) s.problems.push(`unexpected dialog: ${dialog.message()}`);
        await dialog.accept();
      });
    });
    s.page = await context.newPage();
    return s;
  }

  // A session of the same scenario under another login; what goes wrong in
  // it counts as this session's problems, and it closes with this one.
  async as(login) {
    const other = await Session.open(this.context.browser(), { ...this.stack, login });
    other.problems = this.problems;
    this.context.on('close', () => other.context.close());
    return other;
  }

  // Opens a path (with its query) and checks the page and its title.
  async open(target, title) {
    return this.arrive(await this.page.goto(target), title);
  }

  // Fills the form's fields, given by name (text fields, text areas and
  // selects), presses the button or the link of that label, and checks the
  // page it leads to, its title and the message it shows (a text or a pattern).
  async submit(fields, label, title, message) {
    await this.arrive(await this.press(fields, label, () => this.page.waitForNavigation()), title);
    if (message === undefined) return;
    const box = this.page.locator('td[bgcolor="#BBCCBB"]'); // else the centred line under the details
    const shown = (await ((await box.count()) ? box : this.page.locator('body > center').last()).innerText()).trim();
    assert[message instanceof RegExp ? 'match' : 'equal'](shown, message);
  }

  // As submit, but the form's e-mail check must stop the address in the
  // browser: its alert, the same page, the cursor back in the mail field.
  async refused(fields, label) {
    const title = await this.page.title();
    this.expectedDialogs += 1;
    const dialog = await this.press(fields, label, () => this.page.waitForEvent('dialog'));
    await this.page.waitForTimeout(100); // a form sent after all would be leaving now
    const focus = await this.page.evaluate(() => document.activeElement.name);
    assert.deepEqual([dialog.message(), await this.page.title(), focus],
      ['Illegal E-mail Format', title, Object.keys(fields).pop()], `${JSON.stringify(fields)} was let through`);
  }

  async press(fields, label, awaited) {
    for (const [name, value] of Object.entries(fields)) {
      const field = this.page.locator(`[name="${name}"]:visible`);
      if ((await field.evaluate((f) => f.tagName)) === 'SELECT') await field.selectOption(value);
      else await field.fill(value);
    }
    const button = this.page.locator(`input:is([type=submit], [type=button])[value="${label}"]`);
    const pressed = button.or(this.page.getByRole('link', { name: label, exact: true })).click();
    return (await Promise.all([awaited(), pressed]))[0];
  }

  // The checks of one page of the system or of a static page.
  async arrive(response, title) {
    const url = response.url();
    const fail = (text) => this.problems.push(`${url}: ${text}`);
    if (response.status() !== 200) fail(`status ${response.status()}`);
    const expected = { ...HEADERS, ...(url.includes(CGI) && CGI_HEADERS), 'content-security-policy': this.stack.policy };
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
      };
    });
    for (const directive of ['script-src', 'style-src']) {
      const allowed = this.stack.policy.split(';').find((d) => d.trim().startsWith(directive));
      for (const text of inline[directive]) {
        if (!allowed.includes(sha256(text))) fail(`${directive} lacks the hash of: ${text.slice(0, 80)}`);
      }
    }
    for (const src of inline.images) fail(`image not loaded: ${src}`);
    // Each Help button opens its help page in the help window: the first one
    // makes it, the later ones reuse it by its name.
    for (const button of await this.page.locator('input[name=Help]').all()) {
      const target = /popup\('([^']+)'/.exec((await button.getAttribute('onclick')) || '')?.[1];
      if (!target) fail('a Help button without a help page');
      if (!target || helpChecked.has(target)) continue;
      helpChecked.add(target);
      [this.help] = await Promise.all([this.help ?? this.context.waitForEvent('page'), button.click()]);
      await this.help.waitForURL((where) => where.pathname === target);
      if (!(await this.help.title()).startsWith('Help: ')) fail(`help page ${target} is not titled "Help: ..."`);
    }
    if (title !== undefined) assert.equal(await this.page.title(), title);
  }

  // The values of the page's text fields and text areas, by name.
  async values() {
    const fields = this.page.locator('input[type=text], textarea');
    return Object.fromEntries(await fields.evaluateAll((all) => all.map((f) => [f.name, f.value])));
  }
}
