// Handlers not built yet: each answers with the invalid-request page.
#include "aliastable/alias_table_pages.h"

#include "app/dispatch.h"

void AliasTableMenu() { PrintInvalidRequestPage(); }
void BuildAliasTable() { PrintInvalidRequestPage(); }
