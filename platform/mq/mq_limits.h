// Limits of the message-queue API stand-in.
#ifndef LDAPCGI_PLATFORM_MQ_LIMITS_H
#define LDAPCGI_PLATFORM_MQ_LIMITS_H

#include <cstddef>

constexpr std::size_t kChannelNameSize = 8;      // MQchannelDBStr::szName, no room for a terminator
constexpr std::size_t kMqHostSize = 256;         // host name kept by MQInit, terminator included
constexpr std::size_t kMqApplicationSize = 256;  // application name kept by MQInit, terminator included
constexpr std::size_t kMaxChannels = 256;        // channels MQInit accepts from [Channels]
constexpr std::size_t kMqLogLineSize = 512;      // one log line of MQInit, terminator included

#endif
