// Writes the alias reader target's seeds: sound generations built by the
// database component (empty, a few records, two index levels), each in the
// target's input layout. Usage: alias_seeds FOLDER. Fuzz builds only.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "aliastable/disk_images.h"
#include "aliastable/mail_alias.h"
#include "platform/recbase/db_format.h"

namespace {

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), std::streamsize(bytes.size()));
}

// Builds generation `name` in `folder` with `count` records whose aliases are
// `width` characters long; false on failure.
bool Build(const std::string& folder, const std::string& name, int count, std::size_t width) {
    Write(folder + "/" + name + ".db",
          std::string((const char*)kAliasRelationImage, kAliasRelationImageSize));
    Write(folder + "/" + name + ".id0", std::string((const char*)kAliasIndexImage, kAliasIndexImageSize));
    Write(folder + "/" + name + ".str", std::string((const char*)kAliasStringImage, kAliasStringImageSize));
    recordBase database;
    dbMailAlias relation(&database, folder.c_str(), name.c_str());
    if (relation.status != DB_OK) return false;
    for (int i = 0; i < count; ++i) {
        std::string alias = (i % 2 ? "Alias" : "alias") + std::to_string(i * 7919 % 1009) + "@example.org";
        if (alias.size() < width) alias = std::string(width - alias.size(), 'x') + alias;
        strNcpy(relation.szAlias, alias.c_str(), sizeof relation.szAlias);
        relation.szMail.cpy(("user" + std::to_string(i) + "@mail.example.org").c_str());
        if (relation.add() != DB_OK) return false;
    }
    return relation.close() == DB_OK;
}

std::string Input(const std::string& folder, const std::string& name, unsigned char flags) {
    const std::string db = Read(folder + "/" + name + ".db"), index = Read(folder + "/" + name + ".id0");
    unsigned char head[9] = {flags};
    PutU32(head + 1, uint32_t(db.size()));
    PutU32(head + 5, uint32_t(index.size()));
    return std::string((const char*)head, sizeof head) + db + index + Read(folder + "/" + name + ".str");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: alias_seeds FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    struct Seed {
        const char* name;
        int count;
        std::size_t width;
        unsigned char flags;
    };
    for (const Seed& seed : {Seed{"empty", 0, 0, 0}, Seed{"three", 3, 0, 0}, Seed{"folded", 5, 0, 1},
                             Seed{"two-levels", 40, 120, 0}}) {
        // The build compares keys by the setting the seed is read with.
        Write(folder + "/xomta.ini", std::string("[PreProcessor]\nUseCaseSensitiveAliasLookup=") +
                                         (seed.flags & 1 ? "YES" : "NO") + "\n");
        setenv("XOMTA_CONFIG_DIR", folder.c_str(), 1);
        if (!Build(folder, seed.name, seed.count, seed.width)) {
            fprintf(stderr, "alias_seeds: cannot build %s\n", seed.name);
            return 1;
        }
        Write(folder + "/seed-" + seed.name, Input(folder, seed.name, seed.flags));
    }
    return 0;
}
