// Connector values ("othermailbox": channel, "$", identifier) and channel
// permissions ("x-permission": channel, "$", permission) as the connector
// pages read and check them: the split of a value, lookups in search
// results, the permission select and the permissions each channel allows.
// Pure text work on results in memory; touches no directory.
#ifndef LDAPCGI_PAGES_CONNECTORS_CONNECTOR_VALUES_H
#define LDAPCGI_PAGES_CONNECTORS_CONNECTOR_VALUES_H

#include <string>
#include <unordered_map>
#include <vector>

#include "platform/ldapclient/ldapclient_limits.h"

struct SearchReq;
struct attrval;

// Longest connector or permission value: what an attribute value node holds.
constexpr std::size_t kMaxConnectorValueLength = kAttrValueSize - 1;

// True when `channel` can name one of the mail system's channels, as a
// channel record holds it: 1 to kChannelNameSize bytes, no "$" (the channel
// ends at the first "$" of a connector value) and no control byte.
bool IsChannelName(const char* channel);

// Splits `value` at its first "$" (the identifier may hold more); false when
// it has none, which makes it no connector.
bool SplitConnector(const char* value, std::string* channel, std::string* identifier);

// The first othermailbox value, over all entries of `result`, equal to
// `value` as a whole, letter case ignored and line breaks in any form (a
// browser sends each back as CRLF); "" when there is none.
const char* FindOtherMailbox(const SearchReq* result, const char* value);

// The whole x-permission value that the entry's attributes `attrs` hold for
// `channel`: the first that begins with channel and "$", letter case
// ignored; null when there is none.
const char* FindPermissionValue(const attrval* attrs, const char* channel);
// Every such value, in the entry's order.
std::vector<std::string> ChannelPermissionValues(const attrval* attrs, const char* channel);
// The permission text of that value, after channel and "$"; "" when none.
const char* GetChannelPermission(const attrval* attrs, const char* channel);
// GetChannelPermission of every channel at once, read in one pass (a page of
// many connectors stays linear): lower-cased channel -> permission text.
std::unordered_map<std::string, const char*> ChannelPermissionTexts(const attrval* attrs);
// The number of othermailbox values in `attrs` that begin with channel and
// "$", letter case ignored.
int CountChannelConnectors(const attrval* attrs, const char* channel);

// The select element of the field "Permission" with the options `channel`
// allows, `current` (null or empty: none) selected when it names one of
// them, letter case ignored.
std::string PrintPermissionSelect(const char* current, const char* channel);
// True when `permission` is one of the four the select offers, exactly.
bool IsPermissionName(const char* permission);
// True when `channel` allows `permission`; otherwise false with the message
// that says what it allows. The channel's name compares in any letter case,
// the permission exactly.
bool CheckConnectorPermission(const char* channel, const char* permission, std::string* message);

#endif
