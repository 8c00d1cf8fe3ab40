// Scenarios of the user pages, reached from the start page's entries, and the
// alias table build, against the sample directory (scripts/sample-data.ldif).
// Each scenario works on users of its own, so the order does not matter.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import path from 'node:path';
import { CGI } from '../harness.mjs';

const ZOE = 'zoe.newcomer@dept.newco.org';

export default {
  'users: find one, open it and list them all, names outside ASCII intact': async (s) => {
    await s.open('/', 'LDAP CGI');
    await s.submit({}, 'Find users', 'Find User Menu');
    await s.submit({ LastName: 'S*' }, 'Find', 'User Listing');
    await s.submit({}, 'anna.smith@example.com', 'User Details');
    await s.open(`${CGI}?Command=ListUsers&FirstName=*&LastName=*&Mail=*&Special=yes`, 'User Listing');
    assert.match(await s.page.innerText('body'), /Jürgen\s+Müller/);
  },
  'users: create one in a new domain past the e-mail check, update it and delete it': async (s) => {
    await s.open('/');
    await s.submit({}, 'New user', 'New User');
    // A malformed address for each condition of the check: no "@", nothing
    // before it, the last "." right after it, one or more than three
    // characters after that "."
    for (const bad of ['no-at-sign.example.com', '@example.com', 'a@.com', 'a@b.c', 'a@b.info', 'a@b.toolong']) {
      await s.refused({ Mail: bad }, 'Create User');
    }
    const zoe = { FirstName: 'Zoë', LastName: 'Neuankömmling', TelNo: '+1 555 0100',
      Address: '1 First Avenue\nSpringfield' };
    await s.submit({ ...zoe, Mail: ZOE }, 'Create User', 'User Details', 'User created Succesfully');
    await s.submit({}, 'Edit', 'Edit User');
    const changed = { TelNo: '+49 30 9018 2999', Address: 'Straße des 17. Juni 136\n10623 Berlin' };
    await s.submit(changed, 'Update', 'User Details', 'Successfully Updated User');
    // The form shows what the directory holds now; sent again, it changes nothing.
    await s.submit({}, 'Edit', 'Edit User');
    assert.deepEqual(await s.values(), { ...zoe, ...changed, Mail: ZOE });
    await s.submit({}, 'Update', 'User Details', 'No changes');
    await s.submit({}, 'Delete', 'Delete User');
    await s.submit({}, 'Confirm', undefined, 'Successfully Deleted User');
  },
  'alias table: build a new generation that resolves the sample aliases': async (s) => {
    await s.open('/');
    await s.submit({}, 'Build the mail alias table', 'Build Alias Table');
    await s.submit({}, 'Build Alias Table');
    const sequence = /Sequence # is (\d+)/.exec(await s.page.innerText('body'))?.[1];
    // The build goes on after the page; the table is published when done.
    const lookup = ['lookup', path.join(s.stack.RUN_DIR, 'queue', 'AliasTables'), sequence, 'postmaster@example.com'];
    let found;
    for (let i = 0; i < 50 && found?.status !== 0; i++) {
      if (i > 0) await s.page.waitForTimeout(200);
      found = spawnSync(path.join(s.stack.BUILD_DIR, 'aliastable'), lookup, { encoding: 'utf8' });
    }
    assert.equal(found.stdout.trim(), 'anna.smith@example.com');
  },
};
