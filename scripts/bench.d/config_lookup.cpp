// Benchmark of the configuration reader: the cost of one setting lookup on an
// unchanged file (what the alias table build pays per key comparison) beside
// the cost of reading and parsing the whole file. Works in a temporary
// directory under $BUILD_DIR (or the current directory) and removes it.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/config/ini_document.h"
#include "platform/config/profile.h"

namespace {

// About 50 sections of 10 keys, shaped like an MTA configuration.
std::string MakeConfig() {
    std::string text = "; MTA configuration\n";
    text +=
        "[Ldap]\nHostName=ldap.example.org\nUserName=cn=admin,dc=example,dc=org\nPassword=secret\n"
        "Port=389\nRecordLimit=500\n";
    text += "[Gateway]\nQueueDirectory=/var/spool/xomta/queues\n";
    text += "[Log]\nFile=/var/log/xomta/xomta.log\nLevel=6\n";
    for (int s = 0; s < 47; ++s) {
        text += "\n[Channel" + std::to_string(s) + "]\n";
        text += "# channel settings\n";
        for (int k = 0; k < 10; ++k) {
            text += "Setting" + std::to_string(k) + "Name = value-" + std::to_string(s * 100 + k) +
                    " /opt/xomta/channel" + std::to_string(s) + "/data\n";
        }
    }
    text += "\n[PreProcessor]\nUseCaseSensitiveAliasLookup=NO\nMaxRecipients=1000\n";
    return text;
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main() {
    const char* build = getenv("BUILD_DIR");
    std::string pattern = std::string(build && *build ? build : ".") + "/config-bench-XXXXXX";
    if (!mkdtemp(&pattern[0])) {
        perror("mkdtemp");
        return 1;
    }
    std::string file = pattern + "/XOMTA.INI";
    std::string config = MakeConfig();
    std::ofstream(file) << config;
    setenv("XOMTA_CONFIG_DIR", pattern.c_str(), 1);

    // Full read and parse.
    const int parses = 2000;
    std::size_t keys = 0;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < parses; ++i) {
        std::ifstream in(file);
        std::stringstream text;
        text << in.rdbuf();
        IniDocument document;
        IniParseText(text.str(), document);
        keys = document.values.size();
    }
    double parseSeconds = Seconds(std::chrono::steady_clock::now() - start) / parses;

    // A file changed within the last moments is read again on each call, so
    // the steady-state figure is taken once that window has passed.
    sleep(3);
    char value[32];
    GetPrivateProfileString("PreProcessor", "UseCaseSensitiveAliasLookup", "NO", value, sizeof value,
                            "xomta.ini");
    const int lookups = 1000000;
    int yes = 0;
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < lookups; ++i) {
        GetPrivateProfileString("PreProcessor", "UseCaseSensitiveAliasLookup", "NO", value, sizeof value,
                                "xomta.ini");
        yes += value[0] == 'Y';
    }
    double lookupSeconds = Seconds(std::chrono::steady_clock::now() - start) / lookups;

    unlink(file.c_str());
    rmdir(pattern.c_str());

    printf("config file: %zu bytes, %zu keys\n", config.size(), keys);
    printf("full read and parse: %.1f us\n", parseSeconds * 1e6);
    printf("lookup on an unchanged file: %.3f us (target < 2 us): %s\n", lookupSeconds * 1e6,
           lookupSeconds < 2e-6 ? "OK" : "SLOW");
    printf("parse / lookup: %.0fx\n", parseSeconds / lookupSeconds);
    return yes == 0 ? 0 : 1;
}
