// MQInit and OneMQ: the channel list of the message-queue API, read from the
// mail system's XOMTA.INI through the configuration reader. Section
// [Channels] holds one key per channel, in the order the list keeps: the key
// is the channel's name as the mail system spells it, the value a
// comma-separated list of flag words ("enabled", "connectors"; letter case
// and blanks around them ignored, other words ignored). A name that a record
// cannot hold (empty, longer than kChannelNameSize, holding "$" or a control
// byte) is left out with a log line, never cut.
#include <strings.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/config/profile.h"
#include "platform/log/logapi.h"
#include "platform/mq/mqapi.h"

namespace {

constexpr char kConfigFile[] = "XOMTA.INI";
constexpr char kSection[] = "Channels";
constexpr char kOwnLogName[] = "MQAPI";  // when the caller's name is unusable
constexpr int kLogErrorLevel = 1;

void LogError(const char* application, const char* format, ...) __attribute__((format(printf, 2, 3)));
void LogError(const char* application, const char* format, ...) {
    char line[kMqLogLineSize];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    LogMessage(kLogErrorLevel, application, line);
}

// Empties the list and drops the records of the previous MQInit.
void Release(MQapi& mq) {
    while (mq.ChannelList.head != nullptr) {
        cList<MQchannelDBStr*>::Node* next = mq.ChannelList.head->next;
        free(mq.ChannelList.head);
        mq.ChannelList.head = next;
    }
    mq.ChannelList.cursor = nullptr;
    free(mq.pChannels);
    mq.pChannels = nullptr;
    mq.nChannels = 0;
    mq.fReady = 0;
}

bool Fits(const char* text, std::size_t size) { return text != nullptr && strnlen(text, size) < size; }

// Why `name` cannot name a record, or null when it can.
const char* NameFault(const std::string& name) {
    if (name.empty()) return "it is empty";
    if (name.size() > kChannelNameSize) return "it is longer than 8 characters";
    for (unsigned char c : name) {
        if (c == '$') return "it holds \"$\"";
        if (c < 0x20 || c == 0x7f) return "it holds a control character";
    }
    return nullptr;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Sets the two flag words from the value's words.
void ReadFlags(const std::string& value, MQchannelDBStr* record) {
    std::size_t start = 0;
    while (start <= value.size()) {
        std::size_t comma = value.find(',', start);
        if (comma == std::string::npos) comma = value.size();
        std::size_t first = start, last = comma;
        while (first < last && IsBlank(value[first])) ++first;
        while (last > first && IsBlank(value[last - 1])) --last;
        std::string word = value.substr(first, last - first);
        if (strcasecmp(word.c_str(), "enabled") == 0) record->fEnabled = 1;
        if (strcasecmp(word.c_str(), "connectors") == 0) record->fConnectors = 1;
        start = comma + 1;
    }
}

}  // namespace

MQapi OneMQ;

MQapi::MQapi() : szHost{}, szApplication{}, pChannels(nullptr), nChannels(0), fReady(0), nReserved(0) {}

// The list's own destructor frees its nodes afterwards.
MQapi::~MQapi() { free(pChannels); }

bool MQInit(const char* host, const char* application) {
    Release(OneMQ);
    bool named = Fits(application, kMqApplicationSize) && application[0] != '\0';
    const char* logName = named ? application : kOwnLogName;
    if (!named || !Fits(host, kMqHostSize) || host[0] == '\0') {
        LogError(logName, "MQInit: host or application name missing or too long");
        return false;
    }
    std::vector<std::pair<std::string, std::string>> settings;
    if (!GetPrivateProfileSection(kSection, &settings, kConfigFile)) {
        LogError(logName, "MQInit: %s cannot be read", kConfigFile);
        return false;
    }
    if (settings.size() > kMaxChannels) {
        LogError(logName, "MQInit: %s [%s] lists %zu channels, more than %zu", kConfigFile, kSection,
                 settings.size(), kMaxChannels);
        return false;
    }
    if (!settings.empty()) {
        OneMQ.pChannels = static_cast<MQchannelDBStr*>(calloc(settings.size(), sizeof(MQchannelDBStr)));
        if (OneMQ.pChannels == nullptr) return false;
    }
    cList<MQchannelDBStr*>::Node** tail = &OneMQ.ChannelList.head;
    for (const auto& [name, flags] : settings) {
        if (const char* fault = NameFault(name)) {
            LogError(logName, "MQInit: channel \"%.100s\" of %s [%s] left out: %s", name.c_str(), kConfigFile,
                     kSection, fault);
            continue;
        }
        auto* node = static_cast<cList<MQchannelDBStr*>::Node*>(malloc(sizeof(cList<MQchannelDBStr*>::Node)));
        if (node == nullptr) {
            Release(OneMQ);
            return false;
        }
        MQchannelDBStr* record = &OneMQ.pChannels[OneMQ.nChannels++];
        memcpy(record->szName, name.data(), name.size());
        ReadFlags(flags, record);
        node->element = record;
        node->next = nullptr;
        *tail = node;
        tail = &node->next;
    }
    strcpy(OneMQ.szHost, host);
    strcpy(OneMQ.szApplication, application);
    OneMQ.fReady = 1;
    return true;
}
