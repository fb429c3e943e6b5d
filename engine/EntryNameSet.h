// A set of entry names, packed: each name once in a byte store, ended by a
// NUL (which no entry name holds), where it begins, and the writer's name
// index over them. About the name's length plus 25 bytes a name, where a
// node per name would cost some 100; appended archives can take a name per file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "zip/ZipNameIndex.h"

class EntryNameSet {
 public:
  // Adds `name`; nothing when it is there already.
  void Insert(const std::string& name);

  bool Contains(const std::string& name) const;

  size_t Size() const { return starts_.size(); }

  // Forgets every name and frees the memory.
  void Clear();

 private:
  bool Holds(uint64_t start, const std::string& name) const;

  std::deque<char> names_;       // grows without copying what it holds
  std::vector<uint64_t> starts_;  // where each name begins in names_
  ZipNameIndex index_;           // positions in starts_ by name
};
