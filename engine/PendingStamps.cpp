#include "engine/PendingStamps.h"

#include <system_error>
#include <thread>

#include "engine/DirEnumerator.h"

namespace {

// Reads the records written by PendingStamps::Add, from `next` on.
class RecordReader {
 public:
  explicit RecordReader(std::deque<char>::const_iterator next) : next_(next) {}

  // Seven bits a byte, lowest first; the top bit marks a byte that follows.
  uint64_t Number() {
    uint64_t value = 0;
    for (int shift = 0;; shift += 7) {
      const auto byte = static_cast<unsigned char>(*next_++);
      value |= static_cast<uint64_t>(byte & 0x7F) << shift;
      if ((byte & 0x80) == 0) return value;
    }
  }

  void Text(size_t length, std::string* text) {
    text->append(next_, next_ + static_cast<std::ptrdiff_t>(length));
    next_ += static_cast<std::ptrdiff_t>(length);
  }

 private:
  std::deque<char>::const_iterator next_;
};

// Times before the epoch are negative: fold the sign into the lowest bit so
// small magnitudes stay short.
uint64_t Folded(int64_t value) {
  return (static_cast<uint64_t>(value) << 1) ^ static_cast<uint64_t>(value >> 63);
}

int64_t Unfolded(uint64_t value) {
  return static_cast<int64_t>(value >> 1) ^ -static_cast<int64_t>(value & 1);
}

}  // namespace

void PendingStamps::PutNumber(uint64_t value) {
  for (; value >= 0x80; value >>= 7) records_.push_back(static_cast<char>(value | 0x80));
  records_.push_back(static_cast<char>(value));
}

void PendingStamps::PutText(const std::string& text, size_t begin, size_t length) {
  records_.insert(records_.end(), text.begin() + static_cast<std::ptrdiff_t>(begin),
                  text.begin() + static_cast<std::ptrdiff_t>(begin + length));
}

// A record: the name's length shifted left once, its lowest bit set when a
// folder part (device, length of the folder path, the path) follows; then
// inode and modification seconds as differences from the record before (files
// made together lie close), size, modification nanoseconds, status change
// time (as differences from the modification time, mostly 0) and the name.
void PendingStamps::Add(const std::string& path, const platform::FileInfo& seen) {
  const size_t nameStart = path.rfind('/') + 1;  // 0 without a '/'
  const size_t nameLength = path.size() - nameStart;
  const bool newFolder = count_ == 0 || seen.device != device_ ||
                         path.compare(0, nameStart, folder_) != 0;
  PutNumber(static_cast<uint64_t>(nameLength) << 1 | (newFolder ? 1 : 0));
  if (newFolder) {
    folder_.assign(path, 0, nameStart);
    device_ = seen.device;
    PutNumber(device_);
    PutNumber(folder_.size());
    PutText(folder_, 0, folder_.size());
  }
  PutNumber(Folded(static_cast<int64_t>(seen.inode - lastInode_)));
  PutNumber(Folded(static_cast<int64_t>(static_cast<uint64_t>(seen.mtimeSeconds) -
                                        static_cast<uint64_t>(lastMtimeSeconds_))));
  lastInode_ = seen.inode;
  lastMtimeSeconds_ = seen.mtimeSeconds;
  PutNumber(seen.size);
  PutNumber(static_cast<uint32_t>(seen.mtimeNanoseconds));
  PutNumber(Folded(seen.ctimeSeconds - seen.mtimeSeconds));
  PutNumber(Folded(int64_t{seen.ctimeNanoseconds} - seen.mtimeNanoseconds));
  PutText(path, nameStart, nameLength);
  ++count_;
}

// Writing a stamp waits on the file system, so with many files a second
// thread takes every other one.
void PendingStamps::Commit() {
  std::thread helper;
  if (count_ >= kFilesForTwoThreads && std::thread::hardware_concurrency() > 1) {
    try {
      helper = std::thread([this] { Stamp(1, 2); });
    } catch (const std::system_error&) {
      // No second thread: this one stamps every file.
    }
  }
  Stamp(0, helper.joinable() ? 2 : 1);
  if (helper.joinable()) helper.join();
  Discard();
}

void PendingStamps::Stamp(size_t first, size_t step) const {
  RecordReader reader(records_.begin());
  std::string folder;
  std::string path;
  platform::FileInfo seen;
  for (size_t i = 0; i < count_; ++i) {
    const uint64_t head = reader.Number();
    if ((head & 1) != 0) {
      seen.device = reader.Number();
      folder.clear();
      reader.Text(reader.Number(), &folder);
    }
    seen.inode += static_cast<uint64_t>(Unfolded(reader.Number()));
    seen.mtimeSeconds = static_cast<int64_t>(static_cast<uint64_t>(seen.mtimeSeconds) +
                                             static_cast<uint64_t>(Unfolded(reader.Number())));
    seen.size = reader.Number();
    seen.mtimeNanoseconds = static_cast<int32_t>(reader.Number());
    seen.ctimeSeconds = seen.mtimeSeconds + Unfolded(reader.Number());
    seen.ctimeNanoseconds = static_cast<int32_t>(seen.mtimeNanoseconds + Unfolded(reader.Number()));
    path = folder;
    reader.Text(head >> 1, &path);
    if (i % step == first) ClearArchiveAttribute(path, seen);
  }
}

void PendingStamps::Discard() {
  records_ = std::deque<char>();
  count_ = 0;
  folder_.clear();
  lastInode_ = 0;
  lastMtimeSeconds_ = 0;
}
