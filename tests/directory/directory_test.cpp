// The directory layer against the test slapd: opening it from XOMTA.INI, user lookups, the client's
// searches and changes, attribute lists, profile strings, dc= names and mail address screening.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "directory/attribute_list.h"
#include "directory/directory_session.h"
#include "directory/domain_names.h"
#include "directory/mail_address.h"
#include "tests/support/directory_sandbox.h"

namespace {

using Strings = std::vector<std::string>;
using Pairs = std::vector<std::pair<const char*, const char*>>;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

// Anna has an alias, a connector and a postal address.
const char kBaseLdif[] =
    "dn: dc=com\nobjectClass: domain\ndc: com\n\n"
    "dn: dc=example,dc=com\nobjectClass: domain\ndc: example\n\n"
    "dn: mail=anna@example.com,dc=example,dc=com\nobjectClass: xoperson\n"
    "mail: anna@example.com\nmail: ann@example.com\nfirstname: Anna\nsn: Smith\ncn: Anna Smith\n"
    "telephoneNumber: +44 20 7946 0101\nstreet: 1 High Street\n"
    "otherMailbox: SMTP$anna@partner.example\nx-permission: SMTP$Send\n\n"
    "dn: mail=bob@example.com,dc=example,dc=com\nobjectClass: xoperson\n"
    "mail: bob@example.com\nfirstname: Bob\nsn: Jones\n";
const char kAnnaDn[] = "mail=anna@example.com,dc=example,dc=com";

class Directory : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sandbox().Ok() && sandbox().Reset(kBaseLdif) && sandbox().WriteConfig() && sandbox().ClearLog());
        setenv("XOMTA_CONFIG_DIR", sandbox().ConfigDir().c_str(), 1);
    }
    static DirectorySandbox& sandbox() { return DirectorySandbox::Get(); }
    static void Open(ldapClient& c) {
        ASSERT_TRUE(!c.ldapClientConnect("127.0.0.1", sandbox().Port()) && !c.ldapClientBind("cn=root", "kpqz"));
    }
    static std::string Entry(const std::string& dn) { return sandbox().Search(dn, "(objectClass=*)"); }
};

int Count(const SearchReq* result) {  // entries before the terminator; -1 for null
    int count = result ? 0 : -1;
    for (; result && result->next; result = result->next) ++count;
    return count;
}

Strings Values(const SearchReq* result, const char* name) {  // exact name
    Strings values;
    for (; result && result->next; result = result->next)
        for (const attrval* a = result->attrs; a && a->next; a = a->next)
            if (strcmp(a->name, name) == 0) values.push_back(a->value);
    return values;
}

int SizeLimit(LDAP* ld) {
    int limit = -1;
    return ldap_get_option(ld, LDAP_OPT_SIZELIMIT, &limit), limit;
}

// An attribute list of (op, name, value) nodes, built as the pages build it.
attrval* List(std::initializer_list<std::tuple<int, const char*, const char*>> nodes) {
    attrval* list = nullptr;
    for (auto [op, name, value] : nodes) EXPECT_TRUE(AddAttrValue(&list, op, name, "%s", value));
    EXPECT_TRUE(AddAttrEnd(&list));
    return list;
}

TEST_F(Directory, OpensAsConfiguredAndLimitsOnlyTheHandlesSearches) {
    ASSERT_TRUE(sandbox().WriteConfig("[Ldap]\nRecordLimit=1\n"));
    ldapClient client;
    CaptureStdout();
    char* host = OpenDirectory(client);
    EXPECT_EQ(GetCapturedStdout(), "");
    ASSERT_STREQ(host, "127.0.0.1");
    EXPECT_EQ(SizeLimit(client.ld), 1);
    LDAPMessage* reply = nullptr;
    EXPECT_EQ(ldap_search_s(client.ld, "", LDAP_SCOPE_SUBTREE, "(objectClass=xoperson)", nullptr, 0, &reply),
              LDAP_SIZELIMIT_EXCEEDED);
    EXPECT_EQ(ldap_count_entries(client.ld, reply), 1);
    ldap_msgfree(reply);
    SearchReq* all = FindUserByMail(client, "*");  // the client's own lookups see every user
    EXPECT_EQ(Count(all), 2);
    client.srch_free(all);
    client.ldapClientUnbind(), client.ldapClientUnbind();  // safe twice
    EXPECT_STREQ(host, "127.0.0.1");  // still valid after the unbind
    // No limit; a HostName that is a URI is used as it stands.
    ASSERT_TRUE(sandbox().WriteConfig("[Ldap]\nHostName=" + sandbox().Uri() + "\nPort=1\n"));
    ASSERT_NE(OpenDirectory(client), nullptr);
    EXPECT_EQ(SizeLimit(client.ld), 0);
}

