// The checksum file of an alias table generation, GEN.sum: one line per
// image file ("GEN.db SIZE CRC32C", then .id0 and .str), so that damage to
// any of the three files shows, the text file .str included, and a last line
// "UseCaseSensitiveAliasLookup=YES" or "=NO": the key comparison the index was
// built with. Reads files only; the build writes the text with the other
// generation files.
#ifndef LDAPCGI_ALIASTABLE_GENERATION_SUM_H
#define LDAPCGI_ALIASTABLE_GENERATION_SUM_H

#include <cstddef>
#include <cstdint>

#include "base/limits.h"

// CRC-32C (Castagnoli) of `size` bytes, continuing from `crc` (0 to start).
uint32_t Crc32c(uint32_t crc, const unsigned char* bytes, std::size_t size);

// The comparison a GEN.sum records; sums written before it was recorded hold none.
enum class SumKeyCase { kUnrecorded, kExact, kIgnoreCase };

// Reads DIR/GEN.db, .id0 and .str and forms the GEN.sum text into `text`,
// recording `ignoreCase`. False with `error` set when a file cannot be read
// or a name does not fit.
bool FormGenerationSum(const char* directory, const char* generation, bool ignoreCase, char* text,
                       std::size_t size, char* error, std::size_t errorSize);

// Compares DIR/GEN.sum with the files as they are now. False with `error`
// naming the first file that differs, or saying that GEN.sum is missing or
// damaged. The recorded comparison goes to *recorded when given.
bool VerifyGenerationSum(const char* directory, const char* generation, char* error, std::size_t errorSize,
                         SumKeyCase* recorded = nullptr);

#endif
