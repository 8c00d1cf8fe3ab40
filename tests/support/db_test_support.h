// Shared by the database and alias table tests: a scratch folder named by XOMTA_CONFIG_DIR that holds
// empty table generations, and records added by alias and primary address.
#ifndef LDAPCGI_TESTS_SUPPORT_DB_TEST_SUPPORT_H
#define LDAPCGI_TESTS_SUPPORT_DB_TEST_SUPPORT_H

#include "aliastable/disk_images.h"
#include "aliastable/mail_alias.h"
#include "tests/support/config_folder.h"

// A configuration folder that also holds alias table generations.
struct ScratchFolder : ConfigFolder {
    // A new xomta.ini (renamed over the old), with the lookup setting or without it (null).
    void SetLookupSetting(const char* value) const {
        std::string setting = value ? std::string("UseCaseSensitiveAliasLookup=") + value + "\n" : "";
        Replace("xomta.ini", "[Ldap]\nHostName=localhost\n\n[PreProcessor]\n" + setting +
                                 "\n[Gateway]\nQueueDirectory=" + path + "\n");
    }
    // The three files of an empty generation, as the build writes them.
    void WriteGeneration(const std::string& generation) const {
        WriteWholeFile(File(generation + ".id0"), {std::begin(kAliasIndexImage), std::end(kAliasIndexImage)});
        WriteWholeFile(File(generation + ".str"),
                       {std::begin(kAliasStringImage), std::end(kAliasStringImage)});
        WriteWholeFile(File(generation + ".db"),
                       {std::begin(kAliasRelationImage), std::end(kAliasRelationImage)});
    }
};

inline dbError AddAlias(dbMailAlias* relation, const std::string& alias, const std::string& mail) {
    strNcpy(relation->szAlias, alias.c_str(), sizeof relation->szAlias);
    relation->szMail.cpy(mail.c_str());
    return relation->add();
}

inline std::string GeneratedAlias(unsigned long i) {
    return "alias" + std::to_string(i * 7919 % 1000003) + "@example.org";
}
inline std::string GeneratedMail(unsigned long i) { return "user" + std::to_string(i) + "@mail.example.org"; }

#endif
