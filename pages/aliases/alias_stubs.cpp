// Handlers not built yet: each answers with the invalid-request page.
#include "pages/aliases/alias_pages.h"

#include "html/page_frame.h"

int NewAlias(const char*) {
    PrintInvalidRequestPage();
    return 0;
}
int ViewAlias(const char*, const char*) {
    PrintInvalidRequestPage();
    return 0;
}
int EditAlias(const char*, const char*) {
    PrintInvalidRequestPage();
    return 0;
}
int DeleteAlias(const char*, const char*) {
    PrintInvalidRequestPage();
    return 0;
}
int ConfirmDeleteAlias(const char*, const char*) {
    PrintInvalidRequestPage();
    return 0;
}
int UpdateAlias(const char*, const char*, const char*) {
    PrintInvalidRequestPage();
    return 0;
}
