// Scenarios of the connector pages: the channel list offered, add, edit and
// delete a connector from the user details page, a permission the channel
// refuses, and the users of a channel.
import assert from 'node:assert/strict';
import { CGI } from '../harness.mjs';

const USER = 'emma.wilson@example.com';

// The user's connectors, a row each: channel, identifier and permission.
const connectors = (s) => s.page.locator('input[name=ClickConn]').evaluateAll((buttons) => buttons.map((b) =>
  [...b.closest('tr').querySelectorAll('input:not([type=hidden])')].map((field) => field.value).join(' ')));

export default {
  'connectors: add, edit and delete a connector; a refused permission; the users of a channel': async (s) => {
    await s.open(`${CGI}?Command=FindUser&Mail=${USER}`, 'User Details');
    await s.submit({}, 'View Connectors', 'View Connector');
    assert.deepEqual(await connectors(s), []);
    await s.submit({}, 'New', 'New Connector');
    // The channels of XOMTA.INI with both flags, in file order.
    const channels = await s.page.locator('select[name=Channel] option').allInnerTexts();
    assert.deepEqual(channels, ['SMTPC', 'LOCAL', 'DL', 'BSMTPOUT', 'X400']);
    const x400 = { Channel: 'X400', Identifier: 'c=gb;p=example;s=wilson', Permission: 'Receive' };
    await s.submit(x400, 'Create Connector', 'View Connector');
    assert.deepEqual(await connectors(s), ['X400 c=gb;p=example;s=wilson Receive']);
    await s.submit({}, 'X400', 'Connector Information');
    await s.submit({}, 'Edit', 'Edit Connector Information');
    const changed = { Identifier: 'c=gb;p=example;s=wilson;g=emma', Permission: 'Send/Receive' };
    await s.submit(changed, 'Update', 'View Connector');
    assert.deepEqual(await connectors(s), ['X400 c=gb;p=example;s=wilson;g=emma Send/Receive']);
    await s.submit({}, 'X400', 'Connector Information');
    await s.submit({}, 'Delete', 'Delete Connector');
    await s.submit({}, 'Confirm', 'View Connector');
    assert.deepEqual(await connectors(s), []);

    await s.open(`${CGI}?Command=NewConn&Mail=${USER}`, 'New Connector');
    await s.submit({ ...x400, Channel: 'SMTPC' }, 'Create Connector', 'Create Connector',
      'You are only allowed to select "Send/Receive" permission for "SMTPC" connector. Please select again.');
    await s.submit({}, 'Go back', 'New Connector');
    await s.open('/');
    await s.submit({}, 'Users by connector', 'List Connector');
    await s.submit({ Channel: 'DL' }, 'List', 'List Users');
    assert.deepEqual((await s.column(4)).sort(),
      ['all-staff@example.com', 'carol.white@sales.example.com', 'volunteers@lists.charity.org']);
  },
};
