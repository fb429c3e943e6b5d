#include "zip/ZipEntryList.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "zip/ZipLittleEndian.h"

namespace {

// Blocks for records, larger than the longest record. A list made after
// another was freed takes the memory of its blocks again.
constexpr size_t kBlockSize = 1 << 20;
constexpr size_t kLongestRecord = ZipFileHeader::kCentralFixedSize + 3 * 65535;
constexpr int kBlockShift = 40;
constexpr uint64_t kOffsetMask = (uint64_t{1} << kBlockShift) - 1;  // offsets in a block
constexpr uint64_t kZip64LocalBit = uint64_t{1} << 63;

size_t BlockOf(uint64_t locator) {
  return static_cast<size_t>((locator & ~kZip64LocalBit) >> kBlockShift);
}

size_t OffsetOf(uint64_t locator) { return static_cast<size_t>(locator & kOffsetMask); }

}  // namespace

uint64_t ZipEntryList::LocatorOf(size_t block, size_t offset, bool zip64Local) {
  return (uint64_t{block} << kBlockShift) | offset | (zip64Local ? kZip64LocalBit : 0);
}

const unsigned char* ZipEntryList::RecordAt(uint64_t locator) const {
  return blocks_[BlockOf(locator)].data.get() + OffsetOf(locator);
}

size_t ZipEntryList::RecordSize(const unsigned char* record) {
  return ZipFileHeader::kCentralFixedSize + zip_le::Get16(record + 28) +
         zip_le::Get16(record + 30) + zip_le::Get16(record + 32);
}

ZipFileHeader ZipEntryList::Get(size_t index) const {
  const uint64_t locator = locators_[index];
  const unsigned char* record = RecordAt(locator);
  ZipFileHeader header;
  size_t consumed = 0;
  header.ParseCentralHeader(record, RecordSize(record), &consumed);  // checked when stored
  header.zip64Local = (locator & kZip64LocalBit) != 0;
  return header;
}

uint64_t ZipEntryList::Store(const unsigned char* record, size_t size, bool zip64Local) {
  if (blocks_.empty() || blocks_.back().size - lastBlockUsed_ < size) {
    blocks_.push_back(Block{std::unique_ptr<unsigned char[]>(new unsigned char[kBlockSize]),
                            kBlockSize});
    held_ += kBlockSize;
    lastBlockUsed_ = 0;
  }
  std::memcpy(blocks_.back().data.get() + lastBlockUsed_, record, size);
  const uint64_t locator = LocatorOf(blocks_.size() - 1, lastBlockUsed_, zip64Local);
  lastBlockUsed_ += size;
  live_ += size;
  return locator;
}

void ZipEntryList::Append(const ZipFileHeader& header) {
  const std::string record = header.CentralHeader(false);
  locators_.push_back(Store(reinterpret_cast<const unsigned char*>(record.data()), record.size(),
                            header.zip64Local));
}

void ZipEntryList::Replace(size_t index, const ZipFileHeader& header) {
  const std::string record = header.CentralHeader(false);
  const auto* bytes = reinterpret_cast<const unsigned char*>(record.data());
  uint64_t& locator = locators_[index];
  if (RecordSize(RecordAt(locator)) == record.size()) {
    std::memcpy(blocks_[BlockOf(locator)].data.get() + OffsetOf(locator), bytes, record.size());
    locator = (locator & ~kZip64LocalBit) | (header.zip64Local ? kZip64LocalBit : 0);
    return;
  }
  Release(locator);
  locator = Store(bytes, record.size(), header.zip64Local);
  CompactIfWasteful();
}

void ZipEntryList::Erase(size_t index) {
  Release(locators_[index]);
  locators_.erase(locators_.begin() + static_cast<std::ptrdiff_t>(index));
  CompactIfWasteful();
}

// The last record stored gives its bytes back at once: entries are mostly
// removed from the end.
void ZipEntryList::Release(uint64_t locator) {
  const size_t size = RecordSize(RecordAt(locator));
  live_ -= size;
  if (BlockOf(locator) + 1 == blocks_.size() && OffsetOf(locator) + size == lastBlockUsed_) {
    lastBlockUsed_ -= size;
  }
}

void ZipEntryList::CompactIfWasteful() {
  if (held_ - live_ <= std::max(live_, kBlockSize)) return;
  ZipEntryList packed;
  for (const uint64_t locator : locators_) {
    const unsigned char* record = RecordAt(locator);
    packed.locators_.push_back(
        packed.Store(record, RecordSize(record), (locator & kZip64LocalBit) != 0));
  }
  *this = std::move(packed);
}

void ZipEntryList::Clear() {
  std::vector<Block>().swap(blocks_);
  std::deque<uint64_t>().swap(locators_);
  lastBlockUsed_ = 0;
  live_ = 0;
  held_ = 0;
}

bool ZipEntryList::Read(uint64_t size, size_t count,
                        const std::function<void(unsigned char*, size_t)>& read,
                        const std::function<void(const ZipFileHeader&)>& check) {
  Clear();
  size_t filled = 0;  // bytes read into the last block, parsed up to lastBlockUsed_
  ZipFileHeader header;
  bool inOrder = true;  // each offset greater than the one before
  uint64_t previousOffset = 0;
  for (size_t i = 0; i < count; ++i) {
    size_t consumed = 0;
    while (blocks_.empty() || !header.ParseCentralHeader(blocks_.back().data.get() + lastBlockUsed_,
                                                         filled - lastBlockUsed_, &consumed)) {
      // The record is cut off at the end of the block: it starts the next one.
      const size_t partial = filled - lastBlockUsed_;
      if (size == 0 || partial >= kLongestRecord) return false;
      const size_t blockSize = static_cast<size_t>(std::min<uint64_t>(kBlockSize, partial + size));
      Block block{std::unique_ptr<unsigned char[]>(new unsigned char[blockSize]), blockSize};
      if (partial != 0) {
        std::memcpy(block.data.get(), blocks_.back().data.get() + lastBlockUsed_, partial);
      }
      read(block.data.get() + partial, blockSize - partial);
      size -= blockSize - partial;
      blocks_.push_back(std::move(block));
      held_ += blockSize;
      lastBlockUsed_ = 0;
      filled = blockSize;
    }
    check(header);
    if (i > 0 && header.localHeaderOffset <= previousOffset) inOrder = false;
    previousOffset = header.localHeaderOffset;
    locators_.push_back(LocatorOf(blocks_.size() - 1, lastBlockUsed_, false));
    lastBlockUsed_ += consumed;
    live_ += consumed;
  }
  if (size != 0 || filled != lastBlockUsed_) return false;
  return inOrder || SortByOffset();
}

bool ZipEntryList::SortByOffset() {
  std::vector<std::pair<uint64_t, uint64_t>> byOffset;
  byOffset.reserve(locators_.size());
  for (size_t i = 0; i < locators_.size(); ++i) {
    byOffset.emplace_back(Get(i).localHeaderOffset, locators_[i]);
  }
  std::stable_sort(byOffset.begin(), byOffset.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (size_t i = 0; i < byOffset.size(); ++i) {
    if (i > 0 && byOffset[i].first == byOffset[i - 1].first) return false;
    locators_[i] = byOffset[i].second;
  }
  return true;
}
