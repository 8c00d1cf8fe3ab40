// Scenarios of the alias pages: add, view, edit and delete a mail alias from
// the user details page, and the alias form's e-mail check.
import assert from 'node:assert/strict';
import { CGI } from '../harness.mjs';

const USER = 'grace.lee@example.com';

async function aliasesOf(s) {
  return s.page.locator('a[href*="Command=ViewAlias"]').allInnerTexts();
}


export default [
  {
    name: 'aliases: add, view, edit and delete an alias',
    async run(s) {
      await s.open(`${CGI}?Command=FindUser&Mail=${USER}`);
      await s.follow(s.page.locator('input[value="New Mail Alias"]'));
      assert.equal(await s.page.title(), 'New Alias');
      await s.page.fill('input[name=MailAlias]', 'grace.lee.new@example.com');
      await s.follow(s.page.locator('input[value=Add]'));
      assert.equal(await s.page.title(), 'User Details');
      assert.equal(await s.message(), 'Added Mail alias "grace.lee.new@example.com" successfully');
      assert.ok((await aliasesOf(s)).includes('grace.lee.new@example.com'));

      await s.follow(s.page.locator('a', { hasText: 'grace.lee.new@example.com' }));
      assert.equal(await s.page.title(), 'View Alias');
      await s.follow(s.page.locator('input[value=Edit]'));
      assert.equal(await s.page.title(), 'Edit Alias');
      assert.equal(await s.page.inputValue('input[name=MailAlias]'), 'grace.lee.new@example.com');
      await s.page.fill('input[name=MailAlias]', 'grace.lee.changed@example.com');
      await s.follow(s.page.locator('input[value=Update]'));
      assert.equal(await s.message(),
        'Changed Mail alias "grace.lee.new@example.com" to "grace.lee.changed@example.com" successfully');
      const afterEdit = await aliasesOf(s);
      assert.ok(afterEdit.includes('grace.lee.changed@example.com'));
      assert.ok(!afterEdit.includes('grace.lee.new@example.com'));

      await s.follow(s.page.locator('a', { hasText: 'grace.lee.changed@example.com' }));
      await s.follow(s.page.locator('input[value=Delete]'));
      assert.equal(await s.page.title(), 'Delete Alias');
      await s.follow(s.page.locator('input[value=Confirm]'));
      assert.equal(await s.message(), 'Mail Alias "grace.lee.changed@example.com" Deleted successfully');
      assert.deepEqual(await aliasesOf(s), ['grace@example.com', 'g.lee@example.com']);
    },
  },
  {
    name: 'aliases: a duplicate is refused, a malformed one stopped in the browser',
    async run(s) {
      await s.open(`${CGI}?Command=NewAlias&Mail=${USER}`);
      s.expectedDialogs = 1;
      await s.page.fill('input[name=MailAlias]', 'not-an-address');
      await s.page.click('input[value=Add]');
      await s.page.waitForTimeout(100);
      assert.equal(await s.page.title(), 'New Alias');
      assert.deepEqual(s.dialogs, ['Illegal E-mail Format']);
      await s.page.fill('input[name=MailAlias]', 'anna@example.com');
      await s.follow(s.page.locator('input[value=Add]'));
      assert.equal(await s.page.title(), 'Update Alias');
      assert.match(await s.message(), /^Sorry, duplicated alias is not allowed\./);
    },
  },
];
