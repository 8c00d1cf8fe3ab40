// Scenarios of the login, the start page, the user pages and the alias table
// build, against the sample directory (scripts/sample-data.ldif). Each
// scenario works on users of its own, so the order does not matter.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import path from 'node:path';
import { CGI } from '../harness.mjs';
import { BUILD_DIR } from '../stack.mjs';

const ENTRY_COMMANDS = ['FindUserMenu', 'NewUserMenu', 'ListConnMenu', 'BrowseDomainMenu', 'AliasTable'];

async function findByLastName(s, lastName) {
  await s.open(`${CGI}?Command=FindUserMenu`);
  await s.page.fill('input[name=LastName]', lastName);
  return s.follow(s.page.locator('input[type=submit][value=Find]'));
}

async function openUser(s, mail) {
  return s.open(`${CGI}?Command=FindUser&Mail=${encodeURIComponent(mail)}`);
}

// The values of the user details table, by label.
async function details(s) {
  const rows = await s.page.locator('table[border="1"] tr').evaluateAll((trs) =>
    trs.map((tr) => [...tr.cells].map((td) => {
      const field = td.querySelector('input, textarea');
      return (field ? field.value : td.innerText).trim();
    })));
  return Object.fromEntries(rows.filter((r) => r.length === 2).map(([k, v]) => [k.replace(/ :$/, ''), v]));
}

