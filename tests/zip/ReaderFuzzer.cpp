// libFuzzer target: opens arbitrary bytes with the reader, lists every entry
// and extracts each into memory. Opening may be refused only as a damaged
// archive; extracting reports per entry and never throws.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "zip/ZipException.h"
#include "zip/ZipMemFile.h"
#include "zip/ZipReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ZipMemFile archive;
  archive.Write(data, size);
  ZipReader reader;
  try {
    reader.Open(&archive);
  } catch (const ZipException& error) {
    if (error.code != ZipException::BadArchive && error.code != ZipException::EndRecordMissing &&
        error.code != ZipException::MultiVolumeUnsupported) {
      std::abort();
    }
    return 0;
  }
  for (int i = 0; i < reader.Count(); ++i) {
    reader.Name(i);
    reader.ModificationTime(i);
    uint64_t held = 0;
    const ZipReadResult result = reader.Extract(i, [&held](const char*, size_t n) {
      held += n;
      return true;
    });
    if (held > reader.Entry(i).uncompressedSize) std::abort();
    if (result.ok() && held != reader.Entry(i).uncompressedSize) std::abort();
  }
  return 0;
}
