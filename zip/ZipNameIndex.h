// The entries of an open archive by the hash of their name, for look-ups by
// name: a flat table with linear probing whose slots hold the hash, the
// entry's index and when it was indexed. About 24 bytes an entry, where a
// node-based map costs twice that. Names themselves stay in the headers: a
// caller confirms a candidate by comparing its name.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class ZipNameIndex {
 public:
  // Records entry `index` under `name`.
  void Add(const std::string& name, int index);
  // Forgets entry `index`, recorded under `name`.
  void Remove(const std::string& name, int index);
  // Entry `index` left the list: the entries after it move one place down.
  void CloseGap(int index);
  // Of the entries recorded under `name`'s hash for which `isNamed(index)`
  // holds, the one recorded first; -1 when there is none.
  int Find(const std::string& name, const std::function<bool(int)>& isNamed) const;
  // Calls `visit(index, order)` for every entry; a smaller order was recorded earlier.
  void ForEach(const std::function<void(int, uint32_t)>& visit) const;
  void Clear();

 private:
  struct Slot {
    uint32_t hash;
    int32_t index;  // -1: the slot is free
    uint32_t order;
  };

  static uint32_t HashOf(const std::string& name);
  size_t Home(uint32_t hash) const { return hash & (slots_.size() - 1); }
  size_t Next(size_t slot) const { return (slot + 1) & (slots_.size() - 1); }
  void Place(const Slot& slot);
  void EraseAt(size_t hole);

  std::vector<Slot> slots_;  // a power of two in size, at most three quarters used
  size_t used_ = 0;
  uint32_t nextOrder_ = 0;
};
