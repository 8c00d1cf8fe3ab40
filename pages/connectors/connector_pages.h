// Page handlers of connector administration.
#ifndef LDAPCGI_PAGES_CONNECTORS_CONNECTOR_PAGES_H
#define LDAPCGI_PAGES_CONNECTORS_CONNECTOR_PAGES_H

int ViewConn(const char* mail);
int NewConn(const char* mail);
int ClickConn(const char* mail, const char* otherMailbox, const char* permission);
int EditConn(const char* mail, const char* otherMailbox, const char* permission);
int UpdateConn(const char* mail, const char* otherMailbox, const char* identifier, const char* permission);
int DeleteConn(const char* mail, const char* otherMailbox, const char* permission);
int VerifyDeleteConn(const char* mail, const char* otherMailbox, const char* permission);
int AddChannel(const char* mail, const char* channel, const char* identifier, const char* permission);
int ListConnMenu();
int ListConn(const char* channel, const char* identifier);

#endif