TEST_F(Directory, OpenRefusesSilentlyWhatCannotBind) {
    std::pair<std::string, std::string> cases[] = {  // [Ldap] settings (none: server stopped), log text
        {"Password=wrong", ""}, {"UserName=cn=nobody", ""},
        {"Password=" + std::string(1100, 'p'), "[Ldap] Password is longer than"}, {"", ""}};
    for (const auto& [ini, logged] : cases) {
        ASSERT_TRUE(sandbox().WriteConfig("[Ldap]\n" + ini + "\n") && (!ini.empty() || sandbox().Stop()));
        ldapClient client;
        CaptureStdout();
        char* host = OpenDirectory(client);
        EXPECT_EQ(GetCapturedStdout(), "") << ini;
        ASSERT_TRUE(sandbox().Start());
        EXPECT_EQ(host, nullptr) << ini;
        EXPECT_EQ(client.ld, nullptr) << ini;
        EXPECT_NE(sandbox().ReadLog().find(logged), std::string::npos) << ini;
    }
}

TEST_F(Directory, TwoConnectionsAtOnce) {
    ldapClient first, second;
    ASSERT_NE(OpenDirectory(first), nullptr);
    ASSERT_NE(OpenDirectory(second), nullptr);
    SearchReq* a = FindUserByMail(first, "anna@example.com");
    SearchReq* b = FindUserByMail(second, "bob@example.com");
    second.ldapClientUnbind();
    SearchReq* again = FindUserByMail(first, "bob@example.com");
    EXPECT_EQ(Count(a) + Count(b) + Count(again), 3);
    for (SearchReq* result : {a, b, again}) first.srch_free(result);
}

// Without an [Ldap] section: localhost, port 389, "root", "kpqz".
TEST_F(Directory, DefaultsReachLocalhostPort389AsRoot) {
    if (geteuid() != 0) GTEST_SKIP() << "port 389 needs root";
    DirectorySandbox standard(389);
    if (!standard.Ok() && ldapClient().ldapClientConnect("127.0.0.1", 389) == 0) GTEST_SKIP() << "port 389 is in use";
    ASSERT_TRUE(standard.Ok() && standard.Reset(kBaseLdif));
    ASSERT_TRUE(sandbox().WriteRawConfig("[Log]\nFile=" + sandbox().LogFile() + "\n"));
    ldapClient client;
    EXPECT_STREQ(OpenDirectory(client), "localhost");
    EXPECT_EQ(SizeLimit(client.ld), 0);
    SearchReq* user = FindUserByMail(client, "anna@example.com");
    EXPECT_EQ(Count(user), 1);
    client.srch_free(user);
}

TEST_F(Directory, FindsUsersByPrimaryAddressOnly) {
    ASSERT_TRUE(sandbox().Add("dn: mail=zoe@example.com,dc=example,dc=com\nobjectClass: xoperson\n"
                              "objectClass: xolistowner\nmail: zoe@example.com\n"));
    ldapClient client;
    ASSERT_NE(OpenDirectory(client), nullptr);
    std::pair<const char*, int> cases[] = {  // -1: null
        {"anna@example.com", 1}, {"ANNA@Example.com", 1}, {"*", 3}, {nullptr, 3}, {"ann@example.com", -1},  // alias
        {"nobody@example.com", -1}, {"a*@example.com", -1}, {"", -1}, {"@example.com", -1},
        // Addresses holding "," or "=" reach no other entry.
        {"anna@example.com,dc=example,dc=com", -1}, {"x,dc=example@com", -1}, {"anna@example.com=x", -1}};
    for (auto [mail, count] : cases) {
        SearchReq* found = FindUserByMail(client, mail);
        EXPECT_EQ(Count(found), count) << (mail ? mail : "(null)");
        EXPECT_STREQ(count == 1 && found ? found->dn : kAnnaDn, kAnnaDn);
        client.srch_free(found);
    }
    client.ldapClientUnbind();
    EXPECT_EQ(FindUserByMail(client, "anna@example.com"), nullptr);  // not connected
}

