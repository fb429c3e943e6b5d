// A set of entry names, packed: each name once in a byte store, ended by a
// NUL (which no entry name holds), and an open-addressed table of where each
// begins. About the name's length plus 17 to 33 bytes a name, where a node
// per name would cost some 100; appended archives can take a name per file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

class EntryNameSet {
 public:
  // Adds `name`; nothing when it is there already.
  void Insert(const std::string& name);

  bool Contains(const std::string& name) const;

  size_t Size() const { return size_; }

  // Forgets every name and frees the memory.
  void Clear();

 private:
  // The slot holding `name`, or the empty slot where it would go.
  size_t SlotOf(const std::string& name) const;
  bool Holds(uint64_t start, const std::string& name) const;
  void Grow();

  std::deque<char> names_;       // grows without copying what it holds
  std::vector<uint64_t> slots_;  // 1 + where a name starts in names_; 0: empty
  size_t size_ = 0;
};
