// Handlers not built yet: each answers with the invalid-request page.
#include "pages/domains/domain_pages.h"

#include "app/dispatch.h"

void BrowseDomain(const char*) { PrintInvalidRequestPage(); }
void ViewUsersDomain(const char*) { PrintInvalidRequestPage(); }
