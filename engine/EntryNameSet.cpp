#include "engine/EntryNameSet.h"

#include <algorithm>

namespace {

constexpr size_t kFirstSlots = 64;

// FNV-1a.
template <typename Iterator>
uint64_t Hash(Iterator begin, Iterator end) {
  uint64_t hash = 14695981039346656037ull;
  for (; begin != end; ++begin) {
    hash ^= static_cast<unsigned char>(*begin);
    hash *= 1099511628211ull;
  }
  return hash;
}

}  // namespace

void EntryNameSet::Insert(const std::string& name) {
  if ((size_ + 1) * 2 > slots_.size()) Grow();
  const size_t slot = SlotOf(name);
  if (slots_[slot] != 0) return;
  slots_[slot] = names_.size() + 1;
  names_.insert(names_.end(), name.begin(), name.end());
  names_.push_back('\0');
  ++size_;
}

bool EntryNameSet::Contains(const std::string& name) const {
  return !slots_.empty() && slots_[SlotOf(name)] != 0;
}

void EntryNameSet::Clear() {
  names_ = std::deque<char>();
  slots_ = std::vector<uint64_t>();
  size_ = 0;
}

// Linear probing over a power-of-two table that is never more than half full.
size_t EntryNameSet::SlotOf(const std::string& name) const {
  const size_t mask = slots_.size() - 1;
  size_t slot = Hash(name.begin(), name.end()) & mask;
  while (slots_[slot] != 0 && !Holds(slots_[slot] - 1, name)) slot = (slot + 1) & mask;
  return slot;
}

bool EntryNameSet::Holds(uint64_t start, const std::string& name) const {
  const auto at = names_.begin() + static_cast<std::ptrdiff_t>(start);
  return static_cast<size_t>(names_.end() - at) > name.size() &&
         std::equal(name.begin(), name.end(), at) &&
         at[static_cast<std::ptrdiff_t>(name.size())] == '\0';
}

void EntryNameSet::Grow() {
  std::vector<uint64_t> slots(std::max(kFirstSlots, slots_.size() * 2), 0);
  const size_t mask = slots.size() - 1;
  for (const uint64_t entry : slots_) {
    if (entry == 0) continue;
    const auto begin = names_.begin() + static_cast<std::ptrdiff_t>(entry - 1);
    size_t slot = Hash(begin, std::find(begin, names_.end(), '\0')) & mask;
    while (slots[slot] != 0) slot = (slot + 1) & mask;
    slots[slot] = entry;
  }
  slots_ = std::move(slots);
}
