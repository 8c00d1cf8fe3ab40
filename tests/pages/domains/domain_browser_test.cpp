// The domain browser and the users of a domain, run as the web server runs
// the program against a small dc= tree in the sandbox directory: every level,
// names in capitals and with markup, absent and overlong domains, and the
// directory unreachable.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/directory_sandbox.h"
#include "tests/support/page_texts.h"
#include "tests/support/run_cgi.h"
#include "tests/support/user_page_texts.h"

namespace {
using namespace pagetexts;
using namespace usertexts;
using std::string;
DirectorySandbox& Dir() { return DirectorySandbox::Get(); }

ProcessResult Post(const Fields& fields) { return PostFields(fields, Dir().ConfigDir()); }
ProcessResult Browse(const string& domain) {
    return Post({{"Command", "ViewSubDomain"}, {"Domain", domain}});
}
ProcessResult Users(const string& domain) {
    return Post({{"Command", "ViewUsersDomain"}, {"Domain", domain}});
}

// One row of the browse table; `link` is the name as it stands in the URL,
// `dn` what the form carries in its place.
string Row(const string& name, const string& link = "", const string& dn = "") {
    return "<tr>\n<td><a href=/vemo/cgi-bin/ldapcgi.cgi?Command=ViewSubDomain&Domain=" +
           (link.empty() ? name : link) + ">" + Encode(name) +
           "</td>\n"
           "<form  METHOD=\"POST\" ACTION=\"/vemo/cgi-bin/ldapcgi.cgi\">\n"
           "<input type=\"hidden\" name=\"Domain\" value=\"" +
           Encode(dn.empty() ? name : dn) +
           "\">\n"
           "<td><input type=\"hidden\" name=\"Command\" value=\"ViewUsersDomain\"></td>\n"
           "<td><input type=\"submit\" name=\"ViewUsersDomain\" value=\"Find Users in '" +
           Encode(name) + "'\"></td>\n</form>\n</tr>\n";
}
string BrowsePage(const string& rows) {
    return Header("Browse Domain") + "<center><table border=\"0\" width=\"100%\">\n" + rows +
           "</table></center>\n" + Footer() + "<form>\n<table border=\"0\" align=\"right\">\n\t<tr>\n<td>\n" +
           Help("\t\t", "brdomain") + "\t\t</td>\n</tr>\n</table>\n</form>\n</body></html>\n";
}
string UsersPage(const string& rows) { return Header("User Listing") + UserTable(rows) + PageEnd(); }

string Domain(const string& dn, const string& dc) {
    return "dn: " + dn + "\nobjectClass: domain\ndc: " + dc + "\n\n";
}
string User(const string& dn, const string& mail, const string& rest) {
    return "dn: " + dn + "\nobjectClass: xoperson\nmail: " + mail + "\n" + rest + "\n";
}

// com > example > sales > eu, a name written in capitals and one holding
// markup; org beside com; x.y below com, a label holding ".". Users at four levels.
bool Seed() {
    return Dir().Reset(
        Domain("dc=com", "com") + Domain("dc=example,dc=com", "example") +
        Domain("dc=sales,dc=example,dc=com", "sales") + Domain("DC=Upper,DC=Example,DC=Com", "Upper") +
        Domain("dc=eu,dc=sales,dc=example,dc=com", "eu") + Domain("dc=a\\3Cb\\3E&c,dc=com", "a<b>&c") +
        Domain("dc=x,dc=a\\3Cb\\3E&c,dc=com", "x") + Domain("dc=org", "org") +
        Domain("dc=x.y,dc=com", "x.y") + Domain("dc=w,dc=x.y,dc=com", "w") +
        User("mail=dot@x.y.com,dc=x.y,dc=com", "dot@x.y.com", "sn: Dot\n") +
        User("mail=ann@example.com,dc=example,dc=com", "ann@example.com", "firstname: Ann\nsn: Lee\n") +
        User("mail=zed@example.com,dc=example,dc=com", "zed@example.com", "sn: <b>Zed</b>\n") +
        User("mail=carol@sales.example.com,dc=sales,dc=example,dc=com", "carol@sales.example.com",
             "firstname: Carol\nsn: White\ntelephoneNumber: 42\n") +
        User("mail=eve@eu.sales.example.com,dc=eu,dc=sales,dc=example,dc=com", "eve@eu.sales.example.com",
             "sn: Eu\n"));
}

TEST(DomainBrowser, EveryLevelOfTheTree) {
    ASSERT_TRUE(Seed());
    const string markup = "a<b>&c.com", markupLink = "a%3cb%3e%26c.com", dotted = "dc=x.y,dc=com";
    const std::vector<std::pair<ProcessResult, string>> runs = {
        {Post({{"Command", "BrowseDomainMenu"}}), Row("com") + Row("org")},
        {Post({{"Command", "ViewSubDomain"}}), Row("com") + Row("org")},  // no Domain: the top
        {Browse(""), Row("com") + Row("org")},
        {Browse("com"),
         Row("x.y.com", "dc%3dx.y,dc%3dcom", dotted) + Row("example.com") + Row(markup, markupLink)},
        // A label holding "." is browsed by the DN that the link carries.
        {Browse(dotted), Row("w.x.y.com", "dc%3dw,dc%3dx.y,dc%3dcom", "dc=w," + dotted)},
        // One level only; a DN in capitals comes back in lower case.
        {Browse("example.com"), Row("sales.example.com") + Row("upper.example.com")},
        {Browse("EXAMPLE.com"), Row("sales.example.com") + Row("upper.example.com")},
        {Browse("sales.example.com"), Row("eu.sales.example.com")},
        {Browse(markup), Row("x." + markup, "x." + markupLink)},  // the link leads on
        {Browse("eu.sales.example.com"), ""},                     // a leaf
        {Browse("nowhere.net"), ""},
    };
    for (std::size_t i = 0; i < runs.size(); ++i) {
        EXPECT_EQ(runs[i].first.exitStatus, 0) << "run " << i;
        EXPECT_EQ(runs[i].first.out, BrowsePage(runs[i].second)) << "run " << i;
    }
    // A name longer than a domain name may be is refused, not browsed from the top.
    EXPECT_EQ(Browse(string(256, 'a')).out, ResultPage("Browse Domain", "Error: domain name too long"));
    EXPECT_EQ(Browse(string(255, 'a')).out, BrowsePage(""));
}

TEST(DomainBrowser, UsersDirectlyBelowADomain) {
    ASSERT_TRUE(Seed());
    const std::vector<std::pair<ProcessResult, string>> runs = {
        // Not those of sales.example.com or deeper; sorted by last name as stored ("<" before "l").
        {Users("example.com"),
         ListRow("", "<b>Zed</b>", "", "zed@example.com") + ListRow("Ann", "Lee", "", "ann@example.com")},
        {Users("sales.example.com"), ListRow("Carol", "White", "42", "carol@sales.example.com")},
        {Users("eu.sales.example.com"), ListRow("", "Eu", "", "eve@eu.sales.example.com")},
        {Users("dc=x.y,dc=com"), ListRow("", "Dot", "", "dot@x.y.com")},
        {Users("com"), ""},
        {Users("nowhere.net"), ""},
        {Post({{"Command", "ViewUsersDomain"}}), ""},  // no Domain: the top holds no users
    };
    for (std::size_t i = 0; i < runs.size(); ++i) {
        EXPECT_EQ(runs[i].first.exitStatus, 0) << "run " << i;
        EXPECT_EQ(runs[i].first.out, UsersPage(runs[i].second)) << "run " << i;
    }
    EXPECT_EQ(Users(string(256, 'a')).out, ResultPage("User Listing", "Error: domain name too long"));
}

TEST(DomainBrowser, DirectoryUnreachableIsSaidNotShownAsAnEmptyLevel) {
    ASSERT_TRUE(Dir().WriteRawConfig("[Ldap]\nHostName=127.0.0.1\nPort=1\n"));
    ProcessResult browse = Post({{"Command", "BrowseDomainMenu"}}), users = Users("example.com");
    ASSERT_TRUE(Dir().WriteConfig());
    EXPECT_EQ(browse.exitStatus, 0);
    EXPECT_EQ(browse.out, ResultPage("Browse Domain", "Error connecting to LDAP server"));
    EXPECT_EQ(users.exitStatus, 0);
    EXPECT_EQ(users.out, ResultPage("User Listing", "Error connecting to LDAP server"));
}

}  // namespace
