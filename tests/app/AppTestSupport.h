// Shared set-up of the application tests: the built program run as its own
// process (as a user or cron would), definition files, screenshots, and the
// toolkit started inside a test program.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <wx/app.h>
#include <wx/image.h>
#include <wx/log.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>

#include "tests/support/TempDir.h"

namespace app_test {

using testing_support::ShellQuote;

// A warning or critical message of GTK fails the running test (it is still
// printed): each is a toolkit call made at the wrong moment. GLib is reached
// through the loaded toolkit, so its writer is looked up at run time.
namespace glib {
struct LogField {
  const char* key;
  const void* value;
  ssize_t length;  // -1: a NUL-terminated string
};
using LogWriter = int (*)(int level, const LogField* fields, size_t count, void* data);
constexpr int kCritical = 1 << 3, kWarning = 1 << 4;

inline int FailOnGtkWarnings(int level, const LogField* fields, size_t count, void* data) {
  std::string domain, message;
  for (size_t i = 0; i < count; ++i) {
    const char* text = static_cast<const char*>(fields[i].value);
    const std::string value = fields[i].length < 0 ? text : std::string(text, fields[i].length);
    if (std::strcmp(fields[i].key, "GLIB_DOMAIN") == 0) domain = value;
    if (std::strcmp(fields[i].key, "MESSAGE") == 0) message = value;
  }
  if (domain == "Gtk" && (level & (kCritical | kWarning)) != 0) {
    ADD_FAILURE() << "Gtk-" << ((level & kCritical) != 0 ? "CRITICAL: " : "WARNING: ") << message;
  }
  static const auto print = reinterpret_cast<LogWriter>(dlsym(RTLD_DEFAULT, "g_log_writer_default"));
  return print(level, fields, count, data);
}

inline void InstallLogWriter() {
  static bool installed = false;
  if (std::exchange(installed, true)) return;
  using SetWriter = void (*)(LogWriter, void*, void (*)(void*));
  if (auto set = reinterpret_cast<SetWriter>(dlsym(RTLD_DEFAULT, "g_log_set_writer_func"))) {
    set(&FailOnGtkWarnings, nullptr, nullptr);
  }
}
}  // namespace glib

inline void ExpectNoGtkWarnings(const std::string& output) {
  for (const char* kind : {"Gtk-CRITICAL", "Gtk-WARNING"}) {
    EXPECT_EQ(std::string::npos, output.find(kind)) << output;
  }
}

// The build tree, where the program and its res/ directory are.
inline std::string BinaryDir() {
  const char* dir = std::getenv("ARKIVAULT_BINARY_DIR");
  return dir != nullptr ? dir : ".";
}

inline std::string Program() { return BinaryDir() + "/arkivault"; }

// The shell command that runs `program` with `arguments` (shell words), its
// runtime directory `directory` (private: no other instance is found there)
// and its run records in `directory`/state.
inline std::string ProgramCommand(const std::string& directory, const std::string& arguments,
                                  const std::string& program = Program()) {
  return "env XDG_RUNTIME_DIR=" + ShellQuote(directory) + " XDG_STATE_HOME=" +
         ShellQuote(directory + "/state") + " " + ShellQuote(program) + " " + arguments;
}

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
  result.status = testing_support::RunCommand(
      "( cd " + ShellQuote(directory) + " && " + environment + " XDG_STATE_HOME=" +
          ShellQuote(directory + "/state") + " timeout 60 " +
          ShellQuote(program) + " " + arguments + " 2>" + ShellQuote(scratch / "err") + " )",
      &result.out);
  result.err = testing_support::ReadFile(scratch / "err");
  ExpectNoGtkWarnings(result.err);
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
struct LogCapture : wxLog {
  void DoLogTextAtLevel(wxLogLevel, const wxString& message) override {
    text += message.utf8_string() + "\n";
  }
  std::string text;
};

// Starts the toolkit (GTK) with `app` as the application object. A failed
// toolkit assertion, or a warning of GTK, fails the running test; the log
// goes to the capture returned, which the toolkit owns. Null without a display.
inline LogCapture* StartToolkit(wxApp* app) {
  static char name[] = "arkivault_tests";
  static char* argv[] = {name, nullptr};
  int argc = 1;
  glib::InstallLogWriter();
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

// Starts the toolkit once for a test program without an application of its
// own, and ends the program at once when there is no display or `Ready` fails.
class ToolkitEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    log = StartToolkit(new wxApp);
    wxInitAllImageHandlers();
    if (log == nullptr || !Ready()) {
      std::fputs("no display (run under xvfb-run) or the set-up failed\n", stderr);
      std::exit(EXIT_FAILURE);
    }
  }
  void TearDown() override { wxEntryCleanup(); }
  virtual bool Ready() { return true; }

  LogCapture* log = nullptr;
};

// A program started in the background (through the shell, which it replaces),
// killed when the object goes out of scope.
class ChildProcess {
 public:
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
struct TrayHost {
  ChildProcess trayer{"trayer --edge bottom --align right --widthtype request", "/"};
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
