// An Env that holds the backup worker at one chosen point (the second read of
// a file, or the stamping of a stored file) until the test releases it or the
// worker is asked to stop, so a test can cancel a run at an exact place or
// change a file while it is being stored.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#include "tests/support/FaultEnv.h"

namespace run_test {

class GateEnv : public testing_support::FaultEnv {
 public:
  enum class Point {
    SecondRead,    // a file whose path holds the given part has been read once
    MarkArchived,  // the first file stored is about to lose its archive attribute
  };

  // Holds the first thread that reaches `point` (for a path holding `pathPart`).
  // `onReach` runs there first; with `hold` false the thread goes on at once.
  void SetGate(Point point, const std::string& pathPart, bool hold,
               std::function<void()> onReach = nullptr);

  // Blocks the calling thread until the gate has been reached.
  void WaitUntilReached();

  // Lets a held thread go on.
  void Release();

  // Every read of a file whose path holds `pathPart` fails with `error`.
  void FailReads(const std::string& pathPart, int error);

  int OpenFile(const std::string& path, platform::OpenMode mode,
               std::unique_ptr<platform::File>* file) override;
  int MarkArchived(const std::string& path, const platform::FileInfo& seen) override;

 private:
  friend class GatedFile;
  // Called at a point; holds the thread when it is the gate.
  void Arrive(Point point, const std::string& path);
  // The error reads of `path` fail with; 0 for none.
  int ReadError(const std::string& path);

  std::mutex mutex_;
  std::condition_variable changed_;
  Point point_ = Point::SecondRead;
  std::string pathPart_;
  bool armed_ = false;
  bool hold_ = false;
  bool reached_ = false;
  bool released_ = false;
  std::function<void()> onReach_;
  std::string readFailPathPart_;
  int readError_ = 0;
};

// Makes an Env the current one for its lifetime.
class ScopedEnv {
 public:
  explicit ScopedEnv(platform::Env* env) { platform::Env::Install(env); }
  ~ScopedEnv() { platform::Env::Install(nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
};

}  // namespace run_test
