// The export and import of users ([Users] Transfer): a round trip through
// CSV and LDIF with names outside ASCII, markup, commas, quotes, line breaks
// and formula-like cells; each refusal of the import once; the import page's
// forged-request rule and domain scope; imports killed at ten points of
// the write and run again, which end where one clean run ends; and a
// connector taken by another entry between the check and the write.
#include <gtest/gtest.h>
#include <signal.h>

#include <future>
#include <string>
#include <tuple>

#include "tests/support/config_folder.h"
#include "tests/support/directory_sandbox.h"
#include "tests/support/holding_relay.h"
#include "tests/support/page_check.h"

namespace {

using std::string;
const string kConfig =  // RecordLimit bounds the pages, not the files
    "[Users]\nTransfer=yes\n[Channels]\nSMTPC=enabled,connectors\nLOCAL=enabled,connectors\n[Ldap]\nRecordLimit=2\n";
const string kTool = BinaryPath("usertransfer");

// The configuration with the directory reached through `relay`, with the [Ldap] settings of `more`.
string Via(const HoldingRelay& relay, const string& more = "") {
    return kConfig + "[Ldap]\n" + more + "Port=" + std::to_string(relay.Port()) + "\n";
}

// The LDIF of a user below dc=example,dc=com named by `mail`, with the lines `rest` (no last line end).
string User(const string& mail, const string& rest) {
    return "dn: mail=" + mail + ",dc=example,dc=com\nobjectClass: xoperson\n" + rest + "\n\n";
}

const string kSeed = kExampleDomainLdif + ("\n" + SeedFile("transfer"));

Environment ExportRequest(DirectorySandbox& dir, const string& format) {
    return {{"REQUEST_METHOD", "GET"},
            {"XOMTA_CONFIG_DIR", dir.ConfigDir()},
            {"QUERY_STRING", "Command=ExportUsers&Format=" + format}};
}

// The download's body (after its header lines).
string Export(DirectorySandbox& dir, const string& format) {
    const string out = RunCgi(ExportRequest(dir, format)).out;
    return out.substr(out.find("\n\n") + 2);
}

string WriteFile(DirectorySandbox& dir, const string& text) {
    const string path = dir.ConfigDir() + "/users.csv";
    WriteWholeFile(path, text);
    return path;
}

ProcessResult Tool(DirectorySandbox& dir, const string& verb, const string& text) {
    return RunProcess({kTool, verb, WriteFile(dir, text)}, {{"XOMTA_CONFIG_DIR", dir.ConfigDir()}}, "");
}

TEST(Transfer, RoundTripThroughCsvAndLdif) {
    DirectorySandbox& dir = DirectorySandbox::Get();
    ASSERT_TRUE(dir.Reset(kSeed) && dir.WriteConfig(kConfig));
    const string csv = Export(dir, "csv"), ldif = Export(dir, "ldif");
    EXPECT_EQ(csv.substr(0, csv.find('\n') + 1),
              "mail,first name,last name,telephone,address,aliases,connectors,permissions\r\n");
    EXPECT_TRUE(
        Holds(csv,
              "zoe@example.com,Zoë,\"O'Brien, <b>Jr</b>\",'+49 30 1234,\"Hauptstraße 1, \"\"Hof\"\"\r\n<b>2. "
              "Stock</b>\",z.o@example.com -dash@example.com zoe@elsewhere.org,SMTPC$zoe LOCAL$z.o "
              "SMTPC$z\\ o\\\\x,SMTPC$Send/Receive LOCAL$Send\r\n"));
    EXPECT_TRUE(Holds(csv, "anna@example.com,'@nna,Smith,'\t1,"));  // a tab first
    EXPECT_TRUE(Holds(csv, "bob@sub.example.com,,'=Bob,"));
    // Imported as exported, the file changes nothing: no second value goes, no absent cn comes, and what
    // another tool stored where the pages would refuse it stays (an alias, a user without a name, a
    // name too long for the directory client, which a row may not change), and so does a connector
    // that two users share.
    // (and two permissions of one channel, and names whose common name would be too long).
    ASSERT_TRUE(
        dir.Modify("dn: mail=anna@example.com,dc=example,dc=com\nchangetype: modify\nadd: mail\n"
                   "mail: a/b@example.com\n-\nadd: othermailbox\nothermailbox: SMTPC$zoe\n-\n"
                   "add: x-permission\nx-permission: FAX$Send\nx-permission: FAX$Receive\n") &&
        dir.Add(User("mono@example.com", "mail: mono@example.com") +
                User("long@example.com", "mail: long@example.com\nsn: L\nfirstname: " + string(600, 'f')) +
                User("wide@example.com", "mail: wide@example.com\nsn: W\nfirstname: " + string(511, 'w')) +
                // a naming value with a blank the directory ignores
                User("ws@example.com", "sn: W\nmail:: d3NAZXhhbXBsZS5jb20g") +
                // a naming value spelled with a ligature the directory equates
                User("fiona@example.com", "sn: F\nmail: \xef\xac\x81ona@example.com") +
                // a user off its domain's branch
                "dn: mail=odd@example.com,dc=sub,dc=example,dc=com\nobjectClass: xoperson\n"
                "mail: odd@example.com\nsn: O\n\n" +
                // list values too long for the directory client
                User("lv@example.com", "sn: V\nmail: lv@example.com\nmail: " + string(600, 'v') +
                                           "@example.com\nothermailbox: SMTPC$" + string(600, 'c') +
                                           "\nx-permission: SMTPC$" + string(600, 'p'))));
    const string stored = Export(dir, "ldif"), again = Export(dir, "csv");
    EXPECT_TRUE(Holds(again, "\nfiona@example.com,,F,,,,,\r\n"));
    EXPECT_TRUE(Holds(Tool(dir, "apply", again).out,
                      "Rows unchanged: 11\nRows refused: 0\nAll rows were written (0 rows written)."));
    EXPECT_EQ(Export(dir, "ldif"), stored);
    // The naming value's own spelling listed among the aliases (as older exports did) changes nothing.
    EXPECT_TRUE(Holds(Tool(dir, "check", "mail,aliases\nfiona@example.com,\xef\xac\x81ona@example.com\n").out,
                      "Rows unchanged: 1\n"));
    for (const string file : {"mail,first name\nlong@example.com,F\n", "mail,connectors\nlv@example.com,\n"})
        EXPECT_TRUE(Holds(Tool(dir, "check", file).out, "too long to be edited"));
    ASSERT_TRUE(dir.Reset() && dir.Add(ldif)) << ldif;  // the LDIF loads into an empty directory
    EXPECT_EQ(Export(dir, "csv"), csv);
    ASSERT_TRUE(dir.Reset());
    EXPECT_EQ(Tool(dir, "apply", csv).exitStatus, 0);
    EXPECT_EQ(Export(dir, "csv"), csv);
    // A row states the whole user: what its columns do not list goes, and a channel's permission with
    // its last connector.
    EXPECT_EQ(Tool(dir, "apply", "mail,aliases,connectors\nzoe@example.com,,smtpc$zoe\n").exitStatus, 0);
    EXPECT_EQ(dir.Search("", "(mail=zoe@example.com)", "mail othermailbox x-permission"),
              "dn: mail=zoe@example.com,dc=example,dc=com\nmail: zoe@example.com\nothermailbox: SMTPC$zoe\n"
              "x-permission: SMTPC$Send/Receive\n\n");
    // Permissions stay as the row leaves them: one taken from a channel that keeps its connector stays
    // away, one listed for a channel whose last connector goes stays; a second run changes nothing.
    for (const string row : {"zoe@example.com,SMTPC$zoe,", "bob@sub.example.com,,SMTPC$Send/Receive"}) {
        const string file = "mail,connectors,permissions\n" + row + "\n";
        EXPECT_EQ(Tool(dir, "apply", file).exitStatus, 0) << row;
        EXPECT_TRUE(Holds(Tool(dir, "check", file).out, "Rows unchanged: 1\n"));
    }
}

// The browser gone mid-download (the web server closed the pipe): the export
// stops, fails and says so, rather than reading the rest for no one.
TEST(Transfer, ExportStopsWhenTheFileCannotBeSent) {
    DirectorySandbox& dir = DirectorySandbox::Get();
    string users;  // 200 kB of CSV, more than the pipe holds
    for (int i = 0; i < 40; ++i)
        users += User("u" + std::to_string(i) + "@example.com", "streetaddress: " + string(5000, 's'));
    ASSERT_TRUE(dir.Reset(kExampleDomainLdif + users) && dir.WriteConfig(kConfig) && dir.ClearLog());
    const ProcessResult r =
        RunProcess({"/bin/bash", "-c", "set -o pipefail; \"$0\" | head -c 1", LDAPCGI_EXECUTABLE},
                   ExportRequest(dir, "csv"), "");
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_TRUE(Holds(dir.ReadLog(), "the file could not be sent (Broken pipe); the export stopped"));
    Environment none = ExportRequest(dir, "csv");  // a file smaller than the output buffer
    none["QUERY_STRING"] += "&Mail=none@example.com";
    EXPECT_EQ(RunProcess({"/bin/bash", "-c", "\"$0\" >/dev/full", LDAPCGI_EXECUTABLE}, none, "").exitStatus,
              1);
    // A search left unanswered cuts the file, which says so, as does a user's naming value left unsaid
    // (asked, with a values return filter, when a mail value is not plain ASCII).
    ASSERT_TRUE(dir.Add(User("\xc3\xbc@example.com", "")));
    for (const char* marker : {"xoperson", "1.2.826.0.1.3344810.2.3"}) {
        HoldingRelay silent(dir.Port(), marker, 1);
        ASSERT_TRUE(dir.WriteConfig(Via(silent, "Timeout=1\n")));
        EXPECT_TRUE(Holds(Export(dir, "csv"), "\r\nexport incomplete: the directory's search failed"))
            << marker;
    }
}

// Each refusal once: the tool's exit status and a text of its answer.
TEST(Transfer, EachRefusalOnce) {
    DirectorySandbox& dir = DirectorySandbox::Get();
    ASSERT_TRUE(
        dir.Reset(kSeed) && dir.WriteConfig(kConfig) &&
        dir.Modify("dn: mail=bob@sub.example.com,dc=sub,dc=example,dc=com\nchangetype: modify\n"
                   "add: mail;lang-en\nmail;lang-en: tagged@example.com\n-\nadd: othermailbox\n"
                   "othermailbox: SMTPC$" +
                   string(600, 'a') + "\n") &&
        // an entry off its domain's branch whose DN names a spelling of its alias that is not it
        dir.Add(
            "dn: dc=net\nobjectClass: domain\ndc: net\n\ndn: mail=STRA\u1E9EE2@example.com,dc=net\n"
            "objectClass: xoperson\nsn: O\nmail: STRA\u1E9EE2@example.com\nmail: stra\u00DFe2@example.com\n\n"
            // a connector holding a NUL byte
            + User("nul@example.com",
                   "sn: N\nmail: nul@example.com\nothermailbox: SMTPC$k\nothermailbox:: U01UUEMkbgB4") +
            User("nulp@example.com",
                 "sn: N\nmail: nulp@example.com\nothermailbox: SMTPC$p\nx-permission:: U01UUEMkU2VuZAB4")));
    const string head = "mail,first name,last name,aliases,connectors,permissions\n",
                 n = "new@example.com,A,B,",
                 padded = "bob@sub.example.com,SMTPC$0201\\ \\ 555" + Repeated("\\ ", 600);  // blanks ignored
    const std::tuple<string, int, string> rows[] = {
        // the file, the exit status, a text of the answer
        {head + "new@example.com,,,,,", 1, "refused line 2 new@example.com: Incomplete data input"},
        {"mail,first name,last name\nanna@example.com,,\n", 1, "line 2 anna@example.com: Incomplete data"},
        {head + "bad address@example.com,A,B,,,", 1, "Invalid mail address"},
        {head + n + "x\x1b[2K,,", 1, "Invalid alias address x\\x1B[2K\n"},
        {head + n + string(116, 'k') + "@example.com,,", 1, "An alias longer than 127 characters is not"},
        {head + n + "z.o@example.com,,", 1,
         "The address z.o@example.com is held by another entry: mail=zoe@example.com,dc=example,dc=com"},
        {head + n + ",smtpc$ZOE,", 1, "The connector smtpc$ZOE is held by another entry"},
        {head + n + "M\xc3\x9cLLER@example.com,,", 1,
         "LLER@example.com is held by another entry: mail=anna@"},
        {head + n + "fi@example.com,,", 1, "fi@example.com is held by another entry: mail=anna@"},
        {head + n + "tagged@example.com,,", 1, "tagged@example.com is held by another entry: mail=bob@"},
        {"mail,last name,aliases\nz@m\xc3\xbcller.de,Ink,\n", 0, "Rows unchanged: 1\n"},
        {"mail,connectors\n" + padded + "\n", 1, "connectors of this user is too long to be edited"},
        {"mail,connectors\nnul@example.com,SMTPC$k\n", 1, "connectors of this user holds a NUL byte"},
        {"mail,connectors\nnulp@example.com,\n", 1, "permissions of this user holds a NUL byte"},
        {"mail,aliases\nanna@example.com,fi@example.com m\xc3\xbcller@example.com\n", 1,
         "fi@example.com is held by this user in another spelling"},
        // Two spellings that only the folding joins: one address to a new user, two to one that holds both.
        {"mail,last name,aliases\nstra\u00DFe9@example.com,S,STRA\u1E9EE9@example.com\n", 1,
         "is listed twice"},
        {"mail,aliases\nSTRA\u1E9EE2@example.com,stra\u00DFe2@EXAMPLE.com\n", 0, "Rows unchanged: 1\n"},
        {"mail,last name\nstra\u00DFe2@example.com,N\n", 1,
         "e2@example.com is held by another entry: mail=STRA"},
        {head + n + ",SMTPC$z\\ \\ o\\\\x,", 1,
         "The connector SMTPC$z  o\\x is held by another entry: mail=zoe@"},
        {head + n + ",SMTPC$0201\\ 555,", 1, "The connector SMTPC$0201 555 is held by another entry"},
        {head + n + ",SMTPC$\xc3\xb6 SMTPC$\xc3\x96,", 1, "The connector SMTPC$\xc3\x96 is listed twice"},
        {head + n + ",SMTPC$d,\nn2@example.com,A,B,,SMTPC$D,", 1, "The connector SMTPC$D is also in line 2"},
        {head + n + ",NOPE$x,", 1, "Unknown channel in NOPE$x"},
        {head + n + ",SMTPC$,", 1, "Invalid connector SMTPC$"},
        {head + n + ",,SMTPC$Send", 1,
         "You are only allowed to select \"Send/Receive\" permission for \"SMTPC\""},
        {head + n + ",,LOCAL$Send LOCAL$Send/Receive", 1, "Two permissions for one channel"},
        {head + n + ",LOCAL$x,LOCAL$Send SMTPC$Send/Receive", 1,
         "The permission SMTPC$Send/Receive is for a channel without connectors"},
        {head + n + ",SMTPC$x,", 1,
         "You are only allowed to select \"Send/Receive\" permission for \"SMTPC\""},
        {head + n + ",,\n" + n + ",,", 1,
         "refused line 3 new@example.com: The address new@example.com is also in line 2"},
        {head + n + "new@example.com,,", 1, "The address new@example.com is listed twice"},
        {head + "new@example.com," + string(600, 'x') + ",B,,,", 1,
         "Error: name or telephone field overflow"},
        {"mail,first name\nanna@example.com,Anna\n", 0,
         "update line 2 anna@example.com: first name, common name"},
        {"mail,shoe\n", 2, "The header row names an unknown column: shoe"},
        {"mail,Mail\n", 2, "The header row names the column Mail twice"},
        {"first name\nA\n", 2, "The header row has no column mail"},
        {"mail\n\"a@example.com\n", 2, "Line 2: a quoted cell is not closed"},
        {"mail\na\"b@example.com\n", 2, "Line 2: a quote stands inside a cell that is not quoted"},
        {"mail\na@example.com,b\n", 2, "Line 2: more cells than the header row names"},
        {"mail\n\ra@example.com\n", 2, "Line 2: a carriage return stands outside quotes"},
        {"mail,last name\nb@example.com,B\na@example.com\n", 2, "Line 3: fewer cells than the header row"},
        {"mail,last name\na@example.com,B\nb@example.com,M\xfcller\n", 2, "Line 3: a cell is not UTF-8"},
    };
    for (const auto& [file, status, text] : rows) {
        const ProcessResult check = Tool(dir, "check", file);
        EXPECT_EQ(check.exitStatus, status) << file;
        EXPECT_TRUE(Holds(check.out + check.err, text)) << file;
    }
    // A read error is no end of the file (reading /proc/self/mem from its start fails).
    EXPECT_EQ(RunProcess({kTool, "check", "/proc/self/mem"}, {}, "").err,
              "usertransfer: The file cannot be read\n");
    // A refused row keeps every row from being written.
    EXPECT_EQ(Tool(dir, "apply", "mail,first name\nok@example.com,Ok\nbad address,X\n").exitStatus, 1);
    EXPECT_EQ(dir.Search("", "(mail=ok@example.com)", "1.1"), "");
}

// The import page: the upload checked and written, refused when forged, and
// a login limited to some domains refused rows outside them.
TEST(Transfer, ImportPageRules) {
    DirectorySandbox& dir = DirectorySandbox::Get();
    ASSERT_TRUE(dir.Reset(kSeed) && dir.WriteConfig(kConfig + "[Administrators]\nanna=example.com\n"));
    const string body =
        "--B\r\nContent-Disposition: form-data; name=\"Command\"\r\n\r\nImportUsers\r\n--B\r\n"
        "Content-Disposition: form-data; name=\"File\"; filename=\"u.csv\"\r\n\r\nmail,last name,aliases\r\n"
        "in@example.com,In,zoe@elsewhere.org\r\nout@other.org,Out,\r\nzoe@example.com,O,z.o@example.com\r\n--B\r\n"
        "Content-Disposition: form-data; name=\"Apply\"\r\n\r\nyes\r\n--B--\r\n";
    Environment env = {{"REQUEST_METHOD", "POST"},
                       {"CONTENT_TYPE", "multipart/form-data; boundary=B"},
                       {"REMOTE_USER", "anna"},
                       {"XOMTA_CONFIG_DIR", dir.ConfigDir()},
                       {"HTTP_ORIGIN", "http://evil.example"}};
    auto post = [&](const string& sent) {
        env["CONTENT_LENGTH"] = std::to_string(sent.size());
        return RunCgi(env, sent).out;
    };
    EXPECT_TRUE(Holds(post(body), "Invalid CGI values!"));
    env.erase("HTTP_ORIGIN");
    // A File field naming another file than its own upload.
    string other = body;
    other.replace(other.find("\"File\"; filename"), 6, "\"Up\"");
    other.replace(other.rfind("--B--"), 5,
                  "--B\r\nContent-Disposition: form-data; name=\"File\"\r\n\r\n../u.csv\r\n--B--");
    EXPECT_TRUE(Holds(post(other), "No file was sent"));
    const string page = post(body);
    // An alias of another domain is neither given (held or not: not told) nor taken away.
    for (const string row : {"<td>2</td><td>in&#64;example.com", "<td>3</td><td>out&#64;other.org",
                             "<td>4</td><td>zoe&#64;example.com"})
        EXPECT_TRUE(Holds(page, row + "</td><td>The&#32;address&#32;is&#32;outside"));
    EXPECT_TRUE(Holds(page, "Nothing&#32;was&#32;written&#58;"));
    EXPECT_EQ(dir.Search("", "(mail=in@example.com)", "1.1"), "");
    ASSERT_TRUE(dir.WriteConfig(""));  // the setting off: as an unknown command
    EXPECT_EQ(post(body), ExpectedPage("invalid_request"));
}

// `file` applied while the answer to the `occurrence`-th request naming
// `marker` waits and the connector `value` is added to `user`'s entry (none
// when `user` is empty) and `signal` (if any) is sent to the tool.
ProcessResult AppliedRaced(DirectorySandbox& dir, const string& marker, int occurrence, const string& file,
                           const string& user, const string& value, int signal = 0) {
    HoldingRelay relay(dir.Port(), marker, occurrence);
    EXPECT_TRUE(dir.WriteConfig(Via(relay)));
    const string pidFile = dir.ConfigDir() + "/tool.pid", path = WriteFile(dir, file);
    auto run = std::async(std::launch::async, [&] {
        return RunProcess(
            {"/bin/sh", "-c", "echo $$ >" + pidFile + "; exec \"$0\" apply \"$1\"", kTool, path},
            {{"XOMTA_CONFIG_DIR", dir.ConfigDir()}}, "");
    });
    EXPECT_TRUE(relay.WaitHolding());
    EXPECT_TRUE(user.empty() ||
                dir.Modify("dn: mail=" + user + "@example.com,dc=example,dc=com\nchangetype: modify\n" +
                           "add: othermailbox\nothermailbox: " + value + "\n"));
    EXPECT_TRUE(!signal || kill(std::stoi(ReadWholeFile(pidFile)), signal) == 0);
    relay.Release();
    return run.get();
}

// Killed at each of the first ten writes (adds in new domains and updates)
// and run again: the directory one clean run makes.
TEST(Transfer, KilledAndRunAgain) {
    DirectorySandbox& dir = DirectorySandbox::Get();
    string file = "mail,first name,last name,telephone,aliases\nanna@example.com,Anna,Smith,KILL 0,\n";
    for (int i = 1; i < 12; ++i)
        file += "u" + std::to_string(i) + "@d" + std::to_string(i % 3) + ".kill.org,U,S,KILL " +
                std::to_string(i) + ",a" + std::to_string(i) + "@d0.kill.org\n";
    ASSERT_TRUE(dir.Reset(kSeed) && dir.WriteConfig(kConfig));
    ASSERT_EQ(Tool(dir, "apply", file).exitStatus, 0);
    const string clean = Export(dir, "ldif");
    for (int point = 1; point <= 10; ++point) {
        SCOPED_TRACE(point);
        ASSERT_TRUE(dir.Reset(kSeed));
        EXPECT_EQ(AppliedRaced(dir, "KILL", point, file, "", "", SIGKILL).exitStatus, 128 + SIGKILL);
        ASSERT_TRUE(dir.WriteConfig(kConfig));
        EXPECT_EQ(Tool(dir, "apply", file).exitStatus, 0);
        EXPECT_EQ(Export(dir, "ldif"), clean);
    }
}

// The write checks each row again: a connector that another entry took
// after the first check stops the write at its row.
TEST(Transfer, ChangedBetweenCheckAndWrite) {
    DirectorySandbox& dir = DirectorySandbox::Get();
    ASSERT_TRUE(dir.Reset(kSeed));
    const ProcessResult result = AppliedRaced(dir, "SMTPC$race", 1,  // the first check's search for it
                                              "mail,last name,connectors,permissions\nfirst@example.com,F,,\n"
                                              "race@example.com,R,SMTPC$race,SMTPC$Send/Receive\n",
                                              "anna", "SMTPC$race");
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_TRUE(
        Holds(result.out, "Writing stopped. Line 3: The connector SMTPC$race is held by another entry"));
    EXPECT_NE(dir.Search("", "(mail=first@example.com)", "1.1"), "");
    EXPECT_EQ(dir.Search("", "(mail=race@example.com)", "1.1"), "");
    // A connector added by a page after the write pass read the entry: the row, which took the
    // channel's last connector and with it its permission, leaves the permission to the new one.
    EXPECT_EQ(AppliedRaced(dir, "zoe@example.com", 2,
                           "mail,connectors\nzoe@example.com,SMTPC$zoe SMTPC$z\\ o\\x\n", "zoe", "LOCAL$t2")
                  .exitStatus,
              0);
    EXPECT_EQ(
        dir.Search("", "(mail=zoe@example.com)", "othermailbox x-permission"),
        "dn: mail=zoe@example.com,dc=example,dc=com\nothermailbox: SMTPC$zoe\nothermailbox: SMTPC$z o\\x\n"
        "othermailbox: LOCAL$t2\nx-permission: SMTPC$Send/Receive\nx-permission: LOCAL$Send\n\n");
    // The same while the row's write waits, with SIGTERM sent meanwhile: the settle still follows.
    EXPECT_EQ(AppliedRaced(dir, "LOCAL$t2", 1, "mail,connectors\nzoe@example.com,SMTPC$zoe\n", "zoe",
                           "LOCAL$t3", SIGTERM)
                  .exitStatus,
              128 + SIGTERM);
    EXPECT_EQ(dir.Search("", "(mail=zoe@example.com)", "othermailbox x-permission"),
              "dn: mail=zoe@example.com,dc=example,dc=com\nothermailbox: SMTPC$zoe\nothermailbox: LOCAL$t3\n"
              "x-permission: SMTPC$Send/Receive\nx-permission: LOCAL$Send\n\n");
    // A write left unanswered may have been done: it is not called unwritten.
    HoldingRelay silent(dir.Port(), "mail=held@example.com", 1);
    ASSERT_TRUE(dir.WriteConfig(Via(silent, "Timeout=1\n")));
    EXPECT_TRUE(Holds(Tool(dir, "apply", "mail,last name\nheld@example.com,H\n").out,
                      "whether line 2 was written is not known"));
}

}  // namespace
