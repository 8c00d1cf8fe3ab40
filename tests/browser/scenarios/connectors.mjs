// Scenarios of the connector pages: add, edit and delete a connector from the
// user details page (each reached by its channel's button), a permission the
// channel refuses, and the users of a channel.
import assert from 'node:assert/strict';
import { CGI } from '../harness.mjs';

const USER = 'emma.wilson@example.com';

export default {
  'connectors: add, edit and delete a connector; a refused permission; the users of a channel': async (s) => {
    await s.open(`${CGI}?Command=FindUser&Mail=${USER}`, 'User Details');
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
    await s.open(`${CGI}?Command=NewConn&Mail=${USER}`, 'New Connector');
    await s.submit({ ...x400, Channel: 'SMTPC' }, 'Create Connector', 'Create Connector',
      'You are only allowed to select "Send/Receive" permission for "SMTPC" connector. Please select again.');
    await s.submit({}, 'Go back', 'New Connector');
    await s.open('/');
    await s.submit({}, 'Users by connector', 'List Connector');
    await s.submit({ Channel: 'DL' }, 'List', 'List Users');
  },
};
