// Message-queue API of the mail system, as the system uses it: MQInit, the
// global object OneMQ with its channel list, and the channel records. The
// stand-in reads the channels from XOMTA.INI [Channels] (mq_init.cpp).
// Layouts are fixed: the system walks the list and reads the records by the
// offsets asserted below. A channel name holds at most kChannelNameSize
// characters, NUL-padded, and fills all of them when that long.
#ifndef LDAPCGI_PLATFORM_MQ_MQAPI_H
#define LDAPCGI_PLATFORM_MQ_MQAPI_H

#include <cstddef>
#include <cstdint>

#include "platform/mq/mq_limits.h"

// The API's list template. Nodes are malloc'd; the destructor frees them,
// never the elements. The system provides the members of the one instance
// it uses (channel_list.cpp), exported as dynamic symbols.
template <typename T>
class cList {
public:
    struct Node {
        T element;
        Node* next;
    };
    cList();
    ~cList();
    cList(const cList&) = delete;
    cList& operator=(const cList&) = delete;
    // The element after the cursor's node (head's when the cursor is null),
    // which becomes the cursor; null at the end, cursor unmoved.
    T Next();

    Node* head;        // first node, null for an empty list
    Node* cursor;      // node whose element Next returned last; null restarts a walk
    int32_t reserved;  // zeroed by the constructor; nothing here reads it
};

// One channel of the mail system.
struct MQchannelDBStr {
    char szName[kChannelNameSize];  // as the mail system spells it; NUL-padded
    int32_t fEnabled;               // non-zero: the channel runs
    int32_t nReserved;
    int32_t fConnectors;  // non-zero: users may hold connectors on it
    int32_t nReserved2;
};
static_assert(offsetof(MQchannelDBStr, szName) == 0, "the name starts the record");
static_assert(offsetof(MQchannelDBStr, fEnabled) == 8, "enabled word at byte 8");
static_assert(offsetof(MQchannelDBStr, fConnectors) == 16, "connectors word at byte 16");

template <>
cList<MQchannelDBStr*>::cList();
template <>
cList<MQchannelDBStr*>::~cList();
template <>
MQchannelDBStr* cList<MQchannelDBStr*>::Next();

static_assert(offsetof(cList<MQchannelDBStr*>, head) == 0, "head first");
static_assert(offsetof(cList<MQchannelDBStr*>, cursor) == sizeof(void*), "cursor second");
static_assert(offsetof(cList<MQchannelDBStr*>, reserved) == 2 * sizeof(void*), "third word last");
static_assert(offsetof(cList<MQchannelDBStr*>::Node, next) == sizeof(void*), "node: element, next");

// The library's one global object. The records belong to it; MQInit
// replaces them and the list, and the destructor releases both.
struct MQapi {
    MQapi();
    ~MQapi();
    MQapi(const MQapi&) = delete;
    MQapi& operator=(const MQapi&) = delete;

    char szHost[kMqHostSize];                // 0: as given to the last MQInit
    char szApplication[kMqApplicationSize];  // 256
    MQchannelDBStr* pChannels;               // 512: the records, one array
    int32_t nChannels;                       // 520
    int32_t fReady;                          // 524: 1 after a successful MQInit
    uint64_t nReserved;                      // 528
    cList<MQchannelDBStr*> ChannelList;      // 536: the offered and the other channels, in file order
};
static_assert(offsetof(MQapi, ChannelList) == 536, "ChannelList at byte 536");

extern MQapi OneMQ;

// Reads the mail system's channels into OneMQ.ChannelList: one record per
// key of XOMTA.INI [Channels], in file order (see mq_init.cpp). False, with
// a log line and an empty list, when the host or application name is absent
// or too long, the file cannot be read, or the section holds more than
// kMaxChannels channels.
bool MQInit(const char* host, const char* application);

#endif
