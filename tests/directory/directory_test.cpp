// The directory layer and its client against the test slapd: the session and
// its settings, the user lookup, searches and values too long for a node, the
// audited changes with their lines, profile strings, the domain tree, the
// primary address, the mail address screen, failure lines, and the time
// limit on a server that never answers. Then TLS to the
// directory and failover between servers, through real requests (the User
// Details page) against a second sandbox slapd that serves a certificate for
// 127.0.0.1 made here with openssl; the CA comes from the OpenLDAP client
// configuration, as LDAPTLS_CACERT or as TLS_CACERT in an ldap.conf named by
// LDAPCONF.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <tuple>
#include <vector>

#include "directory/attribute_list.h"
#include "directory/directory_changes.h"
#include "directory/directory_session.h"
#include "directory/domain_names.h"
#include "directory/entry_stream.h"
#include "directory/mail_address.h"
#include "directory/mail_holders.h"
#include "directory/owners.h"
#include "directory/primary_address.h"
#include "tests/support/directory_sandbox.h"
#include "tests/support/log_lines.h"
#include "tests/support/page_check.h"
#include "tests/support/run_cgi.h"
#include "tests/support/silent_server.h"

namespace {

using Strings = std::vector<std::string>;

const std::string kBaseLdif =  // Anna has an alias, a connector and a postal address
    std::string(kExampleDomainLdif) +
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
        unsetenv("REMOTE_USER"), unsetenv("REMOTE_ADDR");
    }
    DirectorySandbox& sandbox = DirectorySandbox::Get();
    ldapClient client;
};

int Count(ldapClient& client, SearchReq* result) {  // entries before the terminator, -1 for null; frees
    int count = result ? 0 : -1;
    for (const SearchReq* entry = result; entry && entry->next; entry = entry->next) ++count;
    return client.srch_free(result), count;
}

void Fill(AttrList& list, std::initializer_list<std::tuple<int, const char*, const char*>> nodes) {
    for (auto [op, name, value] : nodes) EXPECT_TRUE(AddAttrValue(&list.head, op, name, "%s", value));
    EXPECT_TRUE(AddAttrEnd(&list.head));  // as the pages do
}

