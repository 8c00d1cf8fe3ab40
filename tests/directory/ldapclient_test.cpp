// The directory client against a real slapd: connecting and binding, searches
// copied into SearchReq chains, adds and modifies from attrval lists, DNs
// made from mail addresses, and profile strings.
#include <cstring>
#include <string>
#include <vector>

#include "tests/directory/directory_fixture.h"

namespace {

// Builds an attrval list from (op, name, value) triples plus the terminator.
struct AttrList {
    std::vector<attrval> nodes;
    AttrList(std::initializer_list<std::tuple<int, const char*, const char*>> items) {
        nodes.resize(items.size() + 1);
        std::size_t i = 0;
        for (const auto& [op, name, value] : items) {
            nodes[i].op = op;
            strcpy(nodes[i].name, name);
            strcpy(nodes[i].value, value);
            ++i;
        }
        for (std::size_t k = 0; k + 1 < nodes.size(); ++k) nodes[k].next = &nodes[k + 1];
    }
    attrval* head() { return nodes.data(); }
};

int CountEntries(const SearchReq* result) {
    int count = 0;
    for (; result && result->next; result = result->next) ++count;
    return count;
}

// Values of one attribute (exact name) across the result's entries.
std::vector<std::string> Values(const SearchReq* result, const char* name) {
    std::vector<std::string> values;
    for (; result && result->next; result = result->next)
        for (const attrval* a = result->attrs; a && a->next; a = a->next)
            if (strcmp(a->name, name) == 0) values.push_back(a->value);
    return values;
}

using ClientConnection = DirectoryTest;
using ClientSearch = DirectoryTest;
using ClientChanges = DirectoryTest;
using ClientProfile = DirectoryTest;

TEST_F(ClientConnection, ConnectsAndBindsWithNamesAndUris) {
    ldapClient client;
    EXPECT_EQ(client.ldapClientConnect("127.0.0.1", sandbox().Port()), 0);
    EXPECT_NE(client.ld, nullptr);
    EXPECT_EQ(client.ldapClientBind("root", "kpqz"), 0);  // a bare name is cn=<name>
    client.ldapClientUnbind();
    EXPECT_EQ(client.ld, nullptr);
    client.ldapClientUnbind();

    // A URI is used as it stands; the port argument is then ignored.
    EXPECT_EQ(client.ldapClientConnect(sandbox().Uri().c_str(), 1), 0);
    EXPECT_EQ(client.ldapClientBind("cn=root", "kpqz"), 0);
}

TEST_F(ClientConnection, RefusesWrongPasswordClosedPortAndNoConnection) {
    ldapClient client;
    EXPECT_NE(client.ldapClientBind("root", "kpqz"), 0);  // not connected
    ASSERT_EQ(client.ldapClientConnect("127.0.0.1", sandbox().Port()), 0);
    EXPECT_EQ(client.ldapClientBind("root", "wrong"), LDAP_INVALID_CREDENTIALS);
    EXPECT_NE(client.ldapClientBind("cn=nobody", "kpqz"), 0);

    ldapClient closed;
    ASSERT_TRUE(sandbox().Stop());
    EXPECT_NE(closed.ldapClientConnect("127.0.0.1", sandbox().Port()), 0);
    EXPECT_EQ(closed.ld, nullptr);
    EXPECT_NE(closed.ldapClientConnect("", 389), 0);
    EXPECT_NE(closed.ldapClientConnect(nullptr, 389), 0);
    int status = 0;
    EXPECT_EQ(closed.ldapClientSearch("", 2, 0, "(objectClass=*)", &status), nullptr);
    EXPECT_NE(status, 0);
    EXPECT_NE(status, 1);
    ASSERT_TRUE(sandbox().Start());
}

TEST_F(ClientSearch, CopiesEntriesThatOutliveTheConnection) {
    ldapClient client;
    Open(client);
    int status = -7;
    SearchReq* result = client.ldapClientSearch("", 2, 0, "(objectClass=xoperson)", &status);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(status, 0);
    client.ldapClientUnbind();
    EXPECT_EQ(CountEntries(result), 2);
    std::vector<std::string> mails = Values(result, "mail");
    EXPECT_EQ(mails.size(), 3u);
    EXPECT_EQ(Values(result, "firstname").size(), 2u);
    client.srch_free(result);
}

TEST_F(ClientSearch, ReportsNoneForNoMatchAndAbsentBase) {
    ldapClient client;
    Open(client);
    int status = -7;
    SearchReq* result = client.ldapClientSearch("dc=example,dc=com", 1, 0, "(mail=nobody@x)", &status);
    EXPECT_EQ(status, 1);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(CountEntries(result), 0);
    client.srch_free(result);

    result = client.ldapClientSearch("dc=missing,dc=com", 0, 0, "(objectClass=domain)", &status);
    EXPECT_EQ(status, 1);
    client.srch_free(result);

    result = client.ldapClientSearch("", 2, 0, "(broken", &status);
    EXPECT_EQ(result, nullptr);
    EXPECT_NE(status, 0);
    EXPECT_NE(status, 1);
}

TEST_F(ClientSearch, NamesComeBackAsThePagesReadThem) {
    ldapClient client;
    Open(client);
    int status = 0;
    // The LDIF stored them as "street" and "otherMailbox".
    SearchReq* result = client.ldapClientSearch("mail=anna@example.com,dc=example,dc=com", 0, 0,
                                                "(objectClass=*)", &status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(Values(result, "streetaddress"), std::vector<std::string>{"1 High Street"});
    EXPECT_EQ(Values(result, "othermailbox"), std::vector<std::string>{"SMTP$anna@partner.example"});
    EXPECT_EQ(Values(result, "x-permission"), std::vector<std::string>{"SMTP$Send"});
    EXPECT_EQ(Values(result, "telephoneNumber").size(), 1u);
    client.srch_free(result);

    // The same through the session handle, as the list pages read it.
    LDAPMessage* reply = nullptr;
    ASSERT_EQ(ldap_search_s(client.ld, "mail=anna@example.com,dc=example,dc=com", LDAP_SCOPE_BASE,
                            "(objectClass=*)", nullptr, 0, &reply),
              LDAP_SUCCESS);
    std::vector<std::string> names;
    BerElement* position = nullptr;
    LDAPMessage* entry = ldap_first_entry(client.ld, reply);
    for (char* name = ldap_first_attribute(client.ld, entry, &position); name;
         name = ldap_next_attribute(client.ld, entry, position)) {
        names.push_back(name);
        ldap_memfree(name);
    }
    ber_free(position, 0);
    ldap_msgfree(reply);
    EXPECT_NE(std::find(names.begin(), names.end(), "streetaddress"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "othermailbox"), names.end());
}

TEST_F(ClientSearch, RefusesValuesAndDnsThatDoNotFitInsteadOfCuttingThem) {
    std::string fits(511, 'f');
    std::string tooLong(512, 'x');
    ASSERT_TRUE(sandbox().Add("dn: mail=long@example.com,dc=example,dc=com\nobjectClass: xoperson\n"
                              "mail: long@example.com\nstreet: " + fits + "\n"));
    ldapClient client;
    Open(client);
    int status = 0;
    SearchReq* result = client.ldapClientSearch("mail=long@example.com,dc=example,dc=com", 0, 0,
                                                "(objectClass=*)", &status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(Values(result, "streetaddress"), std::vector<std::string>{fits});
    client.srch_free(result);

    ASSERT_TRUE(sandbox().Add("dn: mail=longer@example.com,dc=example,dc=com\nobjectClass: xoperson\n"
                              "mail: longer@example.com\nstreet: " + tooLong + "\n"));
    result = client.ldapClientSearch("dc=example,dc=com", 2, 0, "(objectClass=xoperson)", &status);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(status, -1);
    EXPECT_NE(sandbox().ReadLog().find("does not fit 511 bytes"), std::string::npos) << sandbox().ReadLog();

    // A DN of more than 2047 bytes, built from labels the database accepts.
    std::string parent = "dc=com", ldif;
    for (char label = 'a'; label < 'l'; ++label) {
        std::string value(200, label);
        parent = "dc=" + value + "," + parent;
        ldif += "dn: " + parent + "\nobjectClass: domain\ndc: " + value + "\n\n";
    }
    ASSERT_GT(parent.size(), 2047u);
    ASSERT_TRUE(sandbox().Add(ldif));
    result = client.ldapClientSearch("dc=com", 2, 0, "(objectClass=domain)", &status);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(status, -1);
    EXPECT_NE(sandbox().ReadLog().find("is longer than 2047 bytes"), std::string::npos);
}

TEST_F(ClientChanges, AddLeavesOutEmptyValuesAndSuppliesTheNamingValue) {
    ldapClient client;
    Open(client);
    AttrList list{{0, "objectClass", "xoperson"}, {0, "firstname", ""}, {0, "cn", "Carl"},
                  {-1, "sn", "skipped"}, {0, "sn", "Carl"}, {0, "telephoneNumber", ""}};
    EXPECT_EQ(client.ldapClientAdd("mail=carl@example.com,dc=example,dc=com", list.head()), 0);
    std::string entry = Entry("mail=carl@example.com,dc=example,dc=com");
    EXPECT_NE(entry.find("mail: carl@example.com\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("sn: Carl\n"), std::string::npos);
    EXPECT_EQ(entry.find("skipped"), std::string::npos);
    EXPECT_EQ(entry.find("firstname"), std::string::npos);
    EXPECT_EQ(entry.find("telephoneNumber"), std::string::npos);

    EXPECT_EQ(client.ldapClientAdd("mail=carl@example.com,dc=example,dc=com", list.head()),
              LDAP_ALREADY_EXISTS);
    EXPECT_EQ(client.ldapClientAdd("mail=x@nowhere.org,dc=nowhere,dc=org", list.head()), LDAP_NO_SUCH_OBJECT);
    EXPECT_NE(client.ldapClientAdd("not a dn", list.head()), 0);
}

TEST_F(ClientChanges, ModifyDeletesAndAddsSingleValuesInOrder) {
    ldapClient client;
    Open(client);
    const char* dn = "mail=anna@example.com,dc=example,dc=com";
    AttrList change{{1, "othermailbox", "SMTP$anna@partner.example"},
                    {0, "othermailbox", "X400$c=de;a=x;s=anna"},
                    {0, "firstname", ""},
                    {1, "telephoneNumber", ""},
                    {0, "mail", "a.smith@example.com"}};
    EXPECT_EQ(client.ldapClientModify(dn, change.head()), 0);
    std::string entry = Entry(dn);
    EXPECT_EQ(entry.find("SMTP$anna@partner.example"), std::string::npos) << entry;
    EXPECT_NE(entry.find("othermailbox: X400$c=de;a=x;s=anna\n"), std::string::npos);
    EXPECT_NE(entry.find("firstname: Anna\n"), std::string::npos);
    EXPECT_NE(entry.find("telephoneNumber: +44 20 7946 0101\n"), std::string::npos);
    EXPECT_NE(entry.find("mail: a.smith@example.com\n"), std::string::npos);

    // A value that exists: the whole request fails and changes nothing.
    AttrList duplicate{{0, "mail", "bob.new@example.com"}, {0, "mail", "ann@example.com"}};
    EXPECT_EQ(client.ldapClientModify(dn, duplicate.head()), LDAP_TYPE_OR_VALUE_EXISTS);
    EXPECT_EQ(Entry(dn).find("bob.new"), std::string::npos);

    AttrList onlyEmpty{{0, "firstname", ""}};
    EXPECT_EQ(client.ldapClientModify(dn, onlyEmpty.head()), 0);
    EXPECT_NE(client.ldapClientModify("mail=none@example.com,dc=example,dc=com", change.head()), 0);
}

TEST_F(ClientChanges, DeleteReportsZeroOrMinusOne) {
    ldapClient client;
    Open(client);
    EXPECT_EQ(client.ldapClientDelete("mail=bob@example.com,dc=example,dc=com"), 0);
    EXPECT_EQ(Entry("mail=bob@example.com,dc=example,dc=com"), "");
    EXPECT_EQ(client.ldapClientDelete("mail=bob@example.com,dc=example,dc=com"), -1);
    EXPECT_EQ(client.ldapClientDelete("dc=example,dc=com"), -1);  // not a leaf
}

TEST(ClientNames, MakeEscapedDnsFromAddresses) {
    ldapClient client;
    EXPECT_STREQ(client.CreateDNFromMail("anna@example.com"), "mail=anna@example.com,dc=example,dc=com");
    EXPECT_STREQ(client.CreateDNFromMail("a,dc=evil@x.org"), "mail=a\\,dc\\=evil@x.org,dc=x,dc=org");
    EXPECT_STREQ(client.CreateDNFromMail("a+b@x.org"), "mail=a\\+b@x.org,dc=x,dc=org");
    EXPECT_STREQ(client.CreateDNFromMail("#a @b..c."), "mail=\\#a @b..c.,dc=b,dc=c");
    EXPECT_STREQ(client.CreateDNFromMail("x@y@z.org"), "mail=x@y@z.org,dc=z,dc=org");
    EXPECT_STREQ(client.CreateDNFromMail("a@e,vil.com"), "mail=a@e\\,vil.com,dc=e\\,vil,dc=com");
    EXPECT_STREQ(client.CreateDNFromMail("postmaster"), "mail=postmaster");
    EXPECT_STREQ(client.CreateDNFromMail("trailing @x "), "mail=trailing @x\\ ,dc=x\\ ");
    EXPECT_EQ(client.CreateDNFromMail(nullptr), nullptr);

    char* suffix = client.GetSuffix("a@Example.COM");
    EXPECT_STREQ(suffix, "dc=Example,dc=COM");
    client.free(suffix);
    suffix = client.GetSuffix("local-only");
    EXPECT_STREQ(suffix, "");
    client.free(suffix);
    suffix = client.GetSuffix("a@b=c;d.e");
    EXPECT_STREQ(suffix, "dc=b\\=c\\;d,dc=e");
    client.free(suffix);
}

TEST_F(ClientChanges, CraftedAddressNamesOnlyItsOwnEntry) {
    ldapClient client;
    Open(client);
    // Unescaped, this DN would be Bob's entry.
    char* dn = client.CreateDNFromMail("bob@example.com,dc=example,dc=com");
    AttrList list{{0, "objectClass", "xoperson"}};
    EXPECT_NE(client.ldapClientAdd(dn, list.head()), LDAP_ALREADY_EXISTS);
    EXPECT_EQ(client.ldapClientDelete(client.CreateDNFromMail("bob@example.com,dc=example,dc=com")), -1);
    EXPECT_NE(Entry("mail=bob@example.com,dc=example,dc=com"), "");
}

TEST_F(ClientProfile, StoresReplacesAndHidesProfileStrings) {
    ldapClient client;
    Open(client);
    EXPECT_EQ(client.ldapGetProfileString("PreProcessor", "AliasSequence"), nullptr);

    EXPECT_EQ(client.ldapWriteProfileString("PreProcessor", "AliasSequence", "7!"), 0);
    char* value = client.ldapGetProfileString("PreProcessor", "AliasSequence");
    EXPECT_STREQ(value, "7!");
    client.free(value);

    EXPECT_EQ(client.ldapWriteProfileString("preprocessor", "aliassequence", "8"), 0);
    value = client.ldapGetProfileString("PreProcessor", "AliasSequence");
    EXPECT_STREQ(value, "8");
    client.free(value);

    std::string path(3000, 'q');
    path[0] = '/';
    EXPECT_EQ(client.ldapWriteProfileString("mqapi", "mqlocallinuxrootdir", path.c_str()), 0);
    EXPECT_EQ(client.ldapWriteProfileString("odd,section=x", "key+1", ""), 0);
    value = client.ldapGetProfileString("mqapi", "mqlocallinuxrootdir");
    EXPECT_EQ(value, path);
    client.free(value);
    value = client.ldapGetProfileString("odd,section=x", "key+1");
    EXPECT_STREQ(value, "");
    client.free(value);
    EXPECT_EQ(client.ldapGetProfileString("mqapi", "other"), nullptr);
    EXPECT_NE(client.ldapWriteProfileString("", "key", "v"), 0);

    // No user search, domain listing or alias extraction ever sees them.
    int status = 0;
    SearchReq* users = client.ldapClientSearch("", 2, 0, "(&(objectClass=xoperson)(mail=*))", &status);
    EXPECT_EQ(CountEntries(users), 2);
    client.srch_free(users);
    SearchReq* domains = client.ldapClientSearch("", 1, 0, "(objectClass=domain)", &status);
    ASSERT_EQ(CountEntries(domains), 1);
    EXPECT_STREQ(domains->dn, "dc=com");
    client.srch_free(domains);
    SearchReq* mails = client.ldapClientSearch("", 2, 0, "(mail=*)", &status);
    EXPECT_EQ(CountEntries(mails), 2);
    client.srch_free(mails);
}

}  // namespace
