// Scenarios of the domain browser: walk the dc= tree down two levels and
// list the users of one domain.
import assert from 'node:assert/strict';
import { CGI } from '../harness.mjs';

export default {
  'domains: browse the tree and list the users of a domain': async (s) => {
    await s.open('/');
    await s.submit({}, 'Browse domains', 'Browse Domain');
    await s.submit({}, 'com', 'Browse Domain');
    await s.submit({}, 'example.com', 'Browse Domain');
    await s.submit({}, 'sales.example.com', 'Browse Domain');
    await s.submit({}, 'eu.sales.example.com', 'Browse Domain');
    // Each row's button lists that row's domain: sales.example.com's is a
    // row of example.com's page.
    await s.open(`${CGI}?Command=ViewSubDomain&Domain=example.com`);
    await s.submit({}, "Find Users in 'sales.example.com'", 'User Listing');
    const mails = (await s.texts('table table table tr td:nth-child(4)')).slice(1).map((m) => m.trim());
    assert.ok(mails.includes('carol.white@sales.example.com'));
    assert.ok(mails.every((m) => m.endsWith('@sales.example.com')), 'not those of sub-domains');
  },
};