// Each [Ldap] setting: the host the session opens (null: refused, and nothing
// printed), its time limit, and how many log lines hold a text.
TEST_F(Directory, OpensAsConfiguredAndRefusesSilentlyWhatCannotBind) {
    for (auto [ini, host, timeout, lines, logged] :
         std::vector<std::tuple<std::string, const char*, int, int, const char*>>{
             {"", "127.0.0.1", 30, 0, "] Timeout"},
             {"Timeout=3601", "127.0.0.1", 30, 1, "] Timeout"},
             // An empty password: never an unauthenticated bind.
             {"Password=", nullptr, 0, 1, "\"cn=root\" with an empty password failed"},
             {"Password=" + std::string(1100, 'p'), nullptr, 0, 1, "[Ldap] Password is longer than"},
             {"HostName=ldap://127.0.0.1:" + std::to_string(sandbox.Port() + 65536), nullptr, 0, 1,
              "Bad parameter"},
             {"HostName=ldap://127.0.0.1:" + std::to_string(sandbox.Port() + (1LL << 32)), nullptr, 0, 1,
              "Bad parameter"},                                     // libldap's int would wrap it to the port
             {"UserName=root", "127.0.0.1", 30, 0, "Password"}}) {  // a name without "=" binds as cn=<name>
        ASSERT_TRUE(sandbox.WriteConfig("[Ldap]\n" + ini + "\n") && sandbox.ClearLog());
        ldapClient session;
        testing::internal::CaptureStdout();
        EXPECT_STREQ(OpenDirectory(session), host) << ini;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << ini;
        EXPECT_EQ(session.ld ? session.Timeout() : 0, timeout) << ini;
        EXPECT_EQ(CountLogLines(sandbox.ReadLog(), logged), lines) << sandbox.ReadLog();
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
    second.ldapClientUnbind();  // the first connection carries on
    // The user found (-1: null; with "," or "=" no other entry is reached) and who holds the address as a
    // mail value: the address is only ever compared, never widens the filter.
    for (auto [mail, count, holders] : std::vector<std::tuple<const char*, int, std::string>>{
             {"ANNA@Example.com", 1, kAnnaDn},
             {"*", 1, ""},  // the first user only
             {nullptr, 1, "(failed)"},
             {"ann@example.com", -1, kAnnaDn},
             {"a*@example.com", -1, ""},
             {"anna@example.com,dc=example,dc=com", -1, ""},
             {"anna@example.com=x", -1, ""},
             {"x)(mail=*", -1, ""},
             {"ann@example.com\\", -1, ""}}) {
        SearchReq* found = FindUserByMail(client, mail);
        EXPECT_STREQ(count == 1 && found ? found->dn : kAnnaDn, kAnnaDn);
        EXPECT_EQ(Count(client, found), count) << (mail ? mail : "(null)");
        MailHolders held = FindMailHolders(client, mail);
        std::string dns = held.answered ? "" : "(failed)";
        for (const std::string& dn : held.dns) dns += dn;
        EXPECT_EQ(dns, holders) << (mail ? mail : "(null)");
    }
}

TEST_F(Directory, ValuesOverANodeAreMarkedAndDnsThatDoNotFitRefusedNeverCut) {
    std::string fits(511, 'f'), parent = "dc=com", deep;  // deep: a DN over 2047 bytes of accepted labels
    for (char c = 'a'; c < 'l'; ++c)
        deep += "dn: " + (parent = "dc=" + std::string(200, c) + "," + parent) + "\nobjectClass: domain\n\n";
    ASSERT_TRUE(sandbox.Add(deep + "dn: mail=f,dc=com\nobjectClass: xoperson\nstreet: " + fits +
                            "\n\ndn: mail=x,dc=com\nobjectClass: xoperson\nsn:: bnVsAGlu\nstreet: " + fits +
                            "x\ntelephoneNumber;lang-en-" + std::string(60, 'a') + ": 555\n"));
    ASSERT_NE(OpenDirectory(client), nullptr);
    int status = 0;
    SearchReq* both =
        client.ldapClientSearch("dc=com", LDAP_SCOPE_SUBTREE, 0, "(|(mail=f)(mail=x))", &status);
    ASSERT_TRUE(both && both->next);
    EXPECT_STREQ(GetAttrValue(both, "streetaddress"), fits.c_str());
    EXPECT_TRUE(HasTooLongValue(both->next, "StreetAddress") && !HasTooLongValue(both->next, "mail") &&
                HasTooLongValue(both->next, "sn"));  // a NUL byte in it
    EXPECT_EQ(Count(client, both), 2);               // the longer value's entry found all the same
    EXPECT_EQ(client.ldapClientSearch("dc=com", LDAP_SCOPE_SUBTREE, 0, "(objectClass=domain)", &status),
              nullptr);
    EXPECT_EQ(status, -1);
    EXPECT_EQ(CountLogLines(sandbox.ReadLog(), "is longer than 2047 bytes"), 1) << sandbox.ReadLog();
    EXPECT_EQ(CountLogLines(sandbox.ReadLog(), "; left out"), 1) << sandbox.ReadLog();
    AttrList list;  // names are cut, values refused
    EXPECT_TRUE(AddAttrValue(&list.head, kAttrDelete, std::string(70, 'n').c_str(), "%s", fits.c_str()));
    EXPECT_FALSE(AddAttrValue(&list.head, kAttrAdd, "cn", "%s %s", fits.c_str(), "x"));
    ASSERT_TRUE(list.head && !list.head->next);
    EXPECT_EQ(std::make_tuple(list.head->op, std::string(list.head->name), std::string(list.head->value)),
              std::make_tuple(kAttrDelete, std::string(63, 'n'), fits));
}

TEST_F(Directory, ChangesLeaveOutEmptyValuesFailWholeAndLeaveOneAuditLineEach) {
    ASSERT_NE(OpenDirectory(client), nullptr);
    AttrList add, edit, duplicate;
    Fill(add, {{kAttrAdd, "objectClass", "xoperson"},
               {kAttrAdd, "firstname", ""},  // empty: not sent, not listed
               {kAttrAdd, "cn", "Lee"}});
    const std::string lee = client.CreateDNFromMail("lee@example.com");
    EXPECT_EQ(DirectoryAdd(client, lee.c_str(), add.head), 0);  // the naming value is supplied
    Fill(edit, {{kAttrDelete, "othermailbox", "SMTP$anna@partner.example"},
                {kAttrAdd, "othermailbox", "X400$c=de"},
                {kAttrAdd, "firstname", ""},
                {kAttrDelete, "telephoneNumber", ""}});  // empty values left out: nothing else goes
    EXPECT_EQ(DirectoryModify(client, kAnnaDn, edit.head), 0);
    const std::string anna =
        sandbox.Search(kAnnaDn, "(objectClass=*)", "firstname telephoneNumber othermailbox sn");
    EXPECT_EQ(
        anna,
        "dn: " + std::string(kAnnaDn) +
            "\nfirstname: Anna\nsn: Smith\ntelephoneNumber: +44 20 7946 0101\nothermailbox: X400$c=de\n\n");
    Fill(duplicate, {{kAttrDelete, "sn", "Smith"}, {kAttrAdd, "mail", "ann@example.com"}});
    EXPECT_EQ(DirectoryModify(client, kAnnaDn, duplicate.head), LDAP_TYPE_OR_VALUE_EXISTS);
    EXPECT_EQ(sandbox.Search(kAnnaDn, "(objectClass=*)", "firstname telephoneNumber othermailbox sn"),
              anna);  // nothing of it done
    EXPECT_EQ(DirectoryDelete(client, "dc=example,dc=com"), LDAP_NOT_ALLOWED_ON_NONLEAF);
    EXPECT_EQ(DirectoryWriteProfileString(client, "mqapi", "Password", "s3cret"), 0);
    client.ldapClientUnbind();
    EXPECT_EQ(DirectoryDelete(client, lee.c_str()), LDAP_SERVER_DOWN);
    const std::string a = "\"" + std::string(kAnnaDn) + "\"", l = "\"" + lee + "\"",
                      who = "audit: user=- address=- command=- ";
    Strings texts;  // after the fields that no dispatcher set here
    for (const std::string& text : LogTexts(sandbox.ReadLog(), "4"))
        texts.push_back(text.rfind(who, 0) == 0 ? text.substr(who.size()) : text);
    EXPECT_EQ(
        texts,
        (Strings{
            "add " + l + " +objectClass=\"xoperson\" +cn=\"Lee\" result=0 (Success)",
            "modify " + a +
                " -othermailbox=\"SMTP$anna@partner.example\" +othermailbox=\"X400$c=de\" result=0 (Success)",
            "modify " + a + " -sn=\"Smith\" +mail=\"ann@example.com\" result=20 (Type or value exists)",
            "delete \"dc=example,dc=com\" result=66 (Operation not allowed on non-leaf)",
            "profile-string section=\"mqapi\" key=\"Password\" value=(hidden) result=0 (Success)",
            "delete " + l + " result=-1 (Can't contact LDAP server)"}));
    EXPECT_EQ(sandbox.ReadLog().find("s3cret"), std::string::npos);
}

// The web server's SIGTERM (the browser gone) while a change waits for its
// answer ends the process only once the change's audit line is written.
TEST_F(Directory, AChangeEndedBySigtermKeepsItsAuditLine) {
    const char bob[] = "mail=bob@example.com,dc=example,dc=com";
    HoldingRelay relay(sandbox.Port(), bob, 1);
    ASSERT_TRUE(relay.Port() > 0 && sandbox.WriteConfig("[Ldap]\nPort=" + std::to_string(relay.Port())));
    const pid_t child = fork();
    if (child == 0) _exit(OpenDirectory(client) ? DirectoryDelete(client, bob) : 1);
    EXPECT_TRUE(relay.WaitHolding());
    kill(child, SIGTERM);
    relay.Release();
    int status = 0;
    EXPECT_TRUE(waitpid(child, &status, 0) == child && WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_NE(sandbox.ReadLog().find("delete \"" + std::string(bob) + "\" result=0 (Success)"),
              std::string::npos);
}

// Their entries are of classes of their own, which no user or domain search
// asks for (a user's class needs a mail value: no string could be stored as one).
TEST_F(Directory, StoresAndReplacesProfileStrings) {
    ASSERT_NE(OpenDirectory(client), nullptr);
    for (auto [section, key, value] : std::vector<std::tuple<const char*, const char*, std::string>>{
             {"PreProcessor", "AliasSequence", "7!"},
             {"preprocessor", "aliassequence", "8"},  // the same string, whatever the case
             {"odd,section=x", "key+1", ""}}) {
        EXPECT_EQ(DirectoryWriteProfileString(client, section, key, value.c_str()), 0);
        char* read = client.ldapGetProfileString("PreProcessor", "AliasSequence");
        EXPECT_STREQ(read, section[0] == 'P' ? "7!" : "8");
        client.free(read);
        EXPECT_EQ((read = client.ldapGetProfileString(section, key)) ? read : "(null)", value);
        client.free(read);
    }
    EXPECT_EQ(client.ldapGetProfileString("mqapi", "other"), nullptr);
}

TEST(PrimaryAddress, ReadsTheFirstValueAsTheDnParserDoes) {
    for (auto [dn, expected] : std::vector<std::pair<std::string, std::string>>{
             {"MAIL=a\\2Bb@x,dc=x", "a+b@x"},
             // Blanks around a value are no part of it, tabs included.
             {"mail=\ta@x,dc=x", "a@x"},
             {"mail=a@x\t,dc=x", "a@x"},
             {"mail=a@x+cn=b,dc=x", "(none)"}}) {
        std::string address;
        EXPECT_EQ(PrimaryAddressFromDn(dn.c_str(), &address) ? address : "(none)", expected) << dn;
    }
}

// A new domain's missing entries, added top down, are the page rows' (a new
// user in a new domain); here a label's escapes below an existing tree.
TEST_F(Directory, CreateDomainTreeAddsOneEntryPerEscapedLabel) {
    ASSERT_NE(OpenDirectory(client), nullptr);
    EXPECT_TRUE(CreateDomainTree(client, "dc=e\\,vil\\+x,dc=example,dc=com"));  // one entry per escaped label
    EXPECT_EQ(sandbox.Search("dc=com", "(dc=*+x)", "dc"),
              "dn: dc=e\\2Cvil\\2Bx,dc=example,dc=com\ndc: e,vil+x\n\n");
}

// The fuzz target checks what an accepted address may hold; here the bounds
// it cannot see, the log line of a forbidden character and the one buffer.
TEST_F(Directory, MailAddressScreening) {
    std::string longest = std::string(243, 'a') + "@example.com";
    char* last = ValidateMailAddress(longest.c_str());
    EXPECT_EQ(last ? last : "(null)", longest);
    for (const std::string& bad : Strings{"a" + longest, "@x.com", "a@", "a@x..com", "a b@x.com", "a*@x.com"})
        EXPECT_EQ(ValidateMailAddress(bad.c_str()), nullptr) << bad;
    EXPECT_EQ(ValidateMailAddress("two@example.com"), last);  // one buffer, overwritten
    EXPECT_EQ(LogTexts(sandbox.ReadLog(), "1"),
              Strings(2, "Username should not contain these invalid characters: \\/ :*?<>|\""));
}

TEST_F(Directory, FailedOperationsLogCodeServerMessageAndMatchedDn) {
    ASSERT_NE(OpenDirectory(client), nullptr);
    AttrList value, large;
    Fill(value, {{kAttrAdd, "objectClass", "xoperson"}});
    for (int i = 0; i < 8000; ++i) AddAttrValue(&large.head, kAttrAdd, "mail", "%0500d", i);  // 4 MB
    AddAttrEnd(&large.head);
    const std::string tail = ", server message \"\", matched DN \"\"";
    std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { client.ldapClientAdd("mail=x@example.com,dc=nowhere,dc=com", value.head); },
         "LDAP add of mail=x@example.com,dc=nowhere,dc=com failed: No such object (32), server message "
         "\"\", matched DN \"dc=com\""},
        {[&] { client.ldapClientDelete("dc=example,dc=com"); },
         "LDAP delete of dc=example,dc=com failed: Operation not allowed on non-leaf (66), server message "
         "\"subordinate objects must be deleted first\", matched DN \"\""},
        {[&] { SearchResult(client, client.ldapClientSearch("dc=com", LDAP_SCOPE_BASE, 0, "(x=", nullptr)); },
         "LDAP search below \"dc=com\" for (x= failed: Bad search filter (-7)" + tail},
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

// A server that accepts and never answers (or stops within an answer), at
// the bind, at the TLS start (ldaps://) and (answering the bind) at the
// search, or at the search of its
// replication state before a second server: the session gives up within the
// time limit. One that waits on regardless fails here, released after 3 s
// rather than hanging. Before a second server, a request that changes the
// directory stops at one that took the connection (it may still carry out a
// change it holds), a reading one goes on.
TEST_F(Directory, AStalledServerIsGivenUpWithinTheTimeLimit) {
    for (auto [answerBind, scheme, changing, second, early] : {std::tuple{false, "", false, false, 0},
                                                               {true, "", false, false, 0},
                                                               {false, "", false, false, 5},  // cut short
                                                               {true, "", false, false, 5},
                                                               {false, "ldaps://", false, true, 0},
                                                               {false, "ldaps://", true, true, 0},
                                                               {true, "", false, true, 0},
                                                               {true, "", true, true, 0}}) {
        SilentServer stalled(answerBind, early);
        int tlsPort = 0, frozen = *scheme ? ListenOnLoopback(&tlsPort) : -1;  // never accepts
        const std::string port = std::to_string(*scheme ? tlsPort : stalled.Port()),
                          next = second ? " " + sandbox.Uri() : "";  // reached when passed on to
        ASSERT_TRUE(stalled.Port() && sandbox.ClearLog() &&
                    sandbox.WriteConfig("[Ldap]\nTimeout=1\nPort=" + port + "\nHostName=" + scheme +
                                        "127.0.0.1" + (*scheme ? ":" + port : "") + next + "\n"));
        auto session = std::async(std::launch::async, [changing = changing] {
            ldapClient own;
            int code = -1;
            SetChangingRequest(changing);
            if (OpenDirectory(own))
                code = ForEachEntry(own, "", LDAP_SCOPE_SUBTREE, "(objectClass=*)", nullptr, "Test search",
                                    [](StreamedEntry&) {});
            SetChangingRequest(false);
            return code;
        });
        const bool givenUp = session.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
        stalled.Release(), close(frozen);
        EXPECT_TRUE(givenUp) << scheme << answerBind;
        EXPECT_EQ(session.get(), second && !changing     ? LDAP_SUCCESS
                                 : answerBind && !second ? LDAP_TIMEOUT
                                                         : -1);
        EXPECT_EQ(CountLogLines(sandbox.ReadLog(), "Timed out"), 1) << sandbox.ReadLog();
        EXPECT_EQ(CountLogLines(sandbox.ReadLog(), "a change is not sent to the next server"), changing);
    }
}

// Certificates are checked whatever ldap.conf says; HostName lists servers
// tried in turn until one answers; one that refuses the bind ends the list.
// Each case: the User Details page of anna shown or the connection refused,
// the client configuration, the [Ldap] lines, and the start of each log line.
TEST(DirectoryTls, CheckedCertificatesAreAcceptedAndTheFirstServerThatAnswersIsUsed) {
    // server.crt for IP 127.0.0.1 and its own CA (ca.crt); lax.conf trusts no CA and waives the check.
    const ConfigFolder scratch;
    const std::string& folder = scratch.path;
    const ProcessResult made = RunProcess(
        {"/usr/bin/openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
         "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
         "-keyout", folder + "/server.key", "-out", folder + "/server.crt"},
        {}, "");
    ASSERT_EQ(made.exitStatus, 0);
    std::filesystem::copy_file(folder + "/server.crt", folder + "/ca.crt",
                               std::filesystem::copy_options::overwrite_existing);
    ASSERT_TRUE(WriteWholeFile(folder + "/ldap.conf", "TLS_CACERT " + folder + "/ca.crt\n"));
    ASSERT_TRUE(WriteWholeFile(folder + "/lax.conf", "TLS_REQCERT never\n"));
    DirectorySandbox tls(0, folder);
    ASSERT_TRUE(tls.Ok() && tls.Add(kBaseLdif));
    const Environment ca = {{"LDAPTLS_CACERT", folder + "/ca.crt"}},
                      conf = {{"LDAPCONF", folder + "/ldap.conf"}},
                      lax = {{"LDAPCONF", folder + "/lax.conf"}};
    const std::string ldaps = tls.TlsUri(), plain = DirectorySandbox::Get().Uri(),
                      stopped = "ldap://127.0.0.1:1",
                      localhost = "ldaps://localhost:" + ldaps.substr(ldaps.rfind(':') + 1),
                      closed = "LDAP connect to " + stopped + " failed: Can't contact LDAP server (-1)",
                      untrusted = "LDAP connect to " + ldaps +
                                  " failed: Can't contact LDAP server (-1), server message \"\", matched DN "
                                  "\"\", reason \"TLS: peer cert untrusted or revoked";
    const std::tuple<bool, Environment, std::string, Strings> cases[] = {
        {true, ca, "HostName=" + ldaps, {}},
        {true, conf, "HostName=127.0.0.1\nStartTLS=yes", {}},  // Port of the sandbox's own configuration
        {false, lax, "HostName=" + ldaps, {untrusted}},
        {false, ca, "HostName=" + localhost, {"LDAP connect to " + localhost + " failed"}},  // not its name
        {false, ca, "HostName=" + plain + "\nStartTLS=yes", {"LDAP StartTLS with " + plain + " failed: "}},
        {false,
         ca,
         "HostName=ldaps://127.0.0.1:1," + plain + "\nStartTLS=yes",  // each server of a list on its own
         {"LDAP connect to ldaps://127.0.0.1:1 failed", "LDAP StartTLS with " + plain + " failed: "}},
        {true, ca, "HostName= \t" + stopped + "\t " + ldaps + " \nTimeout=1", {closed}},
        {false,
         ca,
         "HostName=" + tls.Uri() + " " + plain + "\nPassword=wrong",
         {"LDAP bind as \"cn=root\" failed: Invalid credentials (49)"}},
    };
    for (auto [accepted, env, ldap, logged] : cases) {
        ASSERT_TRUE(tls.WriteConfig("[Ldap]\n" + ldap + "\n") && tls.ClearLog());
        env.insert({{"XOMTA_CONFIG_DIR", tls.ConfigDir()},
                    {"REQUEST_METHOD", "GET"},
                    {"QUERY_STRING", "Command=FindUser&Mail=anna%40example.com"}});
        ProcessResult result = RunCgi(env);
        EXPECT_EQ(result.exitStatus, 0) << ldap;
        EXPECT_NE(result.out.find(accepted ? "Smith" : "Error connecting to LDAP port on server"),
                  std::string::npos)
            << ldap << result.out;
        const Strings texts = LogTexts(tls.ReadLog());
        ASSERT_EQ(texts.size(), logged.size()) << ldap << "\n" << tls.ReadLog();
        for (std::size_t i = 0; i < texts.size(); ++i)
            EXPECT_EQ(texts[i].rfind(logged[i], 0), 0u) << ldap << ": " << texts[i];
    }
}

}  // namespace
