// Which generation of the mail alias table is the published one, as the
// alias table directory records it: the file kPublishedGenerationFile holds
// that generation's name and a line end. A build writes it only after it has
// published the generation's number in the directory, so a generation that a
// failed build left behind is never taken for a finished table. The three
// files of a generation keep their format.
#ifndef LDAPCGI_ALIASTABLE_PUBLISHED_GENERATION_H
#define LDAPCGI_ALIASTABLE_PUBLISHED_GENERATION_H

#include <cstddef>

#include "base/limits.h"

constexpr char kPublishedGenerationFile[] = "published";

// The name recorded in DIR/published into `name` (size bytes); false when
// there is none, or it cannot be read or does not hold a name.
bool ReadPublishedGeneration(const char* directory, char* name, std::size_t size);

#endif
