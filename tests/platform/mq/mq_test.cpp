// The message-queue API stand-in: the list walk of cList, the channels MQInit
// reads from XOMTA.INI [Channels] (order, names, flags, refusals, log lines),
// and the list members the CGI executable exports as dynamic symbols.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/mq/mqapi.h"
#include "tests/support/config_folder.h"
#include "tests/support/run_cgi.h"

namespace {

using std::string;

// The configuration folder of a test, its XOMTA.INI logging to mq.log.
struct MqFolder : ConfigFolder {
    // XOMTA.INI with its log going to mq.log, then `text`; renamed in place.
    void Write(const string& text) const {
        Replace("XOMTA.INI", "[Log]\nFile=" + File("mq.log") + "\n" + text);
    }
    string Log() const { return ReadWholeFile(File("mq.log")); }
};

// The list as the system reads it: name (at most 8 bytes), then the words
// at byte offsets 8 and 16, each record as "NAME:enabled:connectors".
std::vector<string> Channels() {
    std::vector<string> out;
    OneMQ.ChannelList.cursor = nullptr;
    while (MQchannelDBStr* record = OneMQ.ChannelList.Next()) {
        const char* bytes = reinterpret_cast<const char*>(record);
        int32_t enabled, connectors;
        memcpy(&enabled, bytes + 8, sizeof enabled);
        memcpy(&connectors, bytes + 16, sizeof connectors);
        out.push_back(string(bytes, strnlen(bytes, 8)) + ":" + std::to_string(enabled) + ":" +
                      std::to_string(connectors));
    }
    return out;
}

TEST(ChannelList, NextWalksOnceAndRestartsFromANullCursor) {
    MQchannelDBStr records[3] = {};
    cList<MQchannelDBStr*> list;
    EXPECT_EQ(list.Next(), nullptr);  // empty: null, and the cursor stays
    EXPECT_EQ(list.cursor, nullptr);
    cList<MQchannelDBStr*>::Node** tail = &list.head;
    for (MQchannelDBStr& record : records) {
        auto* node = static_cast<cList<MQchannelDBStr*>::Node*>(malloc(sizeof(cList<MQchannelDBStr*>::Node)));
        *node = {&record, nullptr};
        *tail = node;
        tail = &node->next;
    }
    for (int round = 0; round < 2; ++round) {
        for (MQchannelDBStr& record : records) EXPECT_EQ(list.Next(), &record) << round;
        EXPECT_EQ(list.Next(), nullptr);  // at the end the cursor stays on the last node
        EXPECT_EQ(list.Next(), nullptr);
        EXPECT_EQ(list.cursor->element, &records[2]);
        list.cursor = nullptr;
    }
    // The destructor frees the nodes, never the records (they live on the stack here).
}

TEST(MQInit, ChannelsInFileOrderWithTheirFlags) {
    MqFolder folder;
    folder.Write(
        "[Ldap]\nHostName=ldap\n[channels]\nSMTPC=enabled,connectors\nlocal = Connectors , ENABLED\n"
        "BSMTPOUT=enabled,connectors\nFax=enabled\nSms=connectors,bogus\nOff=\nDL=enabled,,connectors,\n"
        "smtpc=enabled\n");
    ASSERT_TRUE(MQInit("ldap.example.org", "LDAP CGI"));
    // Letter case kept; an 8-character name fills its field; a repeated key counts once.
    EXPECT_EQ(Channels(), (std::vector<string>{"SMTPC:1:1", "local:1:1", "BSMTPOUT:1:1", "Fax:1:0", "Sms:0:1",
                                               "Off:0:0", "DL:1:1"}));
    EXPECT_STREQ(OneMQ.szHost, "ldap.example.org");
    EXPECT_STREQ(OneMQ.szApplication, "LDAP CGI");
    EXPECT_EQ(OneMQ.fReady, 1);
    EXPECT_EQ(folder.Log(), "");

    // Names a record cannot hold are left out and logged; the others stay.
    folder.Write("[Channels]\nLONGNAME9=enabled,connectors\nA$B=enabled\nOK=enabled\n=enabled\n");
    ASSERT_TRUE(MQInit("h", "LDAP CGI"));
    EXPECT_EQ(Channels(), std::vector<string>{"OK:1:0"});
    string log = folder.Log();
    EXPECT_NE(log.find("LDAP CGI["), string::npos) << log;
    EXPECT_NE(log.find("MQInit: channel \"LONGNAME9\" of XOMTA.INI [Channels] left out: it is longer than 8 "
                       "characters"),
              string::npos)
        << log;
    EXPECT_NE(log.find("MQInit: channel \"A$B\" of XOMTA.INI [Channels] left out: it holds \"$\""),
              string::npos)
        << log;
}

TEST(MQInit, EmptyListsAndFailures) {
    MqFolder folder;
    // No section, an empty section: success with an empty list.
    for (const char* text : {"[Ldap]\nHostName=x\n", "[Channels]\n[Ldap]\nPort=1\n"}) {
        folder.Write(string("[Channels]\nOLD=enabled\n"));
        ASSERT_TRUE(MQInit("h", "app"));
        folder.Write(text);
        EXPECT_TRUE(MQInit("h", "app")) << text;
        EXPECT_TRUE(Channels().empty()) << text;
    }
    string many = "[Channels]\n";
    for (std::size_t i = 0; i <= kMaxChannels; ++i) many += "C" + std::to_string(i) + "=enabled\n";
    folder.Write(many);
    EXPECT_FALSE(MQInit("h", "app"));
    EXPECT_NE(folder.Log().find("app["), string::npos);
    EXPECT_NE(folder.Log().find("MQInit: XOMTA.INI [Channels] lists 257 channels, more than 256"),
              string::npos);
    // Failures leave an empty list and no ready mark.
    folder.Write("[Channels]\nSMTPC=enabled\n");
    const string longName(kMqHostSize, 'h');
    for (auto [host, application] :
         std::vector<std::pair<const char*, const char*>>{{nullptr, "app"},
                                                          {"", "app"},
                                                          {"h", nullptr},
                                                          {longName.c_str(), "app"},
                                                          {"h", longName.c_str()}}) {
        ASSERT_TRUE(MQInit("h", "app"));
        EXPECT_FALSE(MQInit(host, application));
        EXPECT_TRUE(Channels().empty());
        EXPECT_EQ(OneMQ.fReady, 0);
    }
    EXPECT_NE(folder.Log().find("MQAPI["), string::npos);  // no usable application name
    // Without a configuration file.
    unlink((folder.path + "/XOMTA.INI").c_str());
    EXPECT_FALSE(MQInit("h", "app"));
    EXPECT_TRUE(Channels().empty());
}

TEST(MQInit, ListMembersAreDynamicSymbolsOfTheExecutable) {
    ProcessResult nm = RunProcess({"/usr/bin/nm", "-D", "-C", "--defined-only", LDAPCGI_EXECUTABLE}, {}, "");
    ASSERT_EQ(nm.exitStatus, 0) << nm.err;
    for (const char* member : {" cList<MQchannelDBStr*>::cList()\n", " cList<MQchannelDBStr*>::~cList()\n",
                               " cList<MQchannelDBStr*>::Next()\n"})
        EXPECT_NE(nm.out.find(member), string::npos) << member;
}

}  // namespace
