#include "engine/EntryNameSet.h"

#include <algorithm>

void EntryNameSet::Insert(const std::string& name) {
  if (Contains(name)) return;
  starts_.push_back(names_.size());
  names_.insert(names_.end(), name.begin(), name.end());
  names_.push_back('\0');
  index_.Add(name, static_cast<int>(starts_.size() - 1));
}

bool EntryNameSet::Contains(const std::string& name) const {
  return index_.Find(name, [&](int i) { return Holds(starts_[static_cast<size_t>(i)], name); }) >= 0;
}

void EntryNameSet::Clear() {
  names_ = std::deque<char>();
  starts_ = std::vector<uint64_t>();
  index_.Clear();
}

bool EntryNameSet::Holds(uint64_t start, const std::string& name) const {
  const auto at = names_.begin() + static_cast<std::ptrdiff_t>(start);
  return static_cast<size_t>(names_.end() - at) > name.size() &&
         std::equal(name.begin(), name.end(), at) &&
         at[static_cast<std::ptrdiff_t>(name.size())] == '\0';
}
