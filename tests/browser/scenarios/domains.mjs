// Scenarios of the domain browser: walk the dc= tree down two levels and
// list the users of one domain.
import assert from 'node:assert/strict';
import { CGI } from '../harness.mjs';


async function domains(s) {
  return (await s.page.locator('a[href*="Command=ViewSubDomain"]').allInnerTexts()).sort();
}

export default [
  {
    name: 'domains: browse the tree and list the users of a domain',
    async run(s) {
      await s.open(`${CGI}?Command=BrowseDomainMenu`);
      assert.equal(await s.page.title(), 'Browse Domain');
      const top = await domains(s);
      for (const d of ['com', 'de', 'net', 'org']) assert.ok(top.includes(d), d);
      await s.follow(s.page.locator('a', { hasText: /^com$/ }));
      assert.ok((await domains(s)).includes('example.com'));
      await s.follow(s.page.locator('a', { hasText: /^example\.com$/ }));
      assert.deepEqual(await domains(s), ['sales.example.com', 'support.example.com']);
      await s.follow(s.page.locator('a', { hasText: /^sales\.example\.com$/ }));
      assert.deepEqual(await domains(s), ['eu.sales.example.com']);
      // Each row's button lists that row's domain: sales.example.com's is a
      // row of example.com's page.
      await s.open(`${CGI}?Command=ViewSubDomain&Domain=example.com`);
      await s.follow(s.page.locator('input[value="Find Users in \'sales.example.com\'"]'));
      assert.equal(await s.page.title(), 'User Listing');
      const mails = await s.column(4);
      assert.ok(mails.includes('carol.white@sales.example.com'));
      assert.ok(mails.every((m) => m.endsWith('@sales.example.com')), 'not those of sub-domains');
    },
  },
];
