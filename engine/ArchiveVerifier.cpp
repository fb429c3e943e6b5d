#include "engine/ArchiveVerifier.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/ArchiveErrorText.h"
#include "engine/EntryNameSet.h"
#include "engine/ReadCallback.h"
#include "zip/ZipException.h"
#include "zip/ZipReader.h"

namespace {

// Below this much content a second reader costs more than it saves.
constexpr uint64_t kSplitThreshold = 4 << 20;

std::string Reason(const ZipException& error) {
  return ZipErrorReason(error).ToStdString(wxConvUTF8);
}

}  // namespace

std::string EntryProblem::Text() const {
  return archive + ": " + (entry.empty() ? "" : entry + ": ") + reason;
}

// Checks `entries` [begin, end) of `reader`; a piece of content finds `stop`
// set, or the callback asking to stop, ends the range early.
void ArchiveVerifier::CheckRange(ZipReader& reader, const std::string& path,
                                 const std::vector<int>& entries, size_t begin, size_t end,
                                 std::atomic<bool>& stop, std::vector<EntryProblem>* problems) {
  const ZipReader::Sink sink = [&](const char*, size_t size) {
    if (stop || !callback_.OnBytes(size)) {
      stop = true;
      return false;
    }
    return true;
  };
  for (size_t k = begin; k < end && !stop; ++k) {
    const int i = entries[k];
    const ZipReadResult result = reader.Extract(i, sink);
    callback_.EndEntry();
    if (result.status == ZipReadStatus::Cancelled) break;
    if (!result.ok()) {
      problems->push_back({path, reader.Name(i), ZipReadStatusText(result.status, reader.Entry(i))});
    }
  }
}

// Large archives are checked by two readers at once, sharing one entry list,
// each taking about half of the content: inflating and its CRC cost by the
// bytes they put out, so halves of the stored bytes would leave one reader
// with most of the work.
std::vector<EntryProblem> ArchiveVerifier::Check(const std::string& path,
                                                 const EntryNameSet* names) {
  stopped_ = false;
  std::vector<EntryProblem> problems;
  ZipReader reader;
  try {
    reader.Open(path);
  } catch (const ZipException& error) {
    problems.push_back({path, "", Reason(error)});
    return problems;
  }
  std::vector<int> entries;
  uint64_t total = 0;
  for (int i = 0; i < reader.Count(); ++i) {
    if (names != nullptr && !names->Contains(reader.Entry(i).SystemName())) continue;
    entries.push_back(i);
    total += reader.Entry(i).uncompressedSize;
  }
  size_t split = entries.size();
  if (total >= kSplitThreshold && entries.size() > 1) {
    uint64_t first = 0;
    for (split = 0; split + 1 < entries.size() && first < total / 2; ++split) {
      first += reader.Entry(entries[split]).uncompressedSize;
    }
  }
  std::atomic<bool> stop{false};
  std::atomic<bool> helperDone{split == entries.size()};
  std::vector<EntryProblem> secondHalf;
  std::thread helper;
  if (!helperDone) {
    helper = std::thread([&] {
      ZipReader second;
      try {
        second.OpenSharing(path, reader);
        CheckRange(second, path, entries, split, entries.size(), stop, &secondHalf);
      } catch (const ZipException& error) {
        secondHalf.push_back({path, "", Reason(error)});
      }
      helperDone = true;
    });
  }
  CheckRange(reader, path, entries, 0, split, stop, &problems);
  // The helper's stop test may not see a worker thread's stop request: this
  // thread watches for it until the helper is done.
  while (!helperDone) {
    if (callback_.StopRequested()) stop = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (helper.joinable()) helper.join();
  problems.insert(problems.end(), secondHalf.begin(), secondHalf.end());
  stopped_ = stop;
  return problems;
}
