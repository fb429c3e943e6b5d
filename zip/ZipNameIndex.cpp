#include "zip/ZipNameIndex.h"

uint32_t ZipNameIndex::HashOf(const std::string& name) {
  return static_cast<uint32_t>(std::hash<std::string>{}(name));
}

void ZipNameIndex::Add(const std::string& name, int index) {
  if ((used_ + 1) * 4 > slots_.size() * 3) {
    std::vector<Slot> old(slots_.size() < 16 ? 16 : slots_.size() * 2, Slot{0, -1, 0});
    old.swap(slots_);
    for (const Slot& slot : old) {
      if (slot.index >= 0) Place(slot);
    }
  }
  Place(Slot{HashOf(name), index, nextOrder_++});
  ++used_;
}

void ZipNameIndex::Place(const Slot& slot) {
  size_t at = Home(slot.hash);
  while (slots_[at].index >= 0) at = Next(at);
  slots_[at] = slot;
}

void ZipNameIndex::Remove(const std::string& name, int index) {
  if (slots_.empty()) return;
  const uint32_t hash = HashOf(name);
  for (size_t at = Home(hash); slots_[at].index >= 0; at = Next(at)) {
    if (slots_[at].hash == hash && slots_[at].index == index) {
      EraseAt(at);
      return;
    }
  }
}

// Frees the slot and moves later slots of the probe run back into the gap
// where their home allows, so that every entry stays reachable from its home
// without markers for removed slots.
void ZipNameIndex::EraseAt(size_t hole) {
  slots_[hole].index = -1;
  --used_;
  const size_t mask = slots_.size() - 1;
  for (size_t at = Next(hole); slots_[at].index >= 0; at = Next(at)) {
    const size_t home = Home(slots_[at].hash);
    if (((at - home) & mask) >= ((at - hole) & mask)) {
      slots_[hole] = slots_[at];
      slots_[at].index = -1;
      hole = at;
    }
  }
}

void ZipNameIndex::CloseGap(int index) {
  for (Slot& slot : slots_) {
    if (slot.index > index) --slot.index;
  }
}

int ZipNameIndex::Find(const std::string& name, const std::function<bool(int)>& isNamed) const {
  if (slots_.empty()) return -1;
  const uint32_t hash = HashOf(name);
  const Slot* found = nullptr;
  for (size_t at = Home(hash); slots_[at].index >= 0; at = Next(at)) {
    const Slot& slot = slots_[at];
    if (slot.hash == hash && (found == nullptr || slot.order < found->order) && isNamed(slot.index)) {
      found = &slot;
    }
  }
  return found == nullptr ? -1 : found->index;
}

void ZipNameIndex::ForEach(const std::function<void(int, uint32_t)>& visit) const {
  for (const Slot& slot : slots_) {
    if (slot.index >= 0) visit(slot.index, slot.order);
  }
}

void ZipNameIndex::Clear() {
  std::vector<Slot>().swap(slots_);
  used_ = 0;
}
