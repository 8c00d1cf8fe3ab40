// The scenarios, each run in a browser context of its own against the sample
// directory (scripts/sample-data.ldif). Each works on users of its own, so
// the order does not matter. Each step of a scenario opens a page or fills a
// form and presses a button or link (Session.submit), and checks the page it
// leads to: the list pages' contents are the page tests' (tests/pages).
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import path from 'node:path';
import { CGI } from './harness.mjs';

export default {
  // Add, view, edit and delete a mail alias from the user details page (each
  // alias reached by its link), and the alias form's e-mail check (the
  // duplicate check is the page tests').
  'aliases: add, view, edit and delete an alias; a malformed one refused': async (s) => {
    const [NEW, CHANGED] = ['grace.lee.new@example.com', 'grace.lee.changed@example.com'];
    await s.open(`${CGI}?Command=FindUser&Mail=grace.lee@example.com`, 'User Details');
    await s.submit({}, 'New Mail Alias', 'New Alias');
    await s.submit({ MailAlias: NEW }, 'Add', 'User Details', `Added Mail alias "${NEW}" successfully`);
    await s.submit({}, NEW, 'View Alias');
    await s.submit({}, 'Edit', 'Edit Alias');
    await s.submit({ MailAlias: CHANGED }, 'Update', 'User Details',
      `Changed Mail alias "${NEW}" to "${CHANGED}" successfully`);
    await s.submit({}, CHANGED, 'View Alias');
    await s.submit({}, 'Delete', 'Delete Alias');
    await s.submit({}, 'Confirm', 'User Details', `Mail Alias "${CHANGED}" Deleted successfully`);
    await s.submit({}, 'New Mail Alias', 'New Alias');
    await s.refused({ MailAlias: 'not-an-address' }, 'Add');
  },
  // Add, edit and delete a connector from the user details page (each reached
  // by its channel's button), and the users of a channel (the permissions a
  // channel refuses are the page tests').
  'connectors: add, edit and delete a connector; the users of a channel': async (s) => {
    await s.open(`${CGI}?Command=FindUser&Mail=emma.wilson@example.com`, 'User Details');
    await s.submit({}, 'View Connectors', 'View Connector');
    await s.submit({}, 'New', 'New Connector');
    const x400 = { Channel: 'X400', Identifier: 'c=gb;p=example;s=wilson', Permission: 'Receive' };
    await s.submit(x400, 'Create Connector', 'View Connector');
    await s.submit({}, 'X400', 'Connector Information');
    await s.submit({}, 'Edit', 'Edit Connector Information');
    const changed = { Identifier: 'c=gb;p=example;s=wilson;g=emma', Permission: 'Send/Receive' };
    await s.submit(changed, 'Update', 'View Connector');
    await s.submit({}, 'X400', 'Connector Information');
    assert.deepEqual(await s.values(), { Channel: 'X400', ...changed });
    await s.submit({}, 'Delete', 'Delete Connector');
    await s.submit({}, 'Confirm', 'View Connector');
    assert.equal(await s.page.locator('input[name=ClickConn]').count(), 0);
    await s.open('/');
    await s.submit({}, 'Users by connector', 'List Connector');
    await s.submit({ Channel: 'DL' }, 'List', 'List Users');
  },
  // Walk the dc= tree down three levels (which users a row's button lists is
  // the page tests').
  'domains: browse the tree': async (s) => {
    await s.open('/');
    await s.submit({}, 'Browse domains', 'Browse Domain');
    for (const domain of ['com', 'example.com', 'sales.example.com', 'eu.sales.example.com']) {
      await s.submit({}, domain, 'Browse Domain');
    }
  },
  // The user pages, reached from the start page's entries.
  'users: find, open and list them; create, update and delete one, names outside ASCII intact': async (s) => {
    await s.open('/', 'LDAP CGI');
    await s.submit({}, 'Find users', 'Find User Menu');
    await s.submit({ LastName: 'S*' }, 'Find', 'User Listing');
    await s.submit({}, 'anna.smith@example.com', 'User Details');
    // A new one, in a new domain, past the e-mail check; updated and deleted.
    await s.open('/');
    await s.submit({}, 'New user', 'New User');
    // A malformed address for each condition of the check: no "@", nothing
    // before it, the last "." right after it, one or more than three
    // characters after that "."
    for (const bad of ['no-at-sign.example.com', '@example.com', 'a@.com', 'a@b.c', 'a@b.info', 'a@b.toolong']) {
      await s.refused({ Mail: bad }, 'Create User');
    }
    const zoe = { FirstName: 'Zoë', LastName: 'Neuankömmling', TelNo: '+1 555 0100',
      Address: '1 First Avenue\nSpringfield', Mail: 'zoe.newcomer@dept.newco.org' };
    await s.submit(zoe, 'Create User', 'User Details', 'User created Succesfully');
    await s.submit({}, 'Edit', 'Edit User');
    const changed = { TelNo: '+49 30 9018 2999', Address: 'Straße des 17. Juni 136\n10623 Berlin' };
    await s.submit(changed, 'Update', 'User Details', 'Successfully Updated User');
    // The form shows what the directory holds now; sent again, it changes nothing.
    await s.submit({}, 'Edit', 'Edit User');
    assert.deepEqual(await s.values(), { ...zoe, ...changed });
    await s.submit({}, 'Update', 'User Details', 'No changes');
    await s.submit({}, 'Delete', 'Delete User');
    await s.submit({}, 'Confirm', undefined, 'Successfully Deleted User');
  },
  // The login for example.com (scripts/run's second) lists only the users of
  // example.com and its subdomains; which page each login gets for each
  // command is the administrators' matrix's (tests/hostile).
  'administrators per domain: a domain login sees its domains only': async (s) => {
    const anna = await s.as(s.stack.domainLogin);
    await anna.open(`${CGI}?Command=ListUsers&FirstName=*&LastName=*&Mail=*`, 'User Listing');
    // The addresses of the list, the heading left out.
    const cells = await anna.page.locator('table table table td:nth-child(4)').allInnerTexts();
    const own = cells.slice(1).map((m) => m.trim());
    assert.ok(own.includes('anna.smith@example.com') && own.includes('carol.white@sales.example.com'), `${own}`);
    assert.deepEqual(own.filter((m) => !/[@.]example\.com$/.test(m)), []);
  },
  // The build starts from its page and goes on after it; the table is
  // published when done.
  'alias table: build a new generation that resolves the sample aliases': async (s) => {
    await s.open('/');
    await s.submit({}, 'Build the mail alias table', 'Build Alias Table');
    await s.submit({}, 'Build Alias Table');
    const sequence = /Sequence # is (\d+)/.exec(await s.page.innerText('body'))?.[1];
    const lookup = ['lookup', path.join(s.stack.RUN_DIR, 'queue', 'AliasTables'), sequence, 'postmaster@example.com'];
    let found;
    for (let i = 0; i < 50 && found?.status !== 0; i++) {
      if (i > 0) await s.page.waitForTimeout(200);
      found = spawnSync(path.join(s.stack.BUILD_DIR, 'aliastable'), lookup, { encoding: 'utf8' });
    }
    assert.equal(found.stdout.trim(), 'anna.smith@example.com');
  },
};
