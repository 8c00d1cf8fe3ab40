// The message-queue API stand-in: the channels MQInit reads from XOMTA.INI
// [Channels] (order, names, flags, refusals, log lines) walked with cList's
// Next, and the list members the CGI executable exports as dynamic symbols.
#include <cstdint>
#include <cstring>

#include "platform/mq/mqapi.h"
#include "tests/support/config_folder.h"
#include "tests/support/run_cgi.h"

namespace {

using Strings = std::vector<std::string>;

// The list as the system reads it, from a null cursor: name (at most 8 bytes),
// then the words at byte offsets 8 and 16, each record as "NAME:enabled:connectors".
Strings Channels() {
    Strings out;
    OneMQ.ChannelList.cursor = nullptr;
    while (MQchannelDBStr* record = OneMQ.ChannelList.Next()) {
        const char* bytes = reinterpret_cast<const char*>(record);
        int32_t enabled, connectors;
        memcpy(&enabled, bytes + 8, sizeof enabled);
        memcpy(&connectors, bytes + 16, sizeof connectors);
        out.push_back(std::string(bytes, strnlen(bytes, 8)) + ":" + std::to_string(enabled) + ":" +
                      std::to_string(connectors));
    }
    EXPECT_EQ(OneMQ.ChannelList.Next(), nullptr);  // at the end it stays there
    return out;
}

TEST(MQInit, ChannelsInFileOrderWithTheirFlagsOrLeftOutAndLogged) {
    ConfigFolder folder;
    auto write = [&](const std::string& text) {
        folder.Replace("XOMTA.INI", "[Log]\nFile=" + folder.File("mq.log") + "\n" + text);
    };
    write(
        "[channels]\nSMTPC=enabled,connectors\nlocal = Connectors , ENABLED\nBSMTPOUT=enabled,connectors\n"
        "Fax=enabled\nSms=connectors,bogus\nOff=\nDL=enabled,,connectors,\nsmtpc=enabled\nLONGNAME9=enabled\n"
        "A$B=enabled\n");
    ASSERT_TRUE(MQInit("ldap.example.org", "LDAP CGI"));
    // Letter case kept; an 8-character name fills its field; a repeated key counts once.
    EXPECT_EQ(Channels(),
              (Strings{"SMTPC:1:1", "local:1:1", "BSMTPOUT:1:1", "Fax:1:0", "Sms:0:1", "Off:0:0", "DL:1:1"}));
    const std::string log = ReadWholeFile(folder.File("mq.log")), left = "]: MQInit: channel \"";
    EXPECT_TRUE(
        Holds(log, left + "LONGNAME9\" of XOMTA.INI [Channels] left out: it is longer than 8 characters"));
    EXPECT_TRUE(Holds(log, left + "A$B\" of XOMTA.INI [Channels] left out: it holds \"$\""));
    std::string many = "[Channels]\n";
    for (std::size_t i = 0; i <= kMaxChannels; ++i) many += "C" + std::to_string(i) + "=enabled\n";
    write(many);
    EXPECT_FALSE(MQInit("h", "app"));
    EXPECT_TRUE(
        Holds(ReadWholeFile(folder.File("mq.log")), "]: MQInit: XOMTA.INI [Channels] lists 257 channels"));
    write("[Channels]\n[Ldap]\nPort=1\n");  // an empty section: an empty list
    EXPECT_TRUE(MQInit("h", "app") && Channels().empty());
    // Failures (a host name empty or too long, as HostName may give) leave an empty list.
    write("[Channels]\nSMTPC=enabled\n");
    for (const std::string& host : {std::string(), std::string(kMqHostSize, 'h')}) {
        ASSERT_TRUE(MQInit("h", "app"));
        EXPECT_FALSE(MQInit(host.c_str(), "app"));
        EXPECT_TRUE(Channels().empty());
    }
    unlink(folder.File("XOMTA.INI").c_str());  // without a configuration file
    EXPECT_FALSE(MQInit("h", "app"));
}

TEST(MQInit, ListMembersAreDynamicSymbolsOfTheExecutable) {
    ProcessResult nm = RunProcess({"/usr/bin/nm", "-D", "-C", "--defined-only", LDAPCGI_EXECUTABLE}, {}, "");
    ASSERT_EQ(nm.exitStatus, 0) << nm.err;
    for (const char* member : {" cList<MQchannelDBStr*>::cList()\n", " cList<MQchannelDBStr*>::~cList()\n",
                               " cList<MQchannelDBStr*>::Next()\n"})
        EXPECT_TRUE(Holds(nm.out, member));
}

}  // namespace
