// Helpers of the backup run tests: a sandbox with a source, a target and a
// job, and what the archives of a run hold.
#pragma once

#include <filesystem>
#include <map>
#include <set>
#include <string>

#include <gtest/gtest.h>
#include <wx/init.h>
#include <wx/log.h>
#include <wx/utils.h>

#include "engine/BackupProgress.h"
#include "engine/BackupRunner.h"
#include "jobs/BackupJob.h"
#include "platform/Clock.h"
#include "platform/Env.h"
#include "tests/support/ExternalZip.h"
#include "tests/support/TempDir.h"

namespace run_test {

// Threads, translations and the log need an initialised toolkit; no display.
struct ToolkitEnvironment : ::testing::Environment {
  void SetUp() override { ASSERT_TRUE(wxInitialize()); }
  void TearDown() override { wxUninitialize(); }
};
inline const ::testing::Environment* const kToolkit =
    ::testing::AddGlobalTestEnvironment(new ToolkitEnvironment);

// The program, for runs in a process of their own; empty when the build has none.
#ifdef ARKIVAULT_PROGRAM
inline const char kProgram[] = ARKIVAULT_PROGRAM;
#else
inline const char kProgram[] = "";
#endif

// The shell command that runs the definition file `file` in `directory` as a
// batch with `arguments`, its run history below `directory`/state and its
// temporary files in `directory` (a killed run leaves them); the shell
// becomes the program. As root, without the right to read every file, so an
// unreadable file stays unreadable.
inline std::string BatchCommand(const std::string& directory, const std::string& file,
                                const std::string& arguments) {
  using testing_support::ShellQuote;
  return "cd " + ShellQuote(directory) +
         " && if [ \"$(id -u)\" = 0 ]; then set -- setpriv "
         "--bounding-set=-dac_override,-dac_read_search --; fi; "
         "exec env -u DISPLAY -u WAYLAND_DISPLAY XDG_STATE_HOME=" +
         ShellQuote(directory + "/state") + " TMPDIR=" + ShellQuote(directory) + " \"$@\" " +
         ShellQuote(kProgram) + " " + ShellQuote(file) + arguments;
}

// Every line logged while it is alive.
class LogText : public wxLog {
 public:
  LogText() : previous_(wxLog::SetActiveTarget(this)) {}
  ~LogText() override { wxLog::SetActiveTarget(previous_); }
  std::string text;

 protected:
  void DoLogRecord(wxLogLevel, const wxString& message, const wxLogRecordInfo&) override {
    text += message.utf8_string() + "\n";
  }

 private:
  wxLog* previous_;
};

// A simulated clock, the current one for its lifetime.
struct ScopedClock : platform::ManualClock {
  explicit ScopedClock(int64_t now) : ManualClock(now) { platform::Clock::Install(this); }
  ~ScopedClock() override { platform::Clock::Install(nullptr); }
};

// A new job named "Docs" backing up `source` into `target`: every file and
// directory selected, no suffix, existing archives replaced.
inline BackupJob MakeJob(const std::string& source, const std::string& target) {
  BackupJob job("Docs");
  job.SourceRootPath = source;
  job.TargetPath = target;
  job.NoOverwrite = false;
  return job;
}

// Every ".zip" file below `directory`, as paths relative to it.
inline std::set<std::string> ZipFilesBelow(const std::string& directory) {
  std::set<std::string> found;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(directory)) {
    if (entry.is_regular_file() && entry.path().extension() == ".zip") {
      found.insert(std::filesystem::relative(entry.path(), directory).string());
    }
  }
  return found;
}

// Stored names and contents ("" for directories), read by Python's zipfile.
inline std::map<std::string, std::string> Entries(const std::string& archivePath) {
  std::map<std::string, std::string> contents;
  for (const auto& [name, entry] : testing_support::ExternalEntries(archivePath))
    contents[name] = entry.content;
  return contents;
}

inline std::set<std::string> EntryNames(const std::string& archivePath) {
  std::set<std::string> names;
  for (const auto& entry : Entries(archivePath)) names.insert(entry.first);
  return names;
}

// The file at `path` carries the archive attribute (changed since it was stored).
inline bool HasArchiveBit(const std::string& path) {
  platform::Env* env = platform::Env::Default();
  platform::FileInfo info;
  return env->Stat(path, &info) == 0 && env->IsArchiveBitSet(path, info);
}

// An existing target directory, a source beside it, a job over both and a runner.
struct Sandbox {
  Sandbox() : source(tmp / "src"), target(tmp / "out"), job(MakeJob(source, target)) {
    testing_support::WriteFile(target + "/.keep", "");
  }

  bool RunJob(bool full) { return runner.RunNow(&job, full); }
  // Waits for the worker's end (it ends by itself once nothing holds it);
  // fails the test after a minute.
  void WaitForEnd() {
    for (int waited = 0; runner.IsBusy(); ++waited) {
      if (waited == 60000) {
        ADD_FAILURE() << "the backup worker did not end within a minute";
        return;
      }
      wxMilliSleep(1);
    }
  }

  testing_support::TempDir tmp;
  std::string source;
  std::string target;
  BackupJob job;
  BackupProgress progress;
  BackupRunner runner{progress};
};

class RunSandbox : public ::testing::Test, public Sandbox {};

}  // namespace run_test
