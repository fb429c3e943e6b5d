// Deflates whole small entries on a thread of its own, in the order they are
// given, so that the writer reads the next files while earlier ones are
// compressed. Each entry becomes one raw deflate stream made in one call:
// the same bytes as deflating it on the writer's thread.
//
// Waking a thread costs far more than compressing a small file, so the two
// sides meet rarely: the thread is woken once a batch is waiting, and a writer
// that finds the queue full waits until half of it is done. While it waits,
// the writer deflates entries itself, newest first, so that both cores work
// when compression is what holds the run up.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class ZipDeflateStream;

class ZipDeflateLane {
 public:
  // The largest entry worth handing over; larger ones are deflated in blocks.
  static constexpr size_t kMaxEntrySize = 512 * 1024;

  // One entry's data once done.
  struct Entry {
    std::string data;  // the deflate stream, or the input itself at level 0
    uint32_t crc = 0;  // CRC-32 of the input
    uint64_t inputSize = 0;
    int error = 0;  // a zlib result other than success
  };

  ZipDeflateLane();
  // Drops what is queued and ends the thread.
  ~ZipDeflateLane();
  ZipDeflateLane(const ZipDeflateLane&) = delete;
  ZipDeflateLane& operator=(const ZipDeflateLane&) = delete;

  // Queues `input` to be deflated at `level` (0: only its CRC is taken).
  void Submit(std::string input, int level);
  // Entries given and not yet taken.
  size_t Queued() const;
  // True when the queue holds as many entries or bytes as it may.
  bool Full() const;
  // Returns once the oldest `count` entries (at most Queued()) are done,
  // deflating waiting entries on the calling thread meanwhile.
  void WaitFor(size_t count);
  // Moves the oldest entry to `entry` when it is done; false otherwise.
  bool TakeDone(Entry* entry);
  // Forgets every queued entry, waiting for the one being deflated.
  void Clear();

 private:
  enum class State { Waiting, Running, Done };
  struct Job {
    std::string input;
    int level;
    State state;
    Entry result;
  };
  // What one thread keeps from one entry to the next.
  struct Deflater {
    std::unique_ptr<ZipDeflateStream> stream;
    std::string scratch;
  };

  void Run();
  // Deflates `job`, taken by this thread, with the lock released meanwhile.
  void Process(Job& job, Deflater& deflater, std::unique_lock<std::mutex>& lock);
  // Counts the done jobs at the front.
  void AdvanceDone();
  // Wakes the thread if it sleeps and `enough` work waits for it.
  void WakeIfIdle(bool enough);

  mutable std::mutex mutex_;
  std::condition_variable workReady_;
  std::condition_variable doneReady_;
  std::deque<Job> jobs_;     // queued in order; the first doneCount_ are done
  size_t doneCount_ = 0;
  size_t waitingCount_ = 0;  // jobs nobody has taken yet
  size_t running_ = 0;       // jobs being deflated
  size_t queuedBytes_ = 0;   // input bytes of the queued jobs
  size_t waitingBytes_ = 0;  // input bytes of the jobs nobody has taken yet
  bool writerWaits_ = false;
  bool idle_ = false;
  bool stop_ = false;
  Deflater writerDeflater_;  // used by the writer's thread in WaitFor
  std::thread thread_;
};
