// Handlers not built yet: each answers with the invalid-request page.
#include "pages/aliases/alias_pages.h"

#include "app/dispatch.h"

void NewAlias(const char*) { PrintInvalidRequestPage(); }
void ViewAlias(const char*, const char*) { PrintInvalidRequestPage(); }
void EditAlias(const char*, const char*) { PrintInvalidRequestPage(); }
void DeleteAlias(const char*, const char*) { PrintInvalidRequestPage(); }
void ConfirmDeleteAlias(const char*, const char*) { PrintInvalidRequestPage(); }
void UpdateAlias(const char*, const char*, const char*) { PrintInvalidRequestPage(); }
