// Scenarios of the connector pages: the channel list offered, add, edit and
// delete a connector from the user details page, and the users of a channel.
import assert from 'node:assert/strict';
import { CGI } from '../harness.mjs';

const USER = 'emma.wilson@example.com';

async function connectorRows(s) {
  return s.page.locator('input[name=ClickConn]').evaluateAll((buttons) => buttons.map((b) => {
    const row = b.closest('tr');
    return `${b.value}$${row.querySelector('input[name=Identifier]').value}`
      + ` ${row.querySelector('input[readonly][name=Permission]').value}`;
  }));
}


export default [
  {
    name: 'connectors: add, edit and delete a connector',
    async run(s) {
      await s.open(`${CGI}?Command=FindUser&Mail=${USER}`);
      await s.follow(s.page.locator('input[value="View Connectors"]'));
      assert.equal(await s.page.title(), 'View Connector');
      assert.deepEqual(await connectorRows(s), []);
      await s.follow(s.page.locator('input[value=New]'));
      assert.equal(await s.page.title(), 'New Connector');
      // The channels of XOMTA.INI with both flags, in file order.
      const channels = await s.page.locator('select[name=Channel] option').allInnerTexts();
      assert.deepEqual(channels, ['SMTPC', 'LOCAL', 'DL', 'BSMTPOUT', 'X400']);
      await s.page.selectOption('select[name=Channel]', 'X400');
      await s.page.fill('input[name=Identifier]', 'c=gb;p=example;s=wilson');
      await s.page.selectOption('select[name=Permission]', 'Receive');
      await s.follow(s.page.locator('input[value="Create Connector"]'));
      assert.equal(await s.page.title(), 'View Connector');
      assert.deepEqual(await connectorRows(s), ['X400$c=gb;p=example;s=wilson Receive']);

      await s.follow(s.page.locator('input[name=ClickConn][value=X400]'));
      assert.equal(await s.page.title(), 'Connector Information');
      await s.follow(s.page.locator('input[value=Edit]'));
      assert.equal(await s.page.title(), 'Edit Connector Information');
      await s.page.fill('input[name=Identifier]', 'c=gb;p=example;s=wilson;g=emma');
      await s.page.selectOption('select[name=Permission]', 'Send/Receive');
      await s.follow(s.page.locator('input[value=Update]'));
      assert.deepEqual(await connectorRows(s), ['X400$c=gb;p=example;s=wilson;g=emma Send/Receive']);

      await s.follow(s.page.locator('input[name=ClickConn][value=X400]'));
      await s.follow(s.page.locator('input[value=Delete]'));
      assert.equal(await s.page.title(), 'Delete Connector');
      await s.follow(s.page.locator('input[value=Confirm]'));
      assert.equal(await s.page.title(), 'View Connector');
      assert.deepEqual(await connectorRows(s), []);
    },
  },
  {
    name: 'connectors: a permission the channel refuses, and the users of a channel',
    async run(s) {
      await s.open(`${CGI}?Command=NewConn&Mail=${USER}`);
      await s.page.selectOption('select[name=Channel]', 'SMTPC');
      await s.page.fill('input[name=Identifier]', 'emma@partner.example');
      await s.page.selectOption('select[name=Permission]', 'Receive');
      await s.follow(s.page.locator('input[value="Create Connector"]'));
      assert.equal(await s.page.title(), 'Create Connector');
      assert.equal(await s.message(), 'You are only allowed to select "Send/Receive" permission for "SMTPC" '
        + 'connector. Please select again.');

      await s.open(`${CGI}?Command=ListConnMenu`);
      assert.equal(await s.page.title(), 'List Connector');
      await s.page.selectOption('select[name=Channel]', 'DL');
      await s.follow(s.page.locator('input[value=List]'));
      assert.equal(await s.page.title(), 'List Users');
      assert.deepEqual((await s.column(4)).sort(),
        ['all-staff@example.com', 'carol.white@sales.example.com', 'volunteers@lists.charity.org']);
    },
  },
];
