// The user lists in pages ([Ldap] PageSize), against the sandbox's server,
// which sorts and cuts them, and against a second one without its sssvlv
// overlay, whose pages are cut from the whole list: both print the same
// pages (tests/pages/expected/sorted_*.html), their Next links walk the
// whole list once, also for the users of a connector and of a domain, and a
// list that shrinks or grows between two pages lands on a page. Markup and
// URL specials stand in every field the links carry. A list that fits one
// page prints as without pages (PageSize 0 is every other page test),
// whatever RecordLimit says.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "tests/support/config_folder.h"
#include "tests/support/directory_sandbox.h"
#include "tests/support/page_check.h"

namespace {

using std::string;
const string kSpecials = "&<\"'>%+#=?;";

// Users a@example.com, b@... with last names "A &<...", "B &<...", each with
// the specials as first name and an SMTPC connector. The user list's query
// carries the specials in every field.
string Users(const string& names) {
    string ldif = kExampleDomainLdif;
    for (std::size_t i = 0; i < names.size(); ++i)
        ldif += string("\ndn: mail=") + names[i] +
                "@example.com,dc=example,dc=com\nobjectClass: xoperson\nmail: " + names[i] +
                "@example.com\nfirstname: " + kSpecials + "\nsn: " + char(toupper(names[i])) + " " +
                kSpecials + "\nothermailbox: SMTPC$" + names[i] + "\n";
    return ldif;
}
string LastName(char initial) { return FormBody({{"", initial + (" " + kSpecials)}}).substr(1); }

const string kEncoded = FormBody({{"", kSpecials}}).substr(1);
const string kList = "Command=ListUsers&FirstName=" + kEncoded + "&LastName=*" + kEncoded +
                     "&Mail=*@example.com&Special=" + kEncoded;

ProcessResult Get(DirectorySandbox& dir, const string& query) {
    return RunCgi(
        {{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", query}, {"XOMTA_CONFIG_DIR", dir.ConfigDir()}});
}

// Follows the Next links from `query`: each page's rows ("|" and the name
// of every user), at most ten pages.
string Walk(DirectorySandbox& dir, string query) {
    const string row = "<tr>\n\t\t\t<td align=left><a href=/vemo/cgi-bin/ldapcgi.cgi?Command=FindUser&Mail=";
    string rows;
    for (int pages = 0; pages < 10 && !query.empty(); ++pages) {
        const string page = Get(dir, query).out;
        rows += "|";
        for (std::size_t at = page.find(row); at != string::npos; at = page.find(row, at + 1))
            rows += page.substr(at + row.size(), page.find('@', at) - at - row.size());
        const std::size_t next = page.find("\">Next</a>"), from = page.rfind('?', next) + 1;
        query = next == string::npos ? "" : page.substr(from, next - from);
        for (std::size_t at; (at = query.find("&amp;")) != string::npos;) query.erase(at + 1, 4);
    }
    return rows;
}

// The pages of seven users at both ends and in the middle (by place and by
// Go to), their walks, and a list that shrinks and grows between two pages.
// `sorted` ([Ldap] lines) holds for Go to by whole names.
void CheckPages(DirectorySandbox& dir, const string& sorted = "") {
    ASSERT_TRUE(dir.Reset(Users("abcdefg")) && dir.WriteConfig("[Ldap]\nPageSize=3\n"));
    const Fields pages = {
        {kList, "sorted_first"},
        {kList + "&GoTo=0", "sorted_first"},
        {kList + "&Position=4", "sorted_middle"},
        {kList + "&Position=99", "sorted_last"},
        {kList + "&GoTo=zzz", "sorted_last"},
    };
    for (const auto& [query, name] : pages) EXPECT_EQ(Get(dir, query).out, ExpectedPage(name)) << query;
    EXPECT_EQ(Walk(dir, kList), "|abc|def|g");
    ASSERT_TRUE(dir.WriteConfig("[Ldap]\nPageSize=3\n" + sorted));
    for (const auto& [name, walk] : {std::pair{'B', "|bcd|efg"}, {'E', "|efg"}, {'G', "|g"}})  // whole names
        EXPECT_EQ(Walk(dir, kList + "&GoTo=" + LastName(name)), walk) << name;
    ASSERT_TRUE(dir.Reset(Users("ab")));  // shrinks below one page: the whole list, no bar
    EXPECT_EQ(Walk(dir, kList + "&Position=4"), "|ab");
    ASSERT_TRUE(dir.Reset(Users("abcdefghi")));
    EXPECT_EQ(Walk(dir, kList + "&Position=4"), "|def|ghi");
}

TEST(SortedPages, TheDirectorySortsAndCutsThePages) {
    DirectorySandbox& dir = DirectorySandbox::Get();
    CheckPages(dir, "RecordLimit=1\n");  // sorted pages are not cut by it
    // The server's order: z, without a last name, comes last. Not in the
    // domain, without a connector: a link to another command would list it.
    ASSERT_TRUE(dir.Reset(Users("abcd") + "\ndn: mail=z@example.com,dc=com\nobjectClass: xoperson\n"));
    EXPECT_EQ(Walk(dir, "Command=ListUsers&Mail=*"), "|abc|dz");
    EXPECT_EQ(Walk(dir, "Command=ListConn&Channel=SMTPC&Identifier=*"), "|abc|d");
    EXPECT_EQ(Walk(dir, "Command=ViewUsersDomain&Domain=example.com"), "|abc|d");
    // Absent last names first and equal keys in reverse arrival, as without pages.
    ASSERT_TRUE(dir.Reset(kExampleDomainLdif + SeedFile("list")) &&
                dir.WriteConfig("[Ldap]\nPageSize=100\nRecordLimit=1\n"));  // nor cut by it
    EXPECT_EQ(Get(dir, "Command=ListUsers&FirstName=&LastName=&Mail=").out, ExpectedPage("user_list"));
}

TEST(SortedPages, AServerThatCannotSortGivesThePagesCutFromTheWholeList) {
    DirectorySandbox plain(0, "", "no");
    CheckPages(plain);  // fails at its first reset when the server did not start
    ASSERT_TRUE(plain.ClearLog() && Get(plain, kList).exitStatus == 0);  // one log line says why
    EXPECT_TRUE(
        std::regex_match(plain.ReadLog(), std::regex(".* user table .read from the whole list instead. "
                                                     "failed: Critical extension .*\n")));
}

}  // namespace
