// Shared set-up of the application tests: the built program run as its own
// process (as a user or cron would), definition files, screenshots, and the
// toolkit started inside a test program.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <wx/app.h>
#include <wx/log.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/support/TempDir.h"

namespace app_test {

using testing_support::ShellQuote;

// The build tree, where the program and its res/ directory are.
inline std::string BinaryDir() {
  const char* dir = std::getenv("ARKIVAULT_BINARY_DIR");
  return dir != nullptr ? dir : ".";
}

inline std::string Program() { return BinaryDir() + "/arkivault"; }

// The file `name` in the screenshot directory, kept for people to look at:
// $ARKIVAULT_SCREENSHOTS, else /tmp/arkivault-screenshots.
inline std::string ScreenshotFile(const std::string& name) {
  const char* chosen = std::getenv("ARKIVAULT_SCREENSHOTS");
  const std::string dir = chosen != nullptr && *chosen != '\0' ? chosen : "/tmp/arkivault-screenshots";
  std::filesystem::create_directories(dir);
  return dir + "/" + name;
}

struct ProcessResult {
  int status = -1;
  std::string out, err;
};

// Runs `program` with `arguments` (shell words) in `directory` with no
// display at all, unless `display` names one, and collects both streams.
// The program keeps its run records in `directory`/state.
inline ProcessResult RunProgram(const std::string& program, const std::string& arguments,
                                const std::string& directory, const std::string& display = "") {
  testing_support::TempDir scratch;
  const std::string environment = display.empty() ? "env -u DISPLAY -u WAYLAND_DISPLAY"
                                                  : "env -u WAYLAND_DISPLAY DISPLAY=" + display;
  ProcessResult result;
  // Run records go to the test's own directory, never to the user's.
  result.status = testing_support::RunCommand(
      "( cd " + ShellQuote(directory) + " && " + environment + " XDG_STATE_HOME=" +
          ShellQuote(directory + "/state") + " timeout 60 " +
          ShellQuote(program) + " " + arguments + " 2>" + ShellQuote(scratch / "err") + " )",
      &result.out);
  result.err = testing_support::ReadFile(scratch / "err");
  return result;
}

// A definition file: the job `title` saves every file of `source` into an
// archive named after it in `target`; `schedules` goes inside its BackupDef.
inline std::string JobDefinition(const std::string& title, const std::string& source,
                                 const std::string& target, const std::string& schedules = "") {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Arkivault>\n"
         " <BackupDef BackupTitle=\"" + title + "\" BackupName=\"" + title + "\" Suffix=\"None\""
         " SourceRootPath=\"" + source + "\" TargetPath=\"" + target + "\" NoOverwrite=\"No\">\n"
         "  <IncludeFilePatterns><Pattern Pattern=\"*\"/></IncludeFilePatterns>\n"
         "  <IncludeDirPatterns><Pattern Pattern=\"*\"/></IncludeDirPatterns>\n" + schedules +
         " </BackupDef>\n</Arkivault>\n";
}

// Keeps the log, which the toolkit would show in message boxes nobody closes.
class LogCapture : public wxLog {
 public:
  std::string text;

 protected:
  void DoLogTextAtLevel(wxLogLevel, const wxString& message) override {
    text += message.utf8_string() + "\n";
  }
};

// Starts the toolkit (GTK) with `app` as the application object. A failed
// toolkit assertion fails the running test; the log goes to the capture
// returned, which the toolkit owns. Null without a display.
inline LogCapture* StartToolkit(wxApp* app) {
  static char name[] = "arkivault_tests";
  static char* argv[] = {name, nullptr};
  int argc = 1;
  wxApp::SetInstance(app);
  if (!wxEntryStart(argc, argv)) return nullptr;
  wxSetAssertHandler([](const wxString& file, int line, const wxString& function,
                        const wxString& condition, const wxString& message) {
    ADD_FAILURE_AT(file.utf8_str(), line) << function << ": " << condition << " " << message;
  });
  auto* log = new LogCapture;
  delete wxLog::SetActiveTarget(log);
  return log;
}

// A program started in the background (through the shell, which it replaces),
// killed when the object goes out of scope.
class ChildProcess {
 public:
  // Runs the shell command `command` in `directory`.
  ChildProcess(const std::string& command, const std::string& directory) {
    const std::string line = "cd " + ShellQuote(directory) + " && exec " + command;
    const char* argv[] = {"sh", "-c", line.c_str(), nullptr};
    if (posix_spawn(&pid_, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
      pid_ = -1;
    }
  }
  ~ChildProcess() {
    if (Running()) Signal(SIGKILL), Wait(5000);
  }

  bool Running() const { return pid_ > 0 && status_ == -1; }
  void Signal(int number) const { if (pid_ > 0) kill(pid_, number); }

  // Waits up to `ms` milliseconds for the end: its exit status, -1 while it
  // still runs, 128 + n after signal n.
  int Wait(int ms) {
    for (int waited = 0; Running() && waited <= ms; waited += 10) {
      int raw = 0;
      if (waitpid(pid_, &raw, WNOHANG) == pid_) {
        status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
    return status_;
  }

 private:
  pid_t pid_ = -1;
  int status_ = -1;
};

// A tray host (trayer) on the test's display for one scope.
class TrayHost {
 public:
  TrayHost() : trayer_("trayer --edge bottom --align right --widthtype request", "/") {}

 private:
  ChildProcess trayer_;
};

// Waits up to 10 s for `done`, handling the toolkit's events meanwhile
// when `yield` is set.
template <typename Done>
bool WaitFor(Done done, bool yield = false) {
  for (int i = 0; i < 1000; ++i) {
    if (done()) return true;
    if (yield) wxYield();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

}  // namespace app_test