TEST_F(Directory, AttrValuesIgnoreNameCaseAndAreEmptyWhenMissing) {
    ldapClient client;
    ASSERT_NE(OpenDirectory(client), nullptr);
    SearchReq* anna = FindUserByMail(client, "anna@example.com");
    for (auto [name, value] : Pairs{{"telephonenumber", "+44 20 7946 0101"}, {"TELEPHONENUMBER", "+44 20 7946 0101"},
                                    {"streetaddress", "1 High Street"}, {"othermailbox", "SMTP$anna@partner.example"},
                                    {"mail", "anna@example.com"}, {"description", ""}, {"", ""}})
        EXPECT_STREQ(GetAttrValue(anna, name), value) << name;
    EXPECT_STREQ(GetAttrValue(nullptr, "mail"), "");
    client.srch_free(anna);
    int status = 0;  // only Anna has a postal address, whichever entry comes first
    SearchReq* both = client.ldapClientSearch("dc=example,dc=com", 1, 0, "(objectClass=xoperson)", &status);
    EXPECT_STREQ(GetAttrValue(both, "streetaddress"), "1 High Street");
    client.srch_free(both);
}

TEST_F(Directory, ClientSearchesAndRefusals) {
    ldapClient client;
    EXPECT_NE(client.ldapClientBind("root", "kpqz"), 0);  // not connected
    EXPECT_TRUE(client.ldapClientConnect("", 389) != 0 && client.ldapClientConnect(nullptr, 389) != 0);
    ASSERT_EQ(client.ldapClientConnect("127.0.0.1", sandbox().Port()), 0);
    EXPECT_EQ(client.ldapClientBind("root", "wrong"), LDAP_INVALID_CREDENTIALS);
    EXPECT_EQ(client.ldapClientBind("root", "kpqz"), 0);  // a bare name binds as cn=<name>
    for (auto [base, filter, expected] : {std::tuple{"dc=example,dc=com", "(mail=nobody@x)", 1},
                                          {"dc=missing,dc=com", "(objectClass=*)", 1}, {"", "(broken", -1}}) {
        int status = -7;
        SearchReq* result = client.ldapClientSearch(base, 2, 0, filter, &status);
        EXPECT_EQ(std::make_pair(status == 0 || status == 1 ? status : -1, Count(result)),
                  std::make_pair(expected, expected == 1 ? 0 : -1)) << filter;
        client.srch_free(result);
    }
    int status = -7;  // names as the pages read them (stored as "street", "otherMailbox")
    SearchReq* users = client.ldapClientSearch("", 2, 0, "(objectClass=xoperson)", &status);
    client.ldapClientUnbind();  // the copies outlive the connection
    EXPECT_EQ(std::make_pair(status, Count(users)), std::make_pair(0, 2));
    EXPECT_EQ(Values(users, "mail").size(), 3u);
    EXPECT_EQ(Values(users, "streetaddress"), Strings{"1 High Street"});
    EXPECT_EQ(Values(users, "othermailbox"), Strings{"SMTP$anna@partner.example"});
    client.srch_free(users);
}

