// Page handlers of connector administration: a user's connector list and
// details, new, edit, update and delete connector, and the users of a
// connector. Each prints one whole page and returns the exit status.
#ifndef LDAPCGI_PAGES_CONNECTORS_CONNECTOR_PAGES_H
#define LDAPCGI_PAGES_CONNECTORS_CONNECTOR_PAGES_H

#include <string>

int ViewConn(const char* mail);
int ClickConn(const char* mail, const char* otherMailbox, const char* permission);
int NewConn(const char* mail);
int AddChannel(const char* mail, const char* channel, const char* identifier, const char* permission);
int EditConn(const char* mail, const char* otherMailbox, const char* permission);
int UpdateConn(const char* mail, const char* otherMailbox, const char* identifier, const char* permission);
int DeleteConn(const char* mail, const char* otherMailbox, const char* permission);
int VerifyDeleteConn(const char* mail, const char* otherMailbox, const char* permission);
int ListConnMenu();
// position and goTo: the page of a long list (see UserTableRequest).
int ListConn(const char* channel, const char* identifier, const char* position, const char* goTo);

// The options of the channel select: one "<option>" per channel of the
// message-queue API's list that is enabled and takes connectors, its name
// upper-cased, in list order. Call after a successful MQInit.
std::string BuildChannelOptions();
// MQInit with the directory's host name, then BuildChannelOptions into
// *options; false, with the failure message there instead, when MQInit fails.
bool ReadChannelOptions(const char* host, std::string* options);
// The offered channel that `channel` names, letter case ignored, spelt as the
// select offers it; "" when none is. Call after a successful MQInit.
std::string OfferedChannel(const char* channel);

#endif
