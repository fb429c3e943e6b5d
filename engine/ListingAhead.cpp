#include "engine/ListingAhead.h"

#include <system_error>

#include "engine/DirEnumerator.h"
#include "engine/PathUtil.h"
#include "platform/Env.h"

ListingAhead::ListingAhead(int flags, std::function<bool(const std::string&)> readsArchiveBit)
    : flags_(flags), readsArchiveBit_(std::move(readsArchiveBit)) {}

ListingAhead::~ListingAhead() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ending_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool ListingAhead::Begin(const std::string& directory) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stage_ != Stage::Idle || held_.size() >= kHeld) return false;
    if (!thread_.joinable()) {
      try {
        thread_ = std::thread([this] { Work(); });
      } catch (const std::system_error&) {
        return false;
      }
    }
    asked_ = directory;
    stage_ = Stage::Asked;
  }
  changed_.notify_all();
  return true;
}

std::unique_ptr<DirEnumerator> ListingAhead::Take(const std::string& directory) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (stage_ != Stage::Idle && asked_ == directory) {
    changed_.wait(lock, [this] { return stage_ == Stage::Idle; });
  }
  for (auto held = held_.begin(); held != held_.end(); ++held) {
    if (held->directory != directory) continue;
    std::unique_ptr<DirEnumerator> listing = std::move(held->listing);
    held_.erase(held);
    return listing;
  }
  return nullptr;
}

// A listing that throws is dropped, and a directory on a pseudo file system
// is not listed: the walk then deals with the directory itself.
void ListingAhead::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return ending_ || stage_ == Stage::Asked; });
    if (ending_) return;
    stage_ = Stage::Listing;
    const std::string directory = asked_;
    lock.unlock();
    std::unique_ptr<DirEnumerator> listing;
    try {
      if (!platform::Env::Current()->IsPseudoFileSystem(ToNativeSeparators(directory))) {
        listing = std::make_unique<DirEnumerator>(directory);
        listing->ReadAhead(flags_, kLimit, readsArchiveBit_);
      }
    } catch (...) {
      listing.reset();
    }
    lock.lock();
    held_.push_back(Held{directory, std::move(listing)});
    stage_ = Stage::Idle;
    changed_.notify_all();
  }
}