TEST_F(Directory, ClientRefusesValuesAndDnsThatDoNotFitInsteadOfCuttingThem) {
    std::string fits(511, 'f');
    ASSERT_TRUE(sandbox().Add("dn: mail=f,dc=example,dc=com\nobjectClass: xoperson\nstreet: " + fits + "\n"));
    ldapClient client;
    Open(client);
    int status = 0;
    SearchReq* result = client.ldapClientSearch("dc=example,dc=com", 2, 0, "(mail=f)", &status);
    EXPECT_EQ(Values(result, "streetaddress"), Strings{fits});
    client.srch_free(result);
    ASSERT_TRUE(sandbox().Add("dn: mail=x,dc=example,dc=com\nobjectClass: xoperson\nstreet: " + fits + "x\n"));
    EXPECT_EQ(client.ldapClientSearch("dc=example,dc=com", 2, 0, "(objectClass=xoperson)", &status), nullptr);
    EXPECT_EQ(status, -1);
    EXPECT_NE(sandbox().ReadLog().find("does not fit 511 bytes"), std::string::npos) << sandbox().ReadLog();
    std::string parent = "dc=com", ldif;  // a DN over 2047 bytes, of labels the database accepts
    for (char label = 'a'; label < 'l'; ++label)
        ldif += "dn: " + (parent = "dc=" + std::string(200, label) + "," + parent) + "\nobjectClass: domain\n\n";
    ASSERT_TRUE(sandbox().Add(ldif));
    EXPECT_EQ(client.ldapClientSearch("dc=com", 2, 0, "(objectClass=domain)", &status), nullptr);
    EXPECT_EQ(status, -1);
    EXPECT_NE(sandbox().ReadLog().find("is longer than 2047 bytes"), std::string::npos);
}

TEST_F(Directory, AddAndModifyLeaveOutEmptyValuesAndFailWhole) {
    ldapClient client;
    Open(client);
    attrval* add = List({{0, "objectClass", "xoperson"}, {0, "firstname", ""}, {0, "cn", "Lee"}, {0, "sn", "Lee"}});
    const std::string lee = client.CreateDNFromMail("lee@example.com");
    EXPECT_EQ(client.ldapClientAdd(lee.c_str(), add), 0);  // the naming value is supplied
    EXPECT_EQ(Entry(lee), "dn: " + lee + "\nobjectClass: xoperson\ncn: Lee\nsn: Lee\nmail: lee@example.com\n\n");
    EXPECT_EQ(client.ldapClientAdd(lee.c_str(), add), LDAP_ALREADY_EXISTS);
    EXPECT_EQ(client.ldapClientAdd("mail=x@nowhere.org,dc=nowhere,dc=org", add), LDAP_NO_SUCH_OBJECT);
    EXPECT_NE(client.ldapClientAdd("not a dn", add), 0);

    attrval* change = List({{1, "othermailbox", "SMTP$anna@partner.example"}, {0, "othermailbox", "X400$c=de"},
                            {0, "firstname", ""}, {1, "telephoneNumber", ""}, {0, "mail", "a.smith@example.com"}});
    EXPECT_EQ(client.ldapClientModify(kAnnaDn, change), 0);
    std::string anna = Entry(kAnnaDn);
    for (const char* kept : {"othermailbox: X400$c=de\n", "firstname: Anna\n", "telephoneNumber: +44 20 7946 0101\n",
                             "mail: a.smith@example.com\n"})
        EXPECT_NE(anna.find(kept), std::string::npos) << kept << anna;
    EXPECT_EQ(anna.find("SMTP$anna"), std::string::npos);
    EXPECT_NE(client.ldapClientModify("mail=none@example.com,dc=example,dc=com", change), 0);
    attrval* duplicate = List({{0, "mail", "bob.new@example.com"}, {0, "mail", "ann@example.com"}});
    EXPECT_EQ(client.ldapClientModify(kAnnaDn, duplicate), LDAP_TYPE_OR_VALUE_EXISTS);
    EXPECT_EQ(Entry(kAnnaDn), anna);  // nothing of it done
    for (attrval* list : {add, change, duplicate}) FreeAttrList(&list);
    EXPECT_EQ(client.ldapClientDelete("dc=example,dc=com"), -1);  // not a leaf
    EXPECT_EQ(client.ldapClientDelete(lee.c_str()), 0);
    EXPECT_EQ(client.ldapClientDelete(lee.c_str()), -1);
    EXPECT_EQ(Entry(lee), "");
}

TEST(AttributeList, CutsNamesButRefusesValuesOverANode) {
    attrval* list = nullptr;
    std::string fits(511, 'v');
    EXPECT_TRUE(AddAttrValue(&list, 1, std::string(70, 'n').c_str(), "%s", fits.c_str()));
    EXPECT_FALSE(AddAttrValue(&list, 0, "streetaddress", "%s", (fits + "w").c_str()));
    EXPECT_FALSE(AddAttrValue(&list, 0, "cn", "%s %s", fits.c_str(), "x"));
    EXPECT_FALSE(AddAttrValue(nullptr, 0, "cn", "%s", "x"));
    ASSERT_TRUE(list && !list->next);
    EXPECT_EQ(std::make_tuple(list->op, std::string(list->name), std::string(list->value)),
              std::make_tuple(1, std::string(63, 'n'), fits));
    FreeAttrList(&list);
    EXPECT_EQ(list, nullptr);
}

