// Lists a directory's files on a second thread while the walk lists another.
// In a run that reads archived stamps, the stat and the stamp read of each
// file are nearly all of the work when little has changed, so the walk hands
// every other sibling directory to this thread and its calls run on the other
// core meanwhile. One listing at a time, of at most kLimit entries (the walk
// lists the rest itself), and at most kHeld listings not taken yet.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class DirEnumerator;

class ListingAhead {
 public:
  static constexpr size_t kLimit = 2048;
  static constexpr size_t kHeld = 4;

  // Listings use `flags` (DirEnumerator flags) and read the archive bit of
  // the files whose name `readsArchiveBit` accepts; it is called on the
  // second thread and must outlive this object.
  ListingAhead(int flags, std::function<bool(const std::string&)> readsArchiveBit);
  // Waits for a listing in progress to end, and ends the thread.
  ~ListingAhead();
  ListingAhead(const ListingAhead&) = delete;
  ListingAhead& operator=(const ListingAhead&) = delete;

  // Starts listing `directory` (as DirEnumerator::Open takes it) on the
  // second thread, started on the first call. False, doing nothing, while a
  // listing is under way, while kHeld listings wait to be taken, or when no
  // thread can be started.
  bool Begin(const std::string& directory);

  // The listing of `directory` that Begin started, once it is complete;
  // null when none was started for `directory` or it failed.
  std::unique_ptr<DirEnumerator> Take(const std::string& directory);

 private:
  enum class Stage { Idle, Asked, Listing };
  struct Held {
    std::string directory;
    std::unique_ptr<DirEnumerator> listing;  // null when it failed
  };
  void Work();

  const int flags_;
  const std::function<bool(const std::string&)> readsArchiveBit_;
  std::mutex mutex_;
  std::condition_variable changed_;
  Stage stage_ = Stage::Idle;
  bool ending_ = false;
  std::string asked_;       // the directory asked for, while not Idle
  std::vector<Held> held_;  // complete listings not taken yet
  std::thread thread_;
};
