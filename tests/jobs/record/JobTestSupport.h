// Helpers for the job record tests: a clock set by the test, time zones,
// instants written as UTC dates, and a temporary current directory.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include <wx/datetime.h>

#include "platform/Clock.h"
#include "tests/support/TempDir.h"

namespace job_test {

// Installs a ManualClock for the lifetime of the object.
class ScopedClock {
 public:
  explicit ScopedClock(int64_t now) : clock_(now) { platform::Clock::Install(&clock_); }
  ~ScopedClock() { platform::Clock::Install(nullptr); }
  void Set(int64_t now) { clock_.Set(now); }

 private:
  platform::ManualClock clock_;
};

// Makes `zone` the local time zone of this test process.
void UseTimeZone(const char* zone);

// Seconds since the epoch of the given UTC date and time.
int64_t Utc(int year, int month, int day, int hour, int minute, int second = 0);

// "YYYY-MM-DD HH:MM:SS ZONE" in local time, or "unset".
std::string LocalText(const wxDateTime& moment);

// A temporary directory made the current directory, with "BackupDef" in it.
// Each test runs as its own process, so changing directory is safe.
class DefinitionsDir {
 public:
  DefinitionsDir();
  ~DefinitionsDir();
  std::string Path(const std::string& relative) const { return temp_ / relative; }
  // Names of the files directly inside "BackupDef", sorted.
  std::string ListDefinitions() const;

 private:
  testing_support::TempDir temp_;
  std::filesystem::path previous_;
};

}  // namespace job_test