TEST_F(Directory, DnsFromAddressesAreEscapedAndNameOnlyTheirOwnEntry) {
    ldapClient client;
    for (auto [mail, dn] : Pairs{{"a,dc=evil@x.org", "mail=a\\,dc\\=evil@x.org,dc=x,dc=org"},
                                 {"a+b@x.org", "mail=a\\+b@x.org,dc=x,dc=org"}, {"postmaster", "mail=postmaster"},
                                 {"x@y@z.org", "mail=x@y@z.org,dc=z,dc=org"}, {"#a @b.", "mail=\\#a @b.,dc=b"},
                                 {"a@e,vil.com", "mail=a@e\\,vil.com,dc=e\\,vil,dc=com"},
                                 {"trailing @x ", "mail=trailing @x\\ ,dc=x\\ "}})
        EXPECT_STREQ(client.CreateDNFromMail(mail), dn);
    EXPECT_EQ(client.CreateDNFromMail(nullptr), nullptr);
    Open(client);
    const char* crafted = "bob@example.com,dc=example,dc=com";  // unescaped, Bob's DN
    attrval* list = List({{0, "objectClass", "xoperson"}});
    EXPECT_NE(client.ldapClientAdd(client.CreateDNFromMail(crafted), list), LDAP_ALREADY_EXISTS);
    EXPECT_EQ(client.ldapClientDelete(client.CreateDNFromMail(crafted)), -1);
    EXPECT_NE(Entry("mail=bob@example.com,dc=example,dc=com"), "");
    FreeAttrList(&list);
}

TEST_F(Directory, StoresReplacesAndHidesProfileStrings) {
    ldapClient client;
    Open(client);
    EXPECT_EQ(client.ldapGetProfileString("PreProcessor", "AliasSequence"), nullptr);
    for (auto [section, key, value] : std::vector<std::tuple<const char*, const char*, std::string>>{
             {"PreProcessor", "AliasSequence", "7!"}, {"preprocessor", "aliassequence", "8"},
             {"mqapi", "mqlocallinuxrootdir", std::string(3000, 'q')}, {"odd,section=x", "key+1", ""}}) {
        EXPECT_EQ(client.ldapWriteProfileString(section, key, value.c_str()), 0);
        char* read = client.ldapGetProfileString(section, key);
        EXPECT_EQ(read ? read : "(null)", value);
        client.free(read);
    }
    char* replaced = client.ldapGetProfileString("PreProcessor", "AliasSequence");  // whatever the letter case
    EXPECT_STREQ(replaced, "8");
    client.free(replaced);
    EXPECT_EQ(client.ldapGetProfileString("mqapi", "other"), nullptr);
    EXPECT_NE(client.ldapWriteProfileString("", "key", "v"), 0);
    int status = 0;  // no user search or domain listing sees them
    for (auto [scope, filter, count] : {std::tuple{2, "(mail=*)", 2}, {2, "(objectClass=xoperson)", 2},
                                        {1, "(objectClass=domain)", 1}}) {
        SearchReq* found = client.ldapClientSearch("", scope, 0, filter, &status);
        EXPECT_EQ(Count(found), count) << filter;
        client.srch_free(found);
    }
}

TEST(DomainNames, ConvertBothWaysEscapingLabels) {
    auto convert = [](char* (*function)(char*), std::string text) {  // on a writable copy
        char* result = function(&text[0]);
        std::string converted = result ? result : "(null)";
        return free(result), converted;
    };
    std::string a255(255, 'a');
    for (auto [function, text, expected] : std::vector<std::tuple<char* (*)(char*), std::string, std::string>>{
             {DomainToDn, "example.com", "dc=example,dc=com"}, {DomainToDn, ".a..b.", "dc=a,dc=b"},
             {DomainToDn, "...", ""}, {DomainToDn, "e,vil=x.com", "dc=e\\,vil\\=x,dc=com"},
             {DomainToDn, a255, "dc=" + a255}, {DomainToDn, a255 + "a", "(null)"},
             {DnToDomain, "mail=a,DC=Example,dc=com", "example.com"}, {DnToDomain, "dc=a,ou=b,dc=c", "a.c"},
             {DnToDomain, "ou=x", "(null)"}, {DnToDomain, "", "(null)"}, {DnToDomain, "mail=xdc=y@z,dc=com", "com"},
             {DnToDomain, "mail=a\\,dc\\=evil@x,dc=x", "x"}, {DnToDomain, "dc=e\\,vil,dc=com", "e,vil.com"}})
        EXPECT_EQ(convert(function, text), expected) << text;
    EXPECT_TRUE(!DomainToDn(nullptr) && !DnToDomain(nullptr));
}

