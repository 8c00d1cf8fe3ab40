// The directory layer and its client against the test slapd, and the name and address checks they use.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "directory/attribute_list.h"
#include "directory/directory_session.h"
#include "directory/domain_names.h"
#include "directory/entry_stream.h"
#include "directory/mail_address.h"
#include "directory/owners.h"
#include "directory/primary_address.h"
#include "tests/support/directory_sandbox.h"
#include "tests/support/holding_relay.h"
#include "tests/support/log_lines.h"

namespace {

using Strings = std::vector<std::string>;

const char kBaseLdif[] =  // Anna has an alias, a connector and a postal address
    "dn: dc=com\nobjectClass: domain\ndc: com\n\ndn: dc=example,dc=com\nobjectClass: domain\ndc: example\n\n"
    "dn: mail=anna@example.com,dc=example,dc=com\nobjectClass: xoperson\nmail: anna@example.com\n"
    "mail: ann@example.com\nfirstname: Anna\nsn: Smith\ntelephoneNumber: +44 20 7946 0101\n"
    "street: 1 High Street\notherMailbox: SMTP$anna@partner.example\n\n"
    "dn: mail=bob@example.com,dc=example,dc=com\nobjectClass: xoperson\nmail: bob@example.com\n";
const char kAnnaDn[] = "mail=anna@example.com,dc=example,dc=com";

class Directory : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sandbox.Ok() && sandbox.Reset(kBaseLdif) && sandbox.WriteConfig() && sandbox.ClearLog());
        setenv("XOMTA_CONFIG_DIR", sandbox.ConfigDir().c_str(), 1);
    }
    std::string Entry(const std::string& dn) { return sandbox.Search(dn, "(objectClass=*)"); }
    DirectorySandbox& sandbox = DirectorySandbox::Get();
    ldapClient client;
};

