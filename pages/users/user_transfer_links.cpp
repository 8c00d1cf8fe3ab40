// The export and import links (see user_transfer_links.h).
#include "pages/users/user_transfer_links.h"

#include <cstdio>
#include <string>

#include "base/limits.h"
#include "directory/user_transfer_setting.h"
#include "pages/users/user_links.h"

void PrintUserTransferLinks(const char* domain) {
    if (!UserTransferEnabled()) return;
    std::string scope;
    if (domain != nullptr)
        scope = "&amp;Domain=" + LinkValue(domain);  // quotes and markup come percent-encoded
    printf(
        "<center><a href=\"%s?Command=ExportUsers&amp;Format=csv%s\">Export users (CSV)</a> | "
        "<a href=\"%s?Command=ExportUsers&amp;Format=ldif%s\">Export users (LDIF)</a> | "
        "<a href=\"%s?Command=ImportUsersMenu\">Import users</a></center>\n",
        SCRIPT_PATH, scope.c_str(), SCRIPT_PATH, scope.c_str(), SCRIPT_PATH);
}
