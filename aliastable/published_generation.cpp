// Reading the record of the published alias table generation: one short
// file, read whole; a name is decimal digits followed by a line end.
#include "aliastable/published_generation.h"

#include <cstdio>
#include <cstring>
#include <string>

bool ReadPublishedGeneration(const char* directory, char* name, std::size_t size) {
    const std::string path = std::string(directory) + "/" + kPublishedGenerationFile;
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    char text[kGenerationNameSize + 1];
    const std::size_t length = fread(text, 1, sizeof text, file);
    fclose(file);
    if (length < 2 || length > kGenerationNameSize || text[length - 1] != '\n') return false;
    const std::size_t digits = length - 1;
    if (strspn(text, "0123456789") != digits || digits >= size) return false;
    memcpy(name, text, digits);
    name[digits] = '\0';
    return true;
}
