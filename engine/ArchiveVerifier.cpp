#include "engine/ArchiveVerifier.h"

#include "engine/ArchiveErrorText.h"
#include "engine/ReadCallback.h"
#include "zip/ZipException.h"
#include "zip/ZipReader.h"

std::string EntryProblem::Text() const {
  return archive + ": " + (entry.empty() ? "" : entry + ": ") + reason;
}

std::vector<EntryProblem> ArchiveVerifier::Check(const std::string& path,
                                                 const std::set<std::string>* names) {
  std::vector<EntryProblem> problems;
  ZipReader reader;
  try {
    reader.Open(path);
  } catch (const ZipException& error) {
    problems.push_back({path, "", ZipErrorReason(error).ToStdString(wxConvUTF8)});
    return problems;
  }
  const ZipReader::Sink sink = [this](const char*, size_t size) { return callback_.OnBytes(size); };
  for (int i = 0; i < reader.Count(); ++i) {
    const ZipFileHeader& entry = reader.Entry(i);
    if (names != nullptr && names->count(entry.SystemName()) == 0) continue;
    const ZipReadResult result = reader.Extract(i, sink);
    callback_.EndEntry();
    if (result.status == ZipReadStatus::Cancelled) {
      stopped_ = true;
      break;
    }
    if (!result.ok()) problems.push_back({path, reader.Name(i), ZipReadStatusText(result.status, entry)});
  }
  return problems;
}
