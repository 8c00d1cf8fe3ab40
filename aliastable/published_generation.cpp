// Reading the record of the published alias table generation: one short
// file, read whole; a name is decimal digits followed by a line end.
#include "aliastable/published_generation.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/config/regular_file.h"

bool ReadPublishedGeneration(const char* directory, char* name, std::size_t size) {
    const std::string path = std::string(directory) + "/" + kPublishedGenerationFile;
    int fd = OpenRegularFile(path.c_str(), O_RDONLY);
    if (fd < 0) return false;
    char text[kGenerationNameSize + 1];
    ssize_t got = read(fd, text, sizeof text);  // written whole by one write: read whole
    close(fd);
    const std::size_t length = got > 0 ? std::size_t(got) : 0;
    if (length < 2 || length > kGenerationNameSize || text[length - 1] != '\n') return false;
    const std::size_t digits = length - 1;
    if (strspn(text, "0123456789") != digits || digits >= size) return false;
    memcpy(name, text, digits);
    name[digits] = '\0';
    return true;
}
