// Handlers not built yet: each answers with the invalid-request page.
#include "pages/connectors/connector_pages.h"

#include "app/dispatch.h"

void ViewConn(const char*) { PrintInvalidRequestPage(); }
void NewConn(const char*) { PrintInvalidRequestPage(); }
void ClickConn(const char*, const char*, const char*) { PrintInvalidRequestPage(); }
void EditConn(const char*, const char*, const char*) { PrintInvalidRequestPage(); }
void UpdateConn(const char*, const char*, const char*, const char*) { PrintInvalidRequestPage(); }
void DeleteConn(const char*, const char*, const char*) { PrintInvalidRequestPage(); }
void VerifyDeleteConn(const char*, const char*, const char*) { PrintInvalidRequestPage(); }
void AddChannel(const char*, const char*, const char*, const char*) { PrintInvalidRequestPage(); }
void ListConnMenu() { PrintInvalidRequestPage(); }
void ListConn(const char*, const char*) { PrintInvalidRequestPage(); }
