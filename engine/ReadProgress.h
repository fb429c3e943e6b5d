// The progress values of a restore or a verify pass, shared like those of a
// backup run: the working thread writes them, a window reads them. Each is
// read and written as one indivisible value.
#pragma once

#include <atomic>
#include <cstdint>

class ReadProgress {
 public:
  // Entries to go through, known once the work has been planned.
  std::atomic<uint64_t> entriesTotal{0};
  // Entries dealt with so far, whatever their outcome.
  std::atomic<uint64_t> entriesDone{0};
  // Content bytes inflated so far.
  std::atomic<uint64_t> bytesRead{0};

  void Reset() {
    entriesTotal = 0;
    entriesDone = 0;
    bytesRead = 0;
  }
};