int Count(ldapClient& client, SearchReq* result) {  // entries before the terminator, -1 for null; frees
    int count = result ? 0 : -1;
    for (const SearchReq* entry = result; entry && entry->next; entry = entry->next) ++count;
    return client.srch_free(result), count;
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

attrval* List(std::initializer_list<std::tuple<int, const char*, const char*>> nodes) {  // as the pages do
    attrval* list = nullptr;
    for (auto [op, name, value] : nodes) EXPECT_TRUE(AddAttrValue(&list, op, name, "%s", value));
    EXPECT_TRUE(AddAttrEnd(&list));
    return list;
}

TEST_F(Directory, OpensAsConfiguredAndRefusesSilentlyWhatCannotBind) {
    ASSERT_TRUE(sandbox.WriteConfig("[Ldap]\nRecordLimit=1\n"));
    char* host = OpenDirectory(client);
    ASSERT_STREQ(host, "127.0.0.1");
    EXPECT_EQ(SizeLimit(client.ld), 1);
    // The limit binds the pages' own searches only.
    EXPECT_EQ(Count(client, client.ldapClientSearch("", 2, 0, "(mail=*)", nullptr)), 2);
    client.ldapClientUnbind(), client.ldapClientUnbind();  // safe twice
    EXPECT_STREQ(host, "127.0.0.1");                       // still valid after the unbind
    ASSERT_TRUE(sandbox.WriteConfig("[Ldap]\nHostName=" + sandbox.Uri() + "\nPort=1\n"));  // URI as it stands
    ASSERT_NE(OpenDirectory(client), nullptr);
    EXPECT_EQ(SizeLimit(client.ld), 0);  // no limit
    std::pair<std::string, std::string> cases[] = {
        // [Ldap] settings (none: server stopped), log text
        {"Password=wrong", ""},
        {"UserName=cn=nobody", ""},
        {"Password=" + std::string(1100, 'p'), "[Ldap] Password is longer than"},
        {"", ""}};
    for (const auto& [ini, logged] : cases) {
        ASSERT_TRUE(sandbox.WriteConfig("[Ldap]\n" + ini + "\n") && (!ini.empty() || sandbox.Stop()));
        ldapClient refused;
        testing::internal::CaptureStdout();
        EXPECT_EQ(OpenDirectory(refused), nullptr) << ini;
        EXPECT_EQ(refused.ld, nullptr) << ini;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << ini;
        ASSERT_TRUE(sandbox.Start());
        EXPECT_NE(sandbox.ReadLog().find(logged), std::string::npos) << ini;
    }
}

TEST_F(Directory, DefaultsReachLocalhostPort389AsRoot) {  // "root", "kpqz" without an [Ldap] section
    if (geteuid() != 0) GTEST_SKIP() << "port 389 needs root";
    DirectorySandbox standard(389);
    if (!standard.Ok() && ldapClient().ldapClientConnect("127.0.0.1", 389) == 0)
        GTEST_SKIP() << "port 389 is in use";
    ASSERT_TRUE(standard.Ok() && sandbox.WriteRawConfig("[Log]\nFile=" + sandbox.LogFile() + "\n"));
    EXPECT_STREQ(OpenDirectory(client), "localhost");
}

TEST_F(Directory, FindsUsersByPrimaryAddressOnlyOverEitherOfTwoConnections) {
    ldapClient second;
    ASSERT_TRUE(OpenDirectory(client) && OpenDirectory(second));
    EXPECT_EQ(Count(second, FindUserByMail(second, "bob@example.com")), 1);
    second.ldapClientUnbind();             // the first connection carries on
    std::pair<const char*, int> cases[] = {// -1: null; with "," or "=" no other entry is reached
                                           {"anna@example.com", 1},
                                           {"ANNA@Example.com", 1},
                                           {"*", 1},  // the first user only
                                           {nullptr, 1},
                                           {"ann@example.com", -1},
                                           {"nobody@example.com", -1},
                                           {"a*@example.com", -1},
                                           {"", -1},
                                           {"@example.com", -1},
                                           {"anna@example.com,dc=example,dc=com", -1},
                                           {"x,dc=example@com", -1},
                                           {"anna@example.com=x", -1}};
    for (auto [mail, count] : cases) {
        SearchReq* found = FindUserByMail(client, mail);
        EXPECT_STREQ(count == 1 && found ? found->dn : kAnnaDn, kAnnaDn);
        EXPECT_EQ(Count(client, found), count) << (mail ? mail : "(null)");
    }
    client.ldapClientUnbind();
    EXPECT_EQ(FindUserByMail(client, "anna@example.com"), nullptr);  // not connected
}

TEST_F(Directory, ClientSearchesReadAttributesAsThePagesNameThem) {
    EXPECT_NE(client.ldapClientBind("root", "kpqz"), 0);  // not connected
    EXPECT_TRUE(client.ldapClientConnect("", 389) != 0 && client.ldapClientConnect(nullptr, 389) != 0);
    ASSERT_EQ(client.ldapClientConnect("127.0.0.1", sandbox.Port()), 0);
    EXPECT_EQ(client.ldapClientBind("root", "kpqz"), 0);  // a bare name binds as cn=<name>
    for (auto [base, filter, expected] : {std::tuple{"dc=example,dc=com", "(mail=nobody@x)", 1},
                                          {"dc=missing,dc=com", "(objectClass=*)", 1},
                                          {"", "(broken", -1}}) {
        int status = -7;
        SearchReq* result = client.ldapClientSearch(base, LDAP_SCOPE_SUBTREE, 0, filter, &status);
        EXPECT_EQ(std::make_pair(status == 0 || status == 1 ? status : -1, Count(client, result)),
                  std::make_pair(expected, expected == 1 ? 0 : -1))
            << filter;
    }
    int status = -7;  // written as "street", "otherMailbox"
    SearchReq* users = client.ldapClientSearch("", LDAP_SCOPE_SUBTREE, 0, "(objectClass=xoperson)", &status);
    client.ldapClientUnbind();  // the copies outlive the connection
    EXPECT_EQ(Values(users, "mail").size(), 3u);
    EXPECT_EQ(Values(users, "streetaddress"), Strings{"1 High Street"});
    EXPECT_EQ(Values(users, "othermailbox"), Strings{"SMTP$anna@partner.example"});
    for (auto [name, value] : {std::pair{"TELEPHONENUMBER", "+44 20 7946 0101"},
                               {"StreetAddress", "1 High Street"},
                               {"description", ""},
                               {"", ""}})
        EXPECT_STREQ(GetAttrValue(users, name), value) << name;  // from whichever entry has it, any case
    EXPECT_STREQ(GetAttrValue(nullptr, "mail"), "");
    EXPECT_EQ(std::make_pair(status, Count(client, users)), std::make_pair(0, 2));
}

TEST_F(Directory, ClientMarksValuesAndRefusesDnsThatDoNotFitInsteadOfCuttingThem) {
    std::string fits(511, 'f'), parent = "dc=com", deep;  // deep: a DN over 2047 bytes of accepted labels
    for (char c = 'a'; c < 'l'; ++c)
        deep += "dn: " + (parent = "dc=" + std::string(200, c) + "," + parent) + "\nobjectClass: domain\n\n";
    ASSERT_TRUE(sandbox.Add(deep + "dn: mail=f,dc=com\nobjectClass: xoperson\nstreet: " + fits +
                            "\n\n"
                            "dn: mail=x,dc=com\nobjectClass: xoperson\nstreet: " +
                            fits + "x\n"));
    ASSERT_NE(OpenDirectory(client), nullptr);
    int status = 0;
    SearchReq* result = client.ldapClientSearch("dc=com", LDAP_SCOPE_SUBTREE, 0, "(mail=f)", &status);
    EXPECT_EQ(Values(result, "streetaddress"), Strings{fits});
    client.srch_free(result);
    // A value over a node: the entry is found, the value marked and left empty, never cut.
    SearchResult both(
        client, client.ldapClientSearch("dc=com", LDAP_SCOPE_SUBTREE, 0, "(|(mail=f)(mail=x))", &status));
    ASSERT_EQ(Count(client, both.release()), 2);
    SearchResult longer(client,
                        client.ldapClientSearch("dc=com", LDAP_SCOPE_SUBTREE, 0, "(mail=x)", &status));
    ASSERT_TRUE(longer);
    const attrval* street = longer.get()->attrs;
    while (street->next != nullptr && strcasecmp(street->name, "streetaddress") != 0) street = street->next;
    EXPECT_EQ(std::make_tuple(street->op, std::string(street->value)),
              std::make_tuple(kAttrTooLong, std::string()));
    EXPECT_TRUE(HasTooLongValue(longer.get(), "StreetAddress"));
    EXPECT_FALSE(HasTooLongValue(longer.get(), "mail"));
    EXPECT_STREQ(GetAttrValue(longer.get(), "streetaddress"), "");
    EXPECT_EQ(client.ldapClientSearch("dc=com", LDAP_SCOPE_SUBTREE, 0, "(objectClass=domain)", &status),
              nullptr);
    EXPECT_EQ(status, -1);
    EXPECT_NE(sandbox.ReadLog().find("is longer than 2047 bytes"), std::string::npos) << sandbox.ReadLog();
}

TEST_F(Directory, AddAndModifyLeaveOutEmptyValuesAndFailWhole) {
    ASSERT_NE(OpenDirectory(client), nullptr);
    attrval* add =
        List({{kAttrAdd, "objectClass", "xoperson"}, {kAttrAdd, "firstname", ""}, {kAttrAdd, "cn", "Lee"}});
    const std::string lee = client.CreateDNFromMail("lee@example.com");
    EXPECT_EQ(client.ldapClientAdd(lee.c_str(), add), 0);  // the naming value is supplied
    EXPECT_EQ(Entry(lee), "dn: " + lee + "\nobjectClass: xoperson\ncn: Lee\nmail: lee@example.com\n\n");
    EXPECT_EQ(client.ldapClientAdd(lee.c_str(), add), LDAP_ALREADY_EXISTS);
    EXPECT_EQ(client.ldapClientAdd("mail=x@nowhere.org,dc=nowhere,dc=org", add), LDAP_NO_SUCH_OBJECT);
    EXPECT_NE(client.ldapClientAdd("not a dn", add), 0);
    for (auto [mail, dn] : {std::pair{"a,dc=evil@x.org", "mail=a\\,dc\\=evil@x.org,dc=x,dc=org"},
                            {"a+b@x.org", "mail=a\\+b@x.org,dc=x,dc=org"},
                            {"postmaster", "mail=postmaster"},
                            {"x@y@z.org", "mail=x@y@z.org,dc=z,dc=org"},
                            {"#a @b.", "mail=\\#a @b.,dc=b"},
                            {"a@e,vil.com", "mail=a@e\\,vil.com,dc=e\\,vil,dc=com"},
                            {"trailing @x ", "mail=trailing @x\\ ,dc=x\\ "}})
        EXPECT_STREQ(client.CreateDNFromMail(mail), dn);  // escaped to name no other entry
    EXPECT_EQ(client.CreateDNFromMail(nullptr), nullptr);
    const std::string crafted = client.CreateDNFromMail("bob@example.com,dc=example,dc=com");  // not Bob's
    EXPECT_NE(client.ldapClientAdd(crafted.c_str(), add), LDAP_ALREADY_EXISTS);
    EXPECT_EQ(client.ldapClientDelete(crafted.c_str()), -1);
    attrval* edit = List({{kAttrDelete, "othermailbox", "SMTP$anna@partner.example"},
                          {kAttrAdd, "othermailbox", "X400$c=de"},
                          {kAttrAdd, "firstname", ""},
                          {kAttrDelete, "telephoneNumber", ""}});
    EXPECT_EQ(client.ldapClientModify(kAnnaDn, edit), 0);
    const std::string anna = Entry(kAnnaDn);
    EXPECT_EQ(anna,
              "dn: " + std::string(kAnnaDn) +
                  "\nobjectClass: xoperson\nmail: anna@example.com\n"
                  "mail: ann@example.com\nfirstname: Anna\nsn: Smith\ntelephoneNumber: +44 20 7946 0101\n"
                  "streetaddress: 1 High Street\nothermailbox: X400$c=de\n\n");
    EXPECT_NE(client.ldapClientModify("mail=none@example.com,dc=example,dc=com", edit), 0);
    attrval* duplicate =
        List({{kAttrAdd, "mail", "bob.new@example.com"}, {kAttrAdd, "mail", "ann@example.com"}});
    EXPECT_EQ(client.ldapClientModify(kAnnaDn, duplicate), LDAP_TYPE_OR_VALUE_EXISTS);
    EXPECT_EQ(Entry(kAnnaDn), anna);  // nothing of it done
    for (attrval* list : {add, edit, duplicate}) FreeAttrList(&list);
    EXPECT_EQ(client.ldapClientDelete("dc=example,dc=com"), -1);  // not a leaf
    EXPECT_EQ(client.ldapClientDelete(lee.c_str()), 0);
}

TEST(AttributeList, CutsNamesButRefusesValuesOverANode) {
    attrval* list = nullptr;
    std::string fits(511, 'v');
    EXPECT_TRUE(AddAttrValue(&list, kAttrDelete, std::string(70, 'n').c_str(), "%s", fits.c_str()));
    EXPECT_FALSE(AddAttrValue(&list, kAttrAdd, "streetaddress", "%s", (fits + "w").c_str()));
    EXPECT_FALSE(AddAttrValue(&list, kAttrAdd, "cn", "%s %s", fits.c_str(), "x"));
    EXPECT_FALSE(AddAttrValue(nullptr, kAttrAdd, "cn", "%s", "x"));
    ASSERT_TRUE(list && !list->next);
    EXPECT_EQ(std::make_tuple(list->op, std::string(list->name), std::string(list->value)),
              std::make_tuple(kAttrDelete, std::string(63, 'n'), fits));
    FreeAttrList(&list);
    EXPECT_EQ(list, nullptr);
}

TEST_F(Directory, StoresReplacesAndHidesProfileStrings) {
    ASSERT_NE(OpenDirectory(client), nullptr);
    EXPECT_EQ(client.ldapGetProfileString("PreProcessor", "AliasSequence"), nullptr);
    for (auto [section, key, value] : std::vector<std::tuple<const char*, const char*, std::string>>{
             {"PreProcessor", "AliasSequence", "7!"},
             {"preprocessor", "aliassequence", "8"},
             {"mqapi", "mqlocallinuxrootdir", std::string(3000, 'q')},
             {"odd,section=x", "key+1", ""}}) {
        EXPECT_EQ(client.ldapWriteProfileString(section, key, value.c_str()), 0);
        char* read = client.ldapGetProfileString(section, key);
        EXPECT_EQ(read ? read : "(null)", value);
        client.free(read);
    }
    char* replaced = client.ldapGetProfileString("PreProcessor", "AliasSequence");  // whatever the case
    EXPECT_STREQ(replaced, "8");
    client.free(replaced);
    EXPECT_EQ(client.ldapGetProfileString("mqapi", "other"), nullptr);
    EXPECT_NE(client.ldapWriteProfileString("", "key", "v"), 0);
    int status = 0;  // no user search or domain listing sees them
    for (auto [scope, filter, count] : {std::tuple{LDAP_SCOPE_SUBTREE, "(mail=*)", 2},
                                        {LDAP_SCOPE_SUBTREE, "(objectClass=xoperson)", 2},
                                        {LDAP_SCOPE_ONELEVEL, "(objectClass=domain)", 1}})
        EXPECT_EQ(Count(client, client.ldapClientSearch("", scope, 0, filter, &status)), count) << filter;
}

TEST(DomainNames, ConvertBothWaysEscapingLabels) {
    auto convert = [](char* (*function)(char*), std::string text) {  // on a writable copy
        char* result = function(&text[0]);
        std::string converted = result ? result : "(null)";
        return free(result), converted;
    };
    std::string a255(255, 'a');
    for (auto [fn, text, expected] : std::vector<std::tuple<char* (*)(char*), std::string, std::string>>{
             {DomainToDn, "example.com", "dc=example,dc=com"},
             {DomainToDn, ".a..b.", "dc=a,dc=b"},
             {DomainToDn, "...", ""},
             {DomainToDn, "e,vil=x.com", "dc=e\\,vil\\=x,dc=com"},
             {DomainToDn, a255, "dc=" + a255},
             {DomainToDn, a255 + "a", "(null)"},
             {DnToDomain, "mail=a,DC=Example,dc=com", "example.com"},
             {DnToDomain, "dc=a,ou=b,dc=c", "a.c"},
             {DnToDomain, "ou=x", "(null)"},
             {DnToDomain, "", "(null)"},
             {DnToDomain, "mail=xdc=y@z,dc=com", "com"},
             {DnToDomain, "mail=a\\,dc\\=evil@x,dc=x", "x"},
             {DnToDomain, "dc=e\\,vil,dc=com", "e,vil.com"}})
        EXPECT_EQ(convert(fn, text), expected) << text;
    EXPECT_TRUE(!DomainToDn(nullptr) && !DnToDomain(nullptr));
}

TEST(PrimaryAddress, ReadsTheFirstValueAsTheDnParserDoes) {
    for (auto [dn, expected] : std::vector<std::pair<std::string, std::string>>{
             {"mail=a@x.org,dc=x,dc=org", "a@x.org"},
             {"MAIL=a\\2Bb@x,dc=x", "a+b@x"},
             {"mail=a\\,b@x,dc=x", "a,b@x"},
             {"mail=\\ a@x\\ ,dc=x", " a@x "},
             // Blanks around a value are no part of it, tabs and line breaks included.
             {"mail=\ta@x\t,dc=x", "a@x"},
             {"mail=\na@x\r,dc=x", "a@x"},
             {"mail=a@x", "(none)"},
             {"cn=a@x,dc=x", "(none)"},
             {"mail=a@x+cn=b,dc=x", "(none)"}}) {
        std::string address;
        EXPECT_EQ(PrimaryAddressFromDn(dn.c_str(), &address) ? address : "(none)", expected) << dn;
    }
}

TEST_F(Directory, CreateDomainTreeAddsOnlyMissingEntriesTopDown) {
    ASSERT_TRUE(sandbox.Add("dn: dc=org\nobjectClass: domain\ndc: org\ncn: keep me\n"));
    std::string before = sandbox.Search("", "(objectClass=*)", "* +");
    ASSERT_NE(OpenDirectory(client), nullptr);
    EXPECT_TRUE(CreateDomainTree(client, "dc=example,dc=com") && CreateDomainTree(client, "dc=org"));
    EXPECT_EQ(sandbox.Search("", "(objectClass=*)", "* +"), before);
    EXPECT_TRUE(CreateDomainTree(client, "dc=a,dc=b,dc=c"));
    EXPECT_EQ(sandbox.Search("dc=c", "(objectClass=domain)", "dc"),
              "dn: dc=c\ndc: c\n\ndn: dc=b,dc=c\ndc: b\n\ndn: dc=a,dc=b,dc=c\ndc: a\n\n");
    EXPECT_TRUE(CreateDomainTree(client, "dc=e\\,vil\\+x,dc=example,dc=com"));  // one entry per escaped label
    EXPECT_EQ(sandbox.Search("dc=com", "(dc=*+x)", "dc"),
              "dn: dc=e\\2Cvil\\2Bx,dc=example,dc=com\ndc: e,vil+x\n\n");
    // An entry that is a user is no domain: the add is tried and refused.
    for (const char* bad : {kAnnaDn, "dc=x,mail=anna@example.com,dc=example,dc=com", "", "not a dn"})
        EXPECT_FALSE(CreateDomainTree(client, bad)) << bad;
    EXPECT_FALSE(CreateDomainTree(client, nullptr));
    client.ldapClientUnbind();
    EXPECT_FALSE(CreateDomainTree(client, "dc=net"));
}

TEST_F(Directory, MailAddressScreening) {
    std::string longest = std::string(243, 'a') + "@example.com";
    for (const std::string& good : Strings{"Anna.Smith+mail@Example.COM",
                                           "u@b\xc3\xbc"
                                           "cher.de",
                                           longest})
        EXPECT_STREQ(ValidateMailAddress(good.c_str()), good.c_str());
    for (const std::string& bad : Strings{"a" + longest, "a@x.com,b@x.com", "a@x.com;b@x.com", "", "plain",
                                          "@x.com", "a@", "a@b@x.com", "a@x..com", "a\n@x.com"})
        EXPECT_EQ(ValidateMailAddress(bad.c_str()), nullptr) << bad;
    EXPECT_EQ(ValidateMailAddress(nullptr), nullptr);
    EXPECT_EQ(sandbox.ReadLog(), "");  // those are not logged; forbidden characters are
    char* last = ValidateMailAddress("two@example.com");
    for (const char* bad : {"a b@x.com", "a/b@x.com", "a\\b@x.com", "a:b@x.com", "a*@x.com", "a?@x.com",
                            "<a@x.com>", "a|b@x.com", "\"a\"@x.com"})
        EXPECT_EQ(ValidateMailAddress(bad), nullptr) << bad;
    EXPECT_STREQ(last, "two@example.com");
    const std::string log = sandbox.ReadLog(),
                      line = "LDAP CGI[" + std::to_string(getpid()) +
                             "]: Username should not contain these invalid characters: \\/ :*?<>|\"\n";
    int lines = 0;  // one for each
    for (std::size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) ++lines;
    EXPECT_EQ(lines, 9) << log;
}

TEST_F(Directory, FailedOperationsLogCodeServerMessageAndMatchedDn) {
    ASSERT_NE(OpenDirectory(client), nullptr);
    AttrList notAllowed, value;
    AddAttrValue(&notAllowed.head, kAttrAdd, "xoprofilevalue", "%s", "x");
    AddAttrValue(&value.head, kAttrAdd, "objectClass", "%s", "xoperson");
    AttrList large;  // 4 MB: more than the socket takes before the server's reset arrives
    for (int i = 0; i < 8000; ++i) AddAttrValue(&large.head, kAttrAdd, "mail", "%0500d", i);
    AddAttrEnd(&notAllowed.head), AddAttrEnd(&value.head), AddAttrEnd(&large.head);
    const std::string tail = ", server message \"\", matched DN \"\"";
    std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { client.ldapClientModify(kAnnaDn, notAllowed.head); },
         "LDAP modify of " + std::string(kAnnaDn) +
             " failed: Object class violation (65), server message \"attribute 'xoprofilevalue' not "
             "allowed\", matched DN \"\""},
        {[&] { client.ldapClientModify("mail=x@example.com,dc=example,dc=com", value.head); },
         "LDAP modify of mail=x@example.com,dc=example,dc=com failed: No such object (32), server message "
         "\"\", matched DN \"dc=example,dc=com\""},
        {[&] { client.ldapClientAdd("mail=x@example.com,dc=nowhere,dc=com", value.head); },
         "LDAP add of mail=x@example.com,dc=nowhere,dc=com failed: No such object (32), server message "
         "\"\", matched DN \"dc=com\""},
        {[&] { client.ldapClientDelete("dc=example,dc=com"); },
         "LDAP delete of dc=example,dc=com failed: Operation not allowed on non-leaf (66), server message "
         "\"subordinate objects must be deleted first\", matched DN \"\""},
        {[&] { SearchResult(client, client.ldapClientSearch("dc=com", LDAP_SCOPE_BASE, 0, "(x=", nullptr)); },
         "LDAP search below \"dc=com\" for (x= failed: Bad search filter (-7)" + tail},
        {[&] { client.ldapWriteProfileString("", "Key", "v"); },
         "LDAP profile string write of /Key failed: Bad parameter to an ldap routine (-9)" + tail},
        {[&] { client.ldapClientBind("root", "wrong"); },
         "LDAP bind as \"cn=root\" failed: Invalid credentials (49)" + tail},
        {[&] { client.ldapClientConnect("127.0.0.1", 1); },
         "LDAP connect to ldap://127.0.0.1:1 failed: Can't contact LDAP server (-1)" + tail},
        {[&] {  // a server that closed the connection: a failed write, not SIGPIPE, ends the modify
             signal(SIGPIPE, SIG_DFL);
             int port = 0, listening = ListenOnLoopback(&port);
             ldapClient dropped;
             dropped.ldapClientConnect("127.0.0.1", port);
             close(accept(listening, nullptr, nullptr)), close(listening);
             dropped.ldapClientModify(kAnnaDn, large.head);
         },
         "LDAP modify of " + std::string(kAnnaDn) + " failed: Can't contact LDAP server (-1)" + tail},
    };
    for (auto& [operation, line] : cases) {
        ASSERT_TRUE(sandbox.ClearLog());
        operation();
        EXPECT_EQ(LogTexts(sandbox.ReadLog()), Strings{line});
    }
}

