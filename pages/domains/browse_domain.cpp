// BrowseDomain: one level of the dc= tree. Every sub-domain gets a link one
// level further down and a button listing its users. A directory that cannot
// be reached or a search that fails is said so in the result box, never
// shown as a level without domains. A domain whose labels a dotted name would
// not give back is named by its DN in the link and the button's form.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/limits.h"
#include "html/form_buttons.h"
#include "html/page_frame.h"
#include "html/text_helpers.h"
#include "pages/domains/domain_pages.h"
#include "pages/domains/sub_domains.h"
#include "pages/users/user_links.h"

namespace {

void PrintDomainRows(const std::vector<SubDomain>& list) {
    for (const SubDomain& domain : list) {
        printf("<tr>\n");
        const char* names =
            domain.dn.empty() ? domain.name.c_str() : domain.dn.c_str();  // what the link carries
        std::string link = LinkValue(names);
        printf("<td><a href=%s?Command=ViewSubDomain&Domain=%s>%s</td>\n", SCRIPT_PATH, link.c_str(),
               HtmlEscape(domain.name.c_str()).c_str());
        printf("<form  METHOD=\"POST\" ACTION=\"%s\">\n", SCRIPT_PATH);
        printf("<input type=\"hidden\" name=\"Domain\" value=\"%s\">\n", HtmlEscape(names).c_str());
        printf("<td><input type=\"hidden\" name=\"Command\" value=\"ViewUsersDomain\"></td>\n");
        printf("<td><input type=\"submit\" name=\"ViewUsersDomain\" value=\"Find Users in '%s'\"></td>\n",
               HtmlEscape(domain.name.c_str()).c_str());
        printf("</form>\n");
        printf("</tr>\n");
    }
}

}  // namespace

int BrowseDomain(const char* domain) {
    PrintPageHeader("Browse Domain");
    if (DomainTooLong(domain)) {
        PrintResultPageAndEnd("Error: domain name too long");
        return 0;
    }
    std::vector<SubDomain> list;
    DomainSearch outcome = FindSubDomains(domain, &list);
    if (outcome != DomainSearch::kDone) {
        PrintResultPageAndEnd(outcome == DomainSearch::kNoDirectory ? "Error connecting to LDAP server"
                                                                    : "Error: domain search failed");
        return 0;
    }
    printf("<center>");
    printf("<table border=\"0\" width=\"100%%\">\n");
    PrintDomainRows(list);
    printf("</table></center>\n");
    PrintPageFooter();
    printf("<form>\n");
    printf("<table border=\"0\" align=\"right\">\n");
    printf("\t<tr>\n<td>\n");
    PrintHelpButton("\t\t", "brdomain");
    printf("\t\t</td>\n</tr>\n");
    printf("</table>\n");
    printf("</form>\n");
    printf("</body>");
    printf("</html>\n");
    return 0;
}
