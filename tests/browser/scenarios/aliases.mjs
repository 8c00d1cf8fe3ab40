// Scenarios of the alias pages: add, view, edit and delete a mail alias from
// the user details page (each alias reached by its link), the alias form's
// e-mail check and the duplicate check.
import { CGI } from '../harness.mjs';

export default {
  'aliases: add, view, edit and delete an alias; a malformed or duplicate one refused': async (s) => {
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
    await s.submit({ MailAlias: 'anna@example.com' }, 'Add', 'Update Alias',
      /^Sorry, duplicated alias is not allowed\./);
  },
};
