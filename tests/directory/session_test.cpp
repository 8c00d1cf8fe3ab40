// Opening a directory session from XOMTA.INI, finding users by address and
// reading attribute values, against the test slapd.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "directory/directory_session.h"
#include "tests/directory/capture_stdout.h"
#include "tests/directory/directory_fixture.h"

namespace {

using OpenDirectoryTest = DirectoryTest;
using FindUserTest = DirectoryTest;
using AttrValueTest = DirectoryTest;

int SizeLimit(LDAP* ld) {
    int limit = -1;
    ldap_get_option(ld, LDAP_OPT_SIZELIMIT, &limit);
    return limit;
}

bool LoopbackPortFree(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    int reuse = 1;  // as slapd itself binds: a closed connection's TIME_WAIT is no user
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    bool free = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return free;
}

TEST_F(OpenDirectoryTest, ConnectsWithTheConfiguredAccountAndSetsTheRecordLimit) {
    ASSERT_TRUE(sandbox().WriteConfig("[Ldap]\nRecordLimit=1\n"));
    ldapClient client;
    char* host = nullptr;
    std::string printed = CaptureStdout([&] { host = OpenDirectory(client); });
    ASSERT_NE(host, nullptr);
    EXPECT_STREQ(host, "127.0.0.1");
    EXPECT_EQ(printed, "");
    EXPECT_EQ(SizeLimit(client.ld), 1);

    // The limit governs searches on the handle: two users, one returned.
    LDAPMessage* reply = nullptr;
    EXPECT_EQ(ldap_search_s(client.ld, "", LDAP_SCOPE_SUBTREE, "(objectClass=xoperson)", nullptr, 0, &reply),
              LDAP_SIZELIMIT_EXCEEDED);
    EXPECT_EQ(ldap_count_entries(client.ld, reply), 1);
    ldap_msgfree(reply);
    // The client's own searches are not limited: a lookup must see every user.
    SearchReq* all = FindUserByMail(client, "*");
    ASSERT_NE(all, nullptr);
    ASSERT_NE(all->next, nullptr);
    EXPECT_NE(all->next->next, nullptr);
    client.srch_free(all);
    client.ldapClientUnbind();
    client.ldapClientUnbind();

    ASSERT_TRUE(sandbox().WriteConfig());
    ASSERT_NE(OpenDirectory(client), nullptr);
    EXPECT_EQ(SizeLimit(client.ld), 0);
}

TEST_F(OpenDirectoryTest, FailsSilentlyOnWrongPasswordAndClosedPort) {
    ASSERT_TRUE(sandbox().WriteConfig("[Ldap]\nPassword=wrong\n"));
    ldapClient client;
    char* host = reinterpret_cast<char*>(1);
    EXPECT_EQ(CaptureStdout([&] { host = OpenDirectory(client); }), "");
    EXPECT_EQ(host, nullptr);
    EXPECT_EQ(client.ld, nullptr);

    ASSERT_TRUE(sandbox().WriteConfig("[Ldap]\nUserName=cn=nobody\n"));
    EXPECT_EQ(OpenDirectory(client), nullptr);

    ASSERT_TRUE(sandbox().WriteConfig());
    ASSERT_TRUE(sandbox().Stop());
    host = reinterpret_cast<char*>(1);
    std::string printed = CaptureStdout([&] { host = OpenDirectory(client); });
    ASSERT_TRUE(sandbox().Start());
    EXPECT_EQ(host, nullptr);
    EXPECT_EQ(printed, "");
    client.ldapClientUnbind();
}

TEST_F(OpenDirectoryTest, RefusesSettingsThatFillTheirBuffer) {
    std::string longPassword(1100, 'p');
    ASSERT_TRUE(sandbox().WriteConfig("[Ldap]\nPassword=" + longPassword + "\n"));
    ldapClient client;
    EXPECT_EQ(OpenDirectory(client), nullptr);
    EXPECT_NE(sandbox().ReadLog().find("[Ldap] Password is longer than"), std::string::npos);
}

TEST_F(OpenDirectoryTest, HostNameMayBeAnLdapUri) {
    ASSERT_TRUE(sandbox().WriteConfig("[Ldap]\nHostName=" + sandbox().Uri() + "\nPort=1\n"));
    ldapClient client;
    EXPECT_NE(OpenDirectory(client), nullptr);
}

TEST_F(OpenDirectoryTest, TwoConnectionsOfOneRequestAtOnce) {
    ldapClient first, second;
    ASSERT_NE(OpenDirectory(first), nullptr);
    ASSERT_NE(OpenDirectory(second), nullptr);
    SearchReq* a = FindUserByMail(first, "anna@example.com");
    SearchReq* b = FindUserByMail(second, "bob@example.com");
    EXPECT_NE(a, nullptr);
    EXPECT_NE(b, nullptr);
    first.srch_free(a);
    second.srch_free(b);
    second.ldapClientUnbind();
    SearchReq* again = FindUserByMail(first, "bob@example.com");
    EXPECT_NE(again, nullptr);
    first.srch_free(again);
}

// Without an [Ldap] section the defaults apply: localhost, port 389, "root",
// "kpqz". Needs a server of our own on port 389.
TEST_F(OpenDirectoryTest, DefaultsReachLocalhostPort389AsRoot) {
    if (geteuid() != 0) GTEST_SKIP() << "port 389 needs root";
    if (!LoopbackPortFree(389)) GTEST_SKIP() << "port 389 is in use on this machine";
    DirectorySandbox standard(389);
    if (!standard.Ok() && !LoopbackPortFree(389)) GTEST_SKIP() << "port 389 was taken meanwhile";
    ASSERT_TRUE(standard.Ok());
    ASSERT_TRUE(standard.Reset(kBaseLdif));
    ASSERT_TRUE(sandbox().WriteRawConfig("[Log]\nFile=" + sandbox().LogFile() + "\n"));
    ldapClient client;
    char* host = OpenDirectory(client);
    ASSERT_NE(host, nullptr);
    EXPECT_STREQ(host, "localhost");
    EXPECT_EQ(SizeLimit(client.ld), 0);
    SearchReq* user = FindUserByMail(client, "anna@example.com");
    EXPECT_NE(user, nullptr);
    client.srch_free(user);
}

TEST_F(OpenDirectoryTest, HostNameStaysValidAfterTheCall) {
    ldapClient client;
    char* host = OpenDirectory(client);
    ASSERT_NE(host, nullptr);
    client.ldapClientUnbind();
    EXPECT_STREQ(host, "127.0.0.1");
}

TEST_F(FindUserTest, FindsByPrimaryAddressOrAll) {
    ldapClient client;
    ASSERT_NE(OpenDirectory(client), nullptr);
    SearchReq* user = FindUserByMail(client, "anna@example.com");
    ASSERT_NE(user, nullptr);
    EXPECT_STREQ(user->dn, "mail=anna@example.com,dc=example,dc=com");
    EXPECT_EQ(user->next->next, nullptr);
    client.srch_free(user);

    user = FindUserByMail(client, "ANNA@Example.com");  // DNs match without regard to case
    EXPECT_NE(user, nullptr);
    client.srch_free(user);

    ASSERT_TRUE(sandbox().Add("dn: mail=nomail@example.com,dc=example,dc=com\nobjectClass: xoperson\n"
                              "mail: nomail@example.com\n"));
    ASSERT_TRUE(sandbox().Add("dn: mail=zoe@example.com,dc=example,dc=com\nobjectClass: xoperson\n"
                              "objectClass: xolistowner\nmail: zoe@example.com\n"));
    for (const char* everyone : {"*", static_cast<const char*>(nullptr)}) {
        SearchReq* all = FindUserByMail(client, everyone);
        int count = 0;
        for (SearchReq* e = all; e && e->next; e = e->next) ++count;
        EXPECT_EQ(count, 4);
        client.srch_free(all);
    }
}

TEST_F(FindUserTest, AliasesAndCraftedAddressesFindNothing) {
    ldapClient client;
    ASSERT_NE(OpenDirectory(client), nullptr);
    EXPECT_EQ(FindUserByMail(client, "ann@example.com"), nullptr);  // an alias of Anna
    EXPECT_EQ(FindUserByMail(client, "nobody@example.com"), nullptr);
    EXPECT_EQ(FindUserByMail(client, "a*@example.com"), nullptr);
    EXPECT_EQ(FindUserByMail(client, ""), nullptr);
    // Unescaped, these would name Anna's entry or the domain holding both users.
    EXPECT_EQ(FindUserByMail(client, "anna@example.com,dc=example,dc=com"), nullptr);
    EXPECT_EQ(FindUserByMail(client, "x,dc=example@com"), nullptr);
    EXPECT_EQ(FindUserByMail(client, "anna@example.com=x"), nullptr);
    EXPECT_EQ(FindUserByMail(client, "@example.com"), nullptr);
    client.ldapClientUnbind();
    EXPECT_EQ(FindUserByMail(client, "anna@example.com"), nullptr);  // not connected
}

TEST_F(AttrValueTest, MatchesNamesWithoutCaseAndReadsThePagesSpelling) {
    ldapClient client;
    ASSERT_NE(OpenDirectory(client), nullptr);
    SearchReq* user = FindUserByMail(client, "anna@example.com");
    ASSERT_NE(user, nullptr);
    EXPECT_STREQ(GetAttrValue(user, "telephonenumber"), "+44 20 7946 0101");
    EXPECT_STREQ(GetAttrValue(user, "TELEPHONENUMBER"), "+44 20 7946 0101");
    EXPECT_STREQ(GetAttrValue(user, "streetaddress"), "1 High Street");
    EXPECT_STREQ(GetAttrValue(user, "othermailbox"), "SMTP$anna@partner.example");
    EXPECT_STREQ(GetAttrValue(user, "mail"), "anna@example.com");
    const char* missing = GetAttrValue(user, "description");
    ASSERT_NE(missing, nullptr);
    EXPECT_STREQ(missing, "");
    EXPECT_STREQ(GetAttrValue(user, ""), "");
    EXPECT_STREQ(GetAttrValue(nullptr, "mail"), "");
    client.srch_free(user);
}

TEST_F(AttrValueTest, TakesALaterEntrysValueWhenEarlierOnesLackIt) {
    ldapClient client;
    ASSERT_NE(OpenDirectory(client), nullptr);
    int status = 0;
    SearchReq* both = client.ldapClientSearch("dc=example,dc=com", 1, 0, "(objectClass=xoperson)", &status);
    ASSERT_EQ(status, 0);
    // Only Anna has a postal address, whichever entry comes first.
    EXPECT_STREQ(GetAttrValue(both, "streetaddress"), "1 High Street");
    client.srch_free(both);
}

}  // namespace
