// dc= names: conversions both ways, case helpers, and the creation of
// missing domain entries against the test slapd.
#include <cstdlib>
#include <cstring>
#include <string>

#include "directory/domain_names.h"
#include "tests/directory/directory_fixture.h"

namespace {

// Runs DomainToDn on a writable copy; "(null)" for a null result.
std::string ToDn(const std::string& domain) {
    std::string copy = domain;
    char* dn = DomainToDn(&copy[0]);
    std::string text = dn ? dn : "(null)";
    free(dn);
    return text;
}

std::string ToDomain(const std::string& dn) {
    std::string copy = dn;
    char* domain = DnToDomain(&copy[0]);
    std::string text = domain ? domain : "(null)";
    free(domain);
    return text;
}

TEST(DomainNames, DomainToDnSplitsAtDotsAndEscapesLabels) {
    EXPECT_EQ(ToDn("example.com"), "dc=example,dc=com");
    EXPECT_EQ(ToDn("a..b"), "dc=a,dc=b");
    EXPECT_EQ(ToDn(".a.b."), "dc=a,dc=b");
    EXPECT_EQ(ToDn("Mixed.Case"), "dc=Mixed,dc=Case");
    EXPECT_EQ(ToDn(""), "");
    EXPECT_EQ(ToDn("..."), "");
    EXPECT_EQ(ToDn("e,vil=x.com"), "dc=e\\,vil\\=x,dc=com");
    EXPECT_EQ(ToDn(std::string(255, 'a')), "dc=" + std::string(255, 'a'));
    EXPECT_EQ(ToDn(std::string(256, 'a')), "(null)");
    EXPECT_EQ(DomainToDn(nullptr), nullptr);

    char text[] = "x.y";
    char* dn = DomainToDn(text);
    EXPECT_STREQ(text, "x");  // the caller's text is spent
    free(dn);
}

TEST(DomainNames, DnToDomainKeepsDcComponentsLowerCased) {
    EXPECT_EQ(ToDomain("mail=a,DC=Example,dc=com"), "example.com");
    EXPECT_EQ(ToDomain("dc=a,ou=b,dc=c"), "a.c");
    EXPECT_EQ(ToDomain("ou=x"), "(null)");
    EXPECT_EQ(ToDomain(""), "(null)");
    EXPECT_EQ(ToDomain("mail=xdc=y@z,dc=com"), "com");  // "dc=" inside a value is no component
    EXPECT_EQ(ToDomain("mail=a\\,dc\\=evil@x,dc=x"), "x");
    EXPECT_EQ(ToDomain("dc=e\\,vil,dc=com"), "e,vil.com");
    std::string longDn;
    for (int i = 0; i < 300; ++i) longDn += (i ? ",dc=" : "dc=") + std::string(10, 'a' + i % 26);
    EXPECT_EQ(ToDomain(longDn).size(), 300u * 11 - 1);
    EXPECT_EQ(DnToDomain(nullptr), nullptr);

    char dn[] = "mail=A,DC=B,dc=c";
    free(DnToDomain(dn));
    EXPECT_STREQ(dn, "mail=a");  // lower-cased and cut in place
}

TEST(DomainNames, CaseHelpersChangeOnlyAsciiLetters) {
    char mixed[] = "MiXeD-9\xc3\x89";
    EXPECT_EQ(StrToLower(mixed), mixed);
    EXPECT_STREQ(mixed, "mixed-9\xc3\x89");
    EXPECT_STREQ(StrToUpper(mixed), "MIXED-9\xc3\x89");
    char empty[] = "";
    EXPECT_STREQ(StrToUpper(empty), "");
}

using DomainTree = DirectoryTest;

TEST_F(DomainTree, CreatesMissingEntriesTopDown) {
    ldapClient client;
    Open(client);
    EXPECT_TRUE(CreateDomainTree(client, "dc=a,dc=b,dc=c"));
    EXPECT_EQ(sandbox().Search("dc=c", "(objectClass=domain)", "dc"),
              "dn: dc=c\ndc: c\n\ndn: dc=b,dc=c\ndc: b\n\ndn: dc=a,dc=b,dc=c\ndc: a\n\n");

    // Below an existing tree only the missing entry is added.
    EXPECT_TRUE(CreateDomainTree(client, "dc=sales,dc=example,dc=com"));
    EXPECT_NE(Entry("dc=sales,dc=example,dc=com"), "");
}

TEST_F(DomainTree, LeavesAnExistingTreeUnchanged) {
    ASSERT_TRUE(sandbox().Add("dn: dc=org\nobjectClass: domain\ndc: org\ncn: keep me\n"));
    std::string before = sandbox().Search("", "(objectClass=*)", "* +");
    ldapClient client;
    Open(client);
    EXPECT_TRUE(CreateDomainTree(client, "dc=example,dc=com"));
    EXPECT_TRUE(CreateDomainTree(client, "dc=org"));
    EXPECT_EQ(sandbox().Search("", "(objectClass=*)", "* +"), before);
}

TEST_F(DomainTree, FailsOnNonDomainEntriesAndBadInput) {
    ldapClient client;
    Open(client);
    // The entry exists but is a user: the add is tried and refused.
    EXPECT_FALSE(CreateDomainTree(client, "mail=anna@example.com,dc=example,dc=com"));
    EXPECT_FALSE(CreateDomainTree(client, "dc=x,mail=anna@example.com,dc=example,dc=com"));
    EXPECT_FALSE(CreateDomainTree(client, ""));
    EXPECT_FALSE(CreateDomainTree(client, nullptr));
    EXPECT_FALSE(CreateDomainTree(client, "not a dn"));
    client.ldapClientUnbind();
    EXPECT_FALSE(CreateDomainTree(client, "dc=net"));
}

TEST_F(DomainTree, EscapedLabelsMakeOneEntryEach) {
    ldapClient client;
    Open(client);
    char* suffix = client.GetSuffix("u@e,vil+x.com");
    ASSERT_STREQ(suffix, "dc=e\\,vil\\+x,dc=com");
    EXPECT_TRUE(CreateDomainTree(client, suffix));
    client.free(suffix);
    EXPECT_NE(sandbox().Search("dc=com", "(dc=e,vil+x)", "dc").find("dc: e,vil+x\n"), std::string::npos);
    EXPECT_TRUE(CreateDomainTree(client, "dc=top\\2Clevel"));
    EXPECT_NE(sandbox().Search("dc=top\\2Clevel", "(objectClass=domain)", "dc").find("dc: top,level\n"),
              std::string::npos);
}

}  // namespace
