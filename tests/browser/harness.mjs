// Headless Chromium sessions against the stack, and the checks that every
// page gets: the answer's status and security headers, every inline script,
// handler and style allowed by the content security policy's hashes, images
// and style sheet loaded, and, over the whole session, no failed or missing
// request, no console error, no script error, no CSP violation and no
// unexpected dialog. A failing scenario leaves a screenshot of each of its
// pages under build/browser/screenshots/.
import { createHash } from 'node:crypto';
import { mkdirSync } from 'node:fs';
import path from 'node:path';
import { chromium } from 'playwright-core';
import { WORK_DIR } from './stack.mjs';

export const CGI = '/vemo/cgi-bin/ldapcgi.cgi';
const SHOTS_DIR = path.join(WORK_DIR, 'screenshots');
const NAVIGATION_TIMEOUT_MS = 15000;

// The flags this machine's Chromium needs: no sandbox as root, and no
// background traffic to hosts that the closed network refuses.
const CHROMIUM_ARGS = [
  '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
  '--disable-default-apps', '--disable-extensions', '--no-default-browser-check',
];

export function launchBrowser() {
  return chromium.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: CHROMIUM_ARGS,
  });
}

function sha256(text) {
  return `'sha256-${createHash('sha256').update(text, 'utf8').digest('base64')}'`;
}

// One browser context (its own login and cookies) per scenario.
export class Session {
  constructor(context, stack, name) {
    this.context = context;
    this.stack = stack;
    this.name = name;
    this.problems = [];
    this.dialogs = [];
    this.expectedDialogs = 0;
    this.helpChecked = stack.helpChecked;
    context.on('page', (page) => this.watch(page));
    context.on('requestfailed', (request) => {
      this.problems.push(`request failed: ${request.url()} (${request.failure()?.errorText})`);
    });
    context.on('response', (response) => {
      if (response.status() >= 400) this.problems.push(`answer ${response.status()}: ${response.url()}`);
    });
  }

  static async open(browser, stack, name, { login = true } = {}) {
    const context = await browser.newContext({
      baseURL: stack.url,
      httpCredentials: login ? { username: stack.user, password: stack.password } : undefined,
      viewport: { width: 1100, height: 800 },
    });
    context.setDefaultTimeout(NAVIGATION_TIMEOUT_MS);
    // Violations reach the console, where they count as errors; the script is
    // injected by the browser's tooling, so the policy does not apply to it.
    await context.addInitScript(() => {
      document.addEventListener('securitypolicyviolation', (e) => {
        console.error(`CSP violation: ${e.violatedDirective} blocked ${e.blockedURI} ${e.sample}`);
      });
    });
    const session = new Session(context, stack, name);
    session.page = await context.newPage();
    return session;
  }

  watch(page) {
    page.on('console', (message) => {
      if (message.type() === 'error') this.problems.push(`console error: ${message.text()}`);
    });
    page.on('pageerror', (error) => this.problems.push(`script error: ${error.message}`));
    page.on('dialog', async (dialog) => {
      this.dialogs.push(dialog.message());
      if (this.dialogs.length > this.expectedDialogs) {
        this.problems.push(`unexpected dialog: ${dialog.message()}`);
      }
      await dialog.accept();
    });
  }

  // Opens a path (with its query) and checks the page.
  async open(target) {
    const response = await this.page.goto(target, { waitUntil: 'load' });
    await this.inspect(response);
    return this.page;
  }

  // Clicks something that leads to a new page (a link, a submit button) and
  // checks that page.
  async follow(locator) {
    const [response] = await Promise.all([
      this.page.waitForNavigation({ waitUntil: 'load' }),
      locator.click(),
    ]);
    await this.inspect(response);
    return this.page;
  }

  // The checks of one page of the system or of a static resource page.
  async inspect(response) {
    const page = this.page;
    const url = response.url();
    const where = `${url}:`;
    const fail = (text) => this.problems.push(`${where} ${text}`);
    if (response.status() !== 200) fail(`status ${response.status()}`);
    const headers = response.headers();
    const expected = {
      'content-security-policy': this.stack.policy,
      'x-frame-options': 'DENY',
      'x-content-type-options': 'nosniff',
      'referrer-policy': 'no-referrer',
    };
    if (url.includes(CGI)) {
      expected['cache-control'] = 'no-store';
      expected['content-type'] = 'text/html; charset=utf-8';
    }
    for (const [name, value] of Object.entries(expected)) {
      if (headers[name] !== value) fail(`header ${name} is ${JSON.stringify(headers[name])}`);
    }
    const inline = await page.evaluate(() => {
      const scripts = [...document.scripts].filter((s) => !s.src).map((s) => s.textContent);
      const handlers = [];
      const styles = [];
      for (const element of document.querySelectorAll('*')) {
        for (const attribute of element.attributes) {
          if (attribute.name.startsWith('on')) handlers.push(attribute.value);
          if (attribute.name === 'style') styles.push(attribute.value);
        }
      }
      const images = [...document.images]
        .filter((i) => !i.complete || i.naturalWidth === 0)
        .map((i) => i.src);
      const sheets = [...document.styleSheets].filter((s) => s.cssRules.length > 0).length;
      const links = document.querySelectorAll('link[rel=stylesheet], link[REL=STYLESHEET]').length;
      return { scripts, handlers, styles, images, sheets, links };
    });
    const policy = headers['content-security-policy'] || '';
    const allowed = (directive) => (policy.split(';').find((d) => d.trim().startsWith(directive)) || '');
    for (const text of [...inline.scripts, ...inline.handlers]) {
      if (!allowed('script-src').includes(sha256(text))) fail(`inline script not in the policy: ${text.slice(0, 80)}`);
    }
    for (const text of inline.styles) {
      if (!allowed('style-src').includes(sha256(text))) fail(`inline style not in the policy: ${text}`);
    }
    for (const src of inline.images) fail(`image not loaded: ${src}`);
    if (inline.sheets < inline.links) fail('style sheet not loaded');
    await this.checkHelp();
  }

  // Each Help button opens its help page in a window of its own; each help
  // page is checked once per run.
  async checkHelp() {
    for (const button of await this.page.locator('input[name=Help]').all()) {
      const handler = await button.getAttribute('onclick');
      const target = /popup\('([^']+)'/.exec(handler || '')?.[1];
      if (!target) {
        this.problems.push(`Help button without a help page: ${handler}`);
        continue;
      }
      if (this.helpChecked.has(target)) continue;
      this.helpChecked.add(target);
      const [popup] = await Promise.all([this.context.waitForEvent('page'), button.click()]);
      await popup.waitForLoadState('load');
      const title = await popup.title();
      if (!popup.url().endsWith(target) || !title.startsWith('Help: ')) {
        this.problems.push(`help page ${target} did not open (${popup.url()}, "${title}")`);
      }
      await popup.close();
    }
  }

  text(selector = 'body') {
    return this.page.locator(selector).innerText();
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
    if (await box.count()) return (await box.innerText()).trim();
    return (await this.page.locator('body > center').last().innerText()).trim();
  }

  async screenshots() {
    mkdirSync(SHOTS_DIR, { recursive: true });
    const files = [];
    const safe = this.name.replace(/[^A-Za-z0-9]+/g, '-').replace(/^-|-$/g, '');
    for (const [i, page] of this.context.pages().entries()) {
      const file = path.join(SHOTS_DIR, `${safe}-${i + 1}.png`);
      await page.screenshot({ path: file, fullPage: true }).catch(() => {});
      files.push(file);
    }
    return files;
  }

  close() {
    return this.context.close();
  }
}