TEST_F(Directory, CreateDomainTreeAddsOnlyMissingEntriesTopDown) {
    ASSERT_TRUE(sandbox().Add("dn: dc=org\nobjectClass: domain\ndc: org\ncn: keep me\n"));
    std::string before = sandbox().Search("", "(objectClass=*)", "* +");
    ldapClient client;
    Open(client);
    EXPECT_TRUE(CreateDomainTree(client, "dc=example,dc=com") && CreateDomainTree(client, "dc=org"));
    EXPECT_EQ(sandbox().Search("", "(objectClass=*)", "* +"), before);
    EXPECT_TRUE(CreateDomainTree(client, "dc=a,dc=b,dc=c"));
    EXPECT_EQ(sandbox().Search("dc=c", "(objectClass=domain)", "dc"),
              "dn: dc=c\ndc: c\n\ndn: dc=b,dc=c\ndc: b\n\ndn: dc=a,dc=b,dc=c\ndc: a\n\n");
    EXPECT_TRUE(CreateDomainTree(client, "dc=e\\,vil\\+x,dc=example,dc=com"));  // one entry per escaped label
    EXPECT_EQ(sandbox().Search("dc=com", "(dc=*+x)", "dc"), "dn: dc=e\\2Cvil\\2Bx,dc=example,dc=com\ndc: e,vil+x\n\n");
    // An entry that is a user is no domain: the add is tried and refused.
    for (const char* bad : {kAnnaDn, "dc=x,mail=anna@example.com,dc=example,dc=com", "", "not a dn"})
        EXPECT_FALSE(CreateDomainTree(client, bad)) << bad;
    EXPECT_FALSE(CreateDomainTree(client, nullptr));
    client.ldapClientUnbind();
    EXPECT_FALSE(CreateDomainTree(client, "dc=net"));
}

TEST_F(Directory, MailAddressScreening) {
    std::string longest = std::string(243, 'a') + "@example.com";
    for (const std::string& good : Strings{"Anna.Smith+mail@Example.COM", "u@b\xc3\xbc" "cher.de", longest})
        EXPECT_STREQ(ValidateMailAddress(good.c_str()), good.c_str());
    for (std::string bad : {"a" + longest, std::string("a@example.com,b@example.com"), std::string("a@x.com;b@x.com"),
                            std::string(""), std::string("plain"), std::string("@x.com"), std::string("a@"),
                            std::string("a@b@example.com"), std::string("a@example..com"), std::string("a\n@x.com")})
        EXPECT_EQ(ValidateMailAddress(bad.c_str()), nullptr) << bad;
    EXPECT_EQ(ValidateMailAddress(nullptr), nullptr);
    EXPECT_EQ(sandbox().ReadLog(), "");  // those are not logged; forbidden characters are
    char* last = ValidateMailAddress("two@example.com");
    for (const char* bad : {"a b@x.com", "a/b@x.com", "a\\b@x.com", "a:b@x.com", "a*@x.com", "a?@x.com", "<a@x.com>",
                            "a|b@x.com", "\"a\"@x.com"})
        EXPECT_EQ(ValidateMailAddress(bad), nullptr) << bad;
    EXPECT_STREQ(last, "two@example.com");
    std::string log = sandbox().ReadLog(), line = "Username should not contain these invalid characters: \\/ :*?<>|\"";
    int lines = 0;
    for (std::size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) ++lines;
    EXPECT_EQ(lines, 9) << log;
    EXPECT_NE(log.find("LDAP CGI"), std::string::npos);
}

}  // namespace
