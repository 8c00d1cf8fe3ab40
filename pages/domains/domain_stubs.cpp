// Handlers not built yet: each answers with the invalid-request page.
#include "pages/domains/domain_pages.h"

#include "html/page_frame.h"

int BrowseDomain(const char*) {
    PrintInvalidRequestPage();
    return 0;
}
int ViewUsersDomain(const char*) {
    PrintInvalidRequestPage();
    return 0;
}
