// Page handlers of connector administration.
#ifndef LDAPCGI_PAGES_CONNECTORS_CONNECTOR_PAGES_H
#define LDAPCGI_PAGES_CONNECTORS_CONNECTOR_PAGES_H

void ViewConn(const char* mail);
void NewConn(const char* mail);
void ClickConn(const char* mail, const char* otherMailbox, const char* permission);
void EditConn(const char* mail, const char* otherMailbox, const char* permission);
void UpdateConn(const char* mail, const char* otherMailbox, const char* identifier,
                const char* permission);
void DeleteConn(const char* mail, const char* otherMailbox, const char* permission);
void VerifyDeleteConn(const char* mail, const char* otherMailbox, const char* permission);
void AddChannel(const char* mail, const char* channel, const char* identifier,
                const char* permission);
void ListConnMenu();
void ListConn(const char* channel, const char* identifier);

#endif