export default [
  {
    name: 'log in: every page and resource asks for the login first',
    login: false,
    async run(s) {
      for (const target of ['/', `${CGI}?Command=FindUserMenu`, '/vemo/style/xomainstylesheet.css',
        '/vemo/module-pictures/images/line.gif', '/vemo/help/ldap/sysadmin/finduser.htm']) {
        const response = await s.context.request.get(target);
        assert.equal(response.status(), 401, target);
        assert.equal(response.headers()['x-frame-options'], 'DENY', target);
      }
      const wrong = await s.context.request.get('/', {
        headers: { Authorization: `Basic ${Buffer.from('admin:wrong').toString('base64')}` },
      });
      assert.equal(wrong.status(), 401);
      s.problems.length = 0; // the refusals above are the point here
    },
  },
  {
    name: 'start page: the five entry points, each answering with its page',
    async run(s) {
      await s.open('/');
      const links = await s.page.locator('dl.commands a').evaluateAll((as) => as.map((a) => a.href));
      assert.deepEqual(links.map((l) => new URL(l).searchParams.get('Command')), ENTRY_COMMANDS);
      await s.follow(s.page.locator('a', { hasText: 'Find users' }));
      assert.equal(await s.page.title(), 'Find User Menu');
    },
  },
  {
    name: 'find and list users: sorted by last name, names outside ASCII intact',
    async run(s) {
      await findByLastName(s, 'S*');
      assert.equal(await s.page.title(), 'User Listing');
      assert.deepEqual(await s.column(2), ['Schröder', 'Scott', 'Silva', 'Smith']);
      await s.open(`${CGI}?Command=ListUsers&FirstName=*&LastName=*&Mail=*`);
      const all = await s.text();
      assert.match(all, /Jürgen\s+Müller/);
      assert.doesNotMatch(all, /all-staff@example\.com/, 'distribution lists only when asked for');
      await s.open(`${CGI}?Command=ListUsers&FirstName=*&LastName=*&Mail=*&Special=yes`);
      assert.match(await s.text(), /all-staff@example\.com/);
    },
  },
  {
    name: 'open a user: details, aliases and buttons',
    async run(s) {
      await findByLastName(s, 'Smith');
      await s.follow(s.page.locator('a', { hasText: 'anna.smith@example.com' }));
      assert.equal(await s.page.title(), 'User Details');
      const values = await details(s);
      assert.equal(values['First Name'], 'Anna');
      assert.equal(values['Telephone Number'], '+44 20 7946 0101');
      assert.equal(values.Address, '1 High Street\nLondon EC1A 1BB\nUnited Kingdom');
      const aliases = await s.page.locator('a[href*="Command=ViewAlias"]').allInnerTexts();
      assert.deepEqual(aliases, ['anna@example.com', 'a.smith@example.com', 'postmaster@example.com']);
      for (const button of ['Edit', 'Delete', 'View Connectors', 'New Mail Alias', 'Go back', 'Help']) {
        assert.equal(await s.page.locator(`input[value="${button}"]`).count(), 1, button);
      }
    },
  },
  {
    name: 'edit and update a user, names outside ASCII kept',
    async run(s) {
      await openUser(s, 'juergen.mueller@berlin.beispiel.de');
      await s.follow(s.page.locator('input[value=Edit]'));
      assert.equal(await s.page.title(), 'Edit User');
      assert.equal(await s.page.inputValue('input[name=FirstName]'), 'Jürgen');
      await s.page.fill('input[name=TelNo]', '+49 30 9018 2999');
      await s.page.fill('textarea[name=Address]', 'Straße des 17. Juni 136\n10623 Berlin');
      await s.follow(s.page.locator('input[value=Update]'));
      assert.equal(await s.page.title(), 'User Details');
      assert.equal(await s.message(), 'Successfully Updated User');
      const values = await details(s);
      assert.equal(values['First Name'], 'Jürgen');
      assert.equal(values['Last Name'], 'Müller');
      assert.equal(values['Telephone Number'], '+49 30 9018 2999');
      assert.equal(values.Address, 'Straße des 17. Juni 136\n10623 Berlin');
      // The same form sent again changes nothing.
      await s.follow(s.page.locator('input[value=Edit]'));
      await s.follow(s.page.locator('input[value=Update]'));
      assert.equal(await s.message(), 'No changes');
    },
  },
  {
    name: 'create a user in a new domain, then delete it',
    async run(s) {
      await s.open(`${CGI}?Command=NewUserMenu`);
      await s.page.fill('input[name=FirstName]', 'Zoë');
      await s.page.fill('input[name=LastName]', 'Newcomer');
      await s.page.fill('input[name=TelNo]', '+1 555 0100');
      await s.page.fill('textarea[name=Address]', '1 First Avenue\nSpringfield');
      await s.page.fill('input[name=Mail]', 'zoe.newcomer@dept.newco.org');
      await s.follow(s.page.locator('input[value="Create User"]'));
      assert.equal(await s.page.title(), 'User Details');
      assert.equal(await s.message(), 'User created Succesfully');
      assert.equal((await details(s))['First Name'], 'Zoë');
      await s.open(`${CGI}?Command=ListUsers&FirstName=*&LastName=*&Mail=*@dept.newco.org`);
      assert.match(await s.text(), /Zoë\s+Newcomer/);
      await openUser(s, 'zoe.newcomer@dept.newco.org');
      await s.follow(s.page.locator('input[value=Delete]'));
      assert.equal(await s.page.title(), 'Delete User');
      await s.follow(s.page.locator('input[value=Confirm]'));
      assert.equal(await s.message(), 'Successfully Deleted User');
    },
  },
  {
    name: 'e-mail validation: a malformed address is stopped in the browser with its alert',
    async run(s) {
      await s.open(`${CGI}?Command=NewUserMenu`);
      await s.page.fill('input[name=LastName]', 'Nobody');
      const bads = ['no-at-sign.example.com', '@example.com', 'a@.com', 'a@b.c', 'a@b.toolong'];
      s.expectedDialogs = bads.length;
      for (const bad of bads) {
        await s.page.fill('input[name=Mail]', bad);
        await s.page.click('input[value="Create User"]');
        await s.page.waitForTimeout(100);
        assert.equal(await s.page.title(), 'New User', `${bad} was sent`);
      }
      assert.deepEqual(s.dialogs, Array(bads.length).fill('Illegal E-mail Format'));
      assert.equal(await s.page.evaluate(() => document.activeElement.name), 'Mail');
    },
  },
  {
    name: 'build the alias table: a new generation that resolves the sample aliases',
    async run(s) {
      await s.open(`${CGI}?Command=AliasTable`);
      assert.equal(await s.page.title(), 'Build Alias Table');
      await s.follow(s.page.locator('input[value="Build Alias Table"]'));
      const sequence = /Sequence # is (\d+)/.exec(await s.text())?.[1];
      assert.ok(sequence, 'the build page names the new generation');
      // The build goes on after the page; the table is published when done.
      const tool = path.join(BUILD_DIR, 'aliastable');
      const tables = path.join(s.stack.runDir, 'queue', 'AliasTables');
      let primary = '';
      for (let i = 0; i < 50 && !primary; i++) {
        try {
          primary = execFileSync(tool, ['lookup', tables, sequence, 'postmaster@example.com'],
            { encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] }).trim();
        } catch {
          await s.page.waitForTimeout(200);
        }
      }
      assert.equal(primary, 'anna.smith@example.com');
    },
  },
];