TEST_F(Directory, TimeoutSettingIsBoundedAndReachesTheClient) {
    for (auto [setting, seconds, logged] : {std::tuple{"", 30, false},
                                            {"Timeout=2", 2, false},
                                            {"Timeout=3600", 3600, false},
                                            {"Timeout=0", 30, true},
                                            {"Timeout=3601", 30, true},
                                            {"Timeout=-5", 30, true}}) {
        ASSERT_TRUE(sandbox.WriteConfig(std::string("[Ldap]\n") + setting + "\n") && sandbox.ClearLog());
        ldapClient opened;
        EXPECT_NE(OpenDirectory(opened), nullptr) << setting;
        EXPECT_EQ(opened.Timeout(), seconds) << setting;
        EXPECT_EQ(sandbox.ReadLog().find("] Timeout") != std::string::npos, logged) << sandbox.ReadLog();
    }
}

// Entries with their DN and mail values, as the callback saw them.
Strings Stream(ldapClient& session, const char* base, int scope, const char* filter, int* code) {
    Strings seen;
    const char* const attributes[] = {"mail", nullptr};
    *code = ForEachEntry(session, base, scope, filter, attributes, "Test search", [&seen](StreamedEntry& e) {
        std::string text(e.Dn().bv_val, e.Dn().bv_len);
        berval name;
        berval* values;
        while (e.NextAttribute(&name, &values))
            for (berval* v = values; v && v->bv_val; ++v)
                text += " " + std::string(name.bv_val, name.bv_len) + "=" + std::string(v->bv_val, v->bv_len);
        seen.push_back(text);
    });
    return seen;
}

