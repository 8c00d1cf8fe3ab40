// Shared set-up of the directory tests: the process's sandbox server reset to
// a small known tree before each case, XOMTA_CONFIG_DIR pointing at its
// configuration, and a few helpers to read the log and the directory.
#ifndef LDAPCGI_TESTS_DIRECTORY_DIRECTORY_FIXTURE_H
#define LDAPCGI_TESTS_DIRECTORY_DIRECTORY_FIXTURE_H

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "platform/ldapclient.h"
#include "tests/support/directory_sandbox.h"

// dc=com / dc=example,dc=com with two users; Anna has an alias, a connector
// and a postal address.
inline const char kBaseLdif[] =
    "dn: dc=com\nobjectClass: domain\ndc: com\n\n"
    "dn: dc=example,dc=com\nobjectClass: domain\ndc: example\n\n"
    "dn: mail=anna@example.com,dc=example,dc=com\nobjectClass: xoperson\n"
    "mail: anna@example.com\nmail: ann@example.com\nfirstname: Anna\nsn: Smith\ncn: Anna Smith\n"
    "telephoneNumber: +44 20 7946 0101\nstreet: 1 High Street\n"
    "otherMailbox: SMTP$anna@partner.example\nx-permission: SMTP$Send\n\n"
    "dn: mail=bob@example.com,dc=example,dc=com\nobjectClass: xoperson\n"
    "mail: bob@example.com\nfirstname: Bob\nsn: Jones\n";

class DirectoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sandbox().Ok()) << "slapd did not start";
        ASSERT_TRUE(sandbox().Reset(kBaseLdif));
        ASSERT_TRUE(sandbox().WriteConfig());
        ASSERT_TRUE(sandbox().ClearLog());
        setenv("XOMTA_CONFIG_DIR", sandbox().ConfigDir().c_str(), 1);
    }

    static DirectorySandbox& sandbox() { return DirectorySandbox::Get(); }

    // Connects and binds `client` as the sandbox's administrator.
    static void Open(ldapClient& client) {
        ASSERT_EQ(client.ldapClientConnect("127.0.0.1", sandbox().Port()), 0);
        ASSERT_EQ(client.ldapClientBind("cn=root", "kpqz"), 0);
    }

    // ldapsearch output of one entry (base scope), "" when it is absent.
    static std::string Entry(const std::string& dn) {
        return sandbox().Search(dn, "(objectClass=*)");
    }
};

#endif
