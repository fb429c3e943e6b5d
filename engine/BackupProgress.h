// The three progress values of a backup run. The worker thread writes them and
// the main thread reads them (and resets them once a completion has been
// shown). Each is read and written as one indivisible value, so a reader may
// see a slightly old value but never a torn one.
#pragma once

#include <atomic>
#include <cstdint>

class BackupJob;

class BackupProgress {
 public:
  // Add operations the ZIP writer has ended during the current run.
  std::atomic<uint32_t> filesAdded{0};
  // Bytes read from source files during the current run.
  std::atomic<uint64_t> bytesRead{0};
  // The job of a worker run that has ended; null while a run is going on and
  // after its end has been reported.
  std::atomic<BackupJob*> finishedJob{nullptr};

  // Zero counters, no finished job.
  void Reset();
};

static_assert(std::atomic<uint64_t>::is_always_lock_free,
              "bytesRead must be shared without a lock");