TEST_F(Directory, ForEachEntryStreamsEntriesAndEndsOnLimitsAndFailures) {
    ASSERT_TRUE(sandbox.WriteConfig("[Ldap]\nRecordLimit=1\n"));
    ASSERT_NE(OpenDirectory(client), nullptr);
    const std::string anna = std::string(kAnnaDn) + " mail=anna@example.com mail=ann@example.com";
    int code = 0;
    EXPECT_EQ(Stream(client, kAnnaDn, LDAP_SCOPE_BASE, "(objectClass=*)", &code), Strings{anna});
    EXPECT_EQ(code, LDAP_SUCCESS);
    EXPECT_EQ(Stream(client, "", LDAP_SCOPE_SUBTREE, "(objectClass=xoperson)", &code).size(), 1u);
    EXPECT_EQ(code, LDAP_SIZELIMIT_EXCEEDED);  // the cut asked for: no error line
    EXPECT_EQ(sandbox.ReadLog(), "");
    EXPECT_EQ(Stream(client, "", LDAP_SCOPE_SUBTREE, "(broken", &code), Strings{});
    EXPECT_EQ(code, LDAP_FILTER_ERROR);
    EXPECT_EQ(Stream(client, "dc=missing", LDAP_SCOPE_ONELEVEL, "(objectClass=*)", &code), Strings{});
    EXPECT_EQ(code, LDAP_NO_SUCH_OBJECT);
    client.ldapClientUnbind();
    EXPECT_EQ(Stream(client, "", LDAP_SCOPE_SUBTREE, "(objectClass=*)", &code), Strings{});
    EXPECT_EQ(code, LDAP_SERVER_DOWN);
    EXPECT_EQ(LogTexts(sandbox.ReadLog()),
              (Strings{"Test search failed: Bad search filter (-7), server message \"\", matched DN \"\"",
                       "Test search failed: No such object (32), server message \"\", matched DN \"\"",
                       "Test search (no connection) failed: Can't contact LDAP server (-1), server message "
                       "\"\", matched DN \"\""}));
}

TEST_F(Directory, AVisitThatStopsAbandonsTheSearchAndTheSessionGoesOn) {
    ASSERT_NE(OpenDirectory(client), nullptr);
    const char* const attributes[] = {"1.1", nullptr};
    int visited = 0;
    EXPECT_EQ(ForEachEntryUntil(client, "", LDAP_SCOPE_SUBTREE, "(objectClass=*)", attributes, "Test search",
                                [&visited](StreamedEntry&) { return ++visited < 2; }),
              LDAP_USER_CANCELLED);
    EXPECT_EQ(visited, 2);
    EXPECT_EQ(sandbox.ReadLog(), "");  // stopped on purpose: no error line
    int code = 0;
    EXPECT_EQ(Stream(client, "", LDAP_SCOPE_SUBTREE, "(objectClass=xoperson)", &code).size(), 2u);
    EXPECT_EQ(code, LDAP_SUCCESS);
}

}  // namespace
