// Scenarios of the alias pages: add, view, edit and delete a mail alias from
// the user details page, the alias form's e-mail check and the duplicate check.
import assert from 'node:assert/strict';
import { CGI } from '../harness.mjs';

const aliases = async (s) => (await s.page.locator('a[href*="Command=ViewAlias"]').allInnerTexts()).sort();

export default {
  'aliases: add, view, edit and delete an alias; a malformed or duplicate one refused': async (s) => {
    const [NEW, CHANGED] = ['grace.lee.new@example.com', 'grace.lee.changed@example.com'];
    await s.open(`${CGI}?Command=FindUser&Mail=grace.lee@example.com`, 'User Details');
    await s.submit({}, 'New Mail Alias', 'New Alias');
    await s.submit({ MailAlias: NEW }, 'Add', 'User Details', `Added Mail alias "${NEW}" successfully`);
    assert.deepEqual(await aliases(s), ['g.lee@example.com', NEW, 'grace@example.com']);
    await s.submit({}, NEW, 'View Alias');
    await s.submit({}, 'Edit', 'Edit Alias');
    await s.submit({ MailAlias: CHANGED }, 'Update', 'User Details',
      `Changed Mail alias "${NEW}" to "${CHANGED}" successfully`);
    assert.deepEqual(await aliases(s), ['g.lee@example.com', CHANGED, 'grace@example.com']);
    await s.submit({}, CHANGED, 'View Alias');
    await s.submit({}, 'Delete', 'Delete Alias');
    await s.submit({}, 'Confirm', 'User Details', `Mail Alias "${CHANGED}" Deleted successfully`);
    assert.deepEqual(await aliases(s), ['g.lee@example.com', 'grace@example.com']);
    await s.submit({}, 'New Mail Alias', 'New Alias');
    await s.refused({ MailAlias: 'not-an-address' }, 'Add');
    await s.submit({ MailAlias: 'anna@example.com' }, 'Add', 'Update Alias',
      /^Sorry, duplicated alias is not allowed\./);
  },
};
