// Connector and permission values: splitting, lookups in search results,
// the permission select and the channel rules.
#include "pages/connectors/connector_values.h"

#include <strings.h>

#include <cstring>
#include <string>

#include "directory/domain_names.h"
#include "pages/users/user_details.h"
#include "platform/ldapclient/ldapclient.h"
#include "platform/mq/mq_limits.h"

namespace {

constexpr char kOtherMailbox[] = "othermailbox";
constexpr char kPermission[] = "x-permission";

// The channel rules: which options a channel offers and accepts, its name in
// any letter case (the directory finds "dl$x" as a DL value). Channels
// outside the table offer all four and accept any text.
struct ChannelRule {
    const char* channel;
    const char* const* options;  // null-terminated
    const char* refusal;         // the channel's name goes in place of "%s"
};

const char* const kSendReceiveOnly[] = {"Send/Receive", nullptr};
const char* const kSendOrSendReceive[] = {"Send", "Send/Receive", nullptr};
const char* const kAllPermissions[] = {"None", "Receive", "Send", "Send/Receive", nullptr};
constexpr char kOnlySendReceive[] =
    "You are only allowed to select \"Send/Receive\" permission for \"%s\" connector. Please select again.";
constexpr char kOnlySendOrSendReceive[] =
    "You are only allowed to select \"Send/Receive\" or \"Send\" permission for \"%s\" connector. "
    "Please select again.";

const ChannelRule kRules[] = {
    {"DL", kSendReceiveOnly, kOnlySendReceive},
    {"BSMTPOUT", kSendReceiveOnly, kOnlySendReceive},
    {"SMTPC", kSendReceiveOnly, kOnlySendReceive},
    {"LOCAL", kSendOrSendReceive, kOnlySendOrSendReceive},
};

const ChannelRule* RuleOf(const char* channel) {
    for (const ChannelRule& rule : kRules)
        if (strcasecmp(rule.channel, channel) == 0) return &rule;
    return nullptr;
}

// The value of an attribute node when its name is `name` and its value
// begins with channel and "$" (letter case ignored), else null.
const char* ChannelValue(const attrval* node, const char* name, const char* channel,
                         std::size_t channelLength) {
    if (strcasecmp(node->name, name) != 0) return nullptr;
    if (strncasecmp(node->value, channel, channelLength) != 0 || node->value[channelLength] != '$')
        return nullptr;
    return node->value;
}

}  // namespace

bool IsPermissionName(const char* permission) {
    for (const char* const* option = kAllPermissions; *option != nullptr; ++option)
        if (strcmp(*option, permission) == 0) return true;
    return false;
}

bool IsChannelName(const char* channel) {
    std::size_t length = channel != nullptr ? strlen(channel) : 0;
    if (length == 0 || length > kChannelNameSize) return false;
    for (const char* p = channel; *p != '\0'; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == '$' || c < 0x20 || c == 0x7f) return false;
    }
    return true;
}

bool SplitConnector(const char* value, std::string* channel, std::string* identifier) {
    const char* dollar = value != nullptr ? strchr(value, '$') : nullptr;
    if (dollar == nullptr) return false;
    channel->assign(value, static_cast<std::size_t>(dollar - value));
    identifier->assign(dollar + 1);
    return true;
}

const char* FindOtherMailbox(const SearchReq* result, const char* value) {
    const std::string wanted = OneLineBreak(value);
    for (const SearchReq* entry = result; entry != nullptr && entry->next != nullptr; entry = entry->next)
        for (const attrval* node = entry->attrs; node != nullptr && node->next != nullptr; node = node->next)
            if (strcasecmp(node->name, kOtherMailbox) == 0 &&
                strcasecmp(OneLineBreak(node->value).c_str(), wanted.c_str()) == 0)
                return node->value;
    return "";
}

const char* FindPermissionValue(const attrval* attrs, const char* channel) {
    std::size_t length = strlen(channel);
    for (const attrval* node = attrs; node != nullptr && node->next != nullptr; node = node->next)
        if (const char* value = ChannelValue(node, kPermission, channel, length)) return value;
    return nullptr;
}

std::vector<std::string> ChannelPermissionValues(const attrval* attrs, const char* channel) {
    std::size_t length = strlen(channel);
    std::vector<std::string> values;
    for (const attrval* node = attrs; node != nullptr && node->next != nullptr; node = node->next)
        if (const char* value = ChannelValue(node, kPermission, channel, length)) values.emplace_back(value);
    return values;
}

const char* GetChannelPermission(const attrval* attrs, const char* channel) {
    const char* value = FindPermissionValue(attrs, channel);
    return value != nullptr ? value + strlen(channel) + 1 : "";
}

std::unordered_map<std::string, const char*> ChannelPermissionTexts(const attrval* attrs) {
    std::unordered_map<std::string, const char*> texts;
    for (const attrval* node = attrs; node != nullptr && node->next != nullptr; node = node->next) {
        const char* dollar = strchr(node->value, '$');
        if (dollar == nullptr || strcasecmp(node->name, kPermission) != 0) continue;
        std::string channel(node->value, dollar);
        texts.emplace(StrToLower(&channel[0]), dollar + 1);  // the first value of a channel counts
    }
    return texts;
}

int CountChannelConnectors(const attrval* attrs, const char* channel) {
    std::size_t length = strlen(channel);
    int count = 0;
    for (const attrval* node = attrs; node != nullptr && node->next != nullptr; node = node->next)
        if (ChannelValue(node, kOtherMailbox, channel, length) != nullptr) ++count;
    return count;
}

std::string PrintPermissionSelect(const char* current, const char* channel) {
    const ChannelRule* rule = RuleOf(channel);
    std::string select = "<select name=Permission>\n";
    for (const char* const* option = rule ? rule->options : kAllPermissions; *option != nullptr; ++option) {
        bool selected = current != nullptr && strcasecmp(current, *option) == 0;
        select.append("<option ").append(selected ? "selected" : "").append(">").append(*option);
        select.append("</option>\n");
    }
    return select.append("</select>\n");
}

bool CheckConnectorPermission(const char* channel, const char* permission, std::string* message) {
    const ChannelRule* rule = RuleOf(channel);
    if (rule == nullptr) return true;
    for (const char* const* option = rule->options; *option != nullptr; ++option)
        if (strcmp(permission, *option) == 0) return true;
    message->assign(rule->refusal);
    message->replace(message->find("%s"), 2, rule->channel);
    return false;
}
