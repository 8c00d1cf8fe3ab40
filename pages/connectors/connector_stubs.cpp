// Handlers not built yet: each answers with the invalid-request page.
#include "pages/connectors/connector_pages.h"

#include "html/page_frame.h"

int ViewConn(const char*) {
    PrintInvalidRequestPage();
    return 0;
}
int NewConn(const char*) {
    PrintInvalidRequestPage();
    return 0;
}
int ClickConn(const char*, const char*, const char*) {
    PrintInvalidRequestPage();
    return 0;
}
int EditConn(const char*, const char*, const char*) {
    PrintInvalidRequestPage();
    return 0;
}
int UpdateConn(const char*, const char*, const char*, const char*) {
    PrintInvalidRequestPage();
    return 0;
}
int DeleteConn(const char*, const char*, const char*) {
    PrintInvalidRequestPage();
    return 0;
}
int VerifyDeleteConn(const char*, const char*, const char*) {
    PrintInvalidRequestPage();
    return 0;
}
int AddChannel(const char*, const char*, const char*, const char*) {
    PrintInvalidRequestPage();
    return 0;
}
int ListConnMenu() {
    PrintInvalidRequestPage();
    return 0;
}
int ListConn(const char*, const char*) {
    PrintInvalidRequestPage();
    return 0;
}
