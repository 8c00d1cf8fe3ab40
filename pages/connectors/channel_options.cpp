// The options of the channel select, from the message-queue API's channel
// list: only channels that are enabled and take connectors, upper-cased, in
// list order, and the one of them a request names. Reads OneMQ's records;
// changes only the list's cursor.
// Channel names hold no markup in practice; they are escaped all the same.
#include <strings.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/limits.h"
#include "directory/directory_session.h"
#include "directory/domain_names.h"
#include "html/text_helpers.h"
#include "pages/connectors/connector_pages.h"
#include "platform/mq/mqapi.h"

namespace {

// The names of the channels offered, upper-cased, in list order.
std::vector<std::string> OfferedChannels() {
    std::vector<std::string> names;
    cList<MQchannelDBStr*>& channels = OneMQ.ChannelList;
    channels.cursor = nullptr;
    while (MQchannelDBStr* record = channels.Next()) {
        if (record->fEnabled == 0 || record->fConnectors == 0) continue;
        // A name of the field's full length has no terminator.
        char name[kChannelNameSize + 1] = {};
        memcpy(name, record->szName, strnlen(record->szName, kChannelNameSize));
        names.emplace_back(StrToUpper(name));
    }
    return names;
}

}  // namespace

std::string BuildChannelOptions() {
    std::string options;
    for (const std::string& name : OfferedChannels())
        options.append("<option>").append(HtmlEscape(name.c_str())).append("</option>\n");
    return options;
}

std::string OfferedChannel(const char* channel) {
    for (const std::string& name : OfferedChannels())
        if (strcasecmp(name.c_str(), channel) == 0) return name;
    return "";
}

bool ReadChannelOptions(const char* host, std::string* options) {
    // With a failover list in HostName, the channels are asked for by its first server.
    std::string first(host + strspn(host, kHostNameSeparators));
    first.resize(strcspn(first.c_str(), kHostNameSeparators));
    host = first.c_str();
    if (MQInit(host, APPLICATION_NAME)) {
        *options = BuildChannelOptions();
        return true;
    }
    options->assign("MQInit(").append(HtmlEscape(host)).append(") failed!");
    return false;
}
