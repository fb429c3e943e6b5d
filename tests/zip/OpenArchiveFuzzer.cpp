// libFuzzer target: opens arbitrary bytes as an existing archive and, when
// that succeeds, adds an entry, replaces the first entry and closes, all in
// memory. Anything but a ZipException is a failure, and so is a refused
// archive with a code other than BadArchive, EndRecordMissing or
// MultiVolumeUnsupported.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "zip/ZipFileHeader.h"
#include "zip/ZipMemFile.h"
#include "zip/ZipWriter.h"

namespace {

void AddFrom(ZipWriter& writer, ZipMemFile& source, const std::string& name, int replaceIndex) {
  AddFileRequest request;
  request.sourceFile = &source;
  request.nameInArchive = name;
  request.replaceIndex = replaceIndex;
  // Replacements of compressed entries are staged in memory, not in files.
  request.options |= AddFileRequest::OptCheckCompressionGain | AddFileRequest::OptGainCheckInMemory;
  writer.AddFile(request);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ZipMemFile archive;
  archive.Write(data, size);
  ZipMemFile source;
  source.Write("replacement data, replacement data, replacement data", 52);
  ZipWriter writer;
  try {
    writer.OpenArchive(&archive, ZipWriter::OpenExisting);
  } catch (const ZipException& error) {
    // A damaged archive is refused as damaged, never with another code.
    if (error.code != ZipException::BadArchive && error.code != ZipException::EndRecordMissing &&
        error.code != ZipException::MultiVolumeUnsupported) {
      std::abort();
    }
    return 0;
  }
  try {
    ZipFileHeader first;
    if (writer.GetEntryInfo(0, &first)) AddFrom(writer, source, first.SystemName(), 0);
    AddFrom(writer, source, "added.txt", -1);
    writer.CloseArchive();
  } catch (const ZipException&) {
    writer.CloseArchive(true);
  }
  return 0;
}
