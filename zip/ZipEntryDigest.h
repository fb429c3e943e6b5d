// What the writer knows of an entry it has just written, enough to check it
// later from the archive file without inflating it: the CRC-32 of its content
// (as the central directory records it), its stored size and the CRC-32 of
// the stored (compressed) bytes exactly as they went to the file.
#pragma once

#include <cstdint>

struct ZipEntryDigest {
  uint32_t crc32 = 0;
  uint32_t storedCrc32 = 0;
  uint64_t compressedSize = 0;
};
