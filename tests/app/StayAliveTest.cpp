// The program as a process on a display with a window manager: closing the
// main window by each route, with and without a tray host, never ends it, and
// its scheduler still makes up a missed run afterwards; a tray host that
// starts later gets the icon; a signal ends it while a message box is open.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/app/AppTestSupport.h"

namespace {

using testing_support::RunCommand;
using testing_support::ShellQuote;

// Runs `command` until it succeeds, at most `seconds`; false when it never did.
// Only for states that stay once reached.
bool Eventually(const std::string& command, int seconds, std::string* output = nullptr) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  do {
    if (RunCommand(command, output) == 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

// openbox on the test's display for one scope, ready once it has claimed the screen.
class WindowManager {
 public:
  WindowManager() : openbox_("openbox", "/") {
    ready = Eventually("xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'", 10);
  }
  bool ready;

 private:
  app_test::ChildProcess openbox_;
};

// The visible windows titled exactly "Arkivault" (xdotool matches without
// case, so the tray icon's "arkivault" is sorted out by its name).
const std::string kFindMainWindow =
    "for w in $(xdotool search --onlyvisible --name '^Arkivault$'); do "
    "xprop -id $w WM_NAME | grep -q '\"Arkivault\"' && echo $w; done";

// The program in a directory of its own, with the job "Missed" due every day
// at 00:00 that makes up missed runs and was defined 30 hours ago (not yet
// overdue), so the first check after the start (30 s) backs it up into
// out/Missed.zip.
class Instance {
 public:
  explicit Instance(const std::string& arguments) {
    testing_support::WriteFile(dir / "src/a.txt", "a");
    testing_support::WriteFile(dir / "out/.keep", "");
    std::string def = app_test::JobDefinition(
        "Missed", dir / "src", dir / "out",
        "  <ScheduleFull Time=\"00:00\" Mon=\"1\" Tue=\"1\" Wed=\"1\" Thu=\"1\" Fri=\"1\" "
        "Sat=\"1\" Sun=\"1\"/>\n");
    def.replace(def.find("NoOverwrite"), 0, "CatchUp=\"yes\" ");
    testing_support::WriteFile(dir / "BackupDef/missed.xml", def);
    RunCommand("touch -d '30 hours ago' " + ShellQuote(dir / "BackupDef/missed.xml") + " && ln -s " +
               ShellQuote(app_test::BinaryDir() + "/res") + " " + ShellQuote(dir / "res"));
    process = std::make_unique<app_test::ChildProcess>(
        app_test::ProgramCommand(dir.path(), arguments), dir.path());
  }

  // The main window's id, once it is shown (within 10 s); "" when it is not.
  std::string Window() const {
    std::string id;
    if (!Eventually(kFindMainWindow + " | grep .", 10, &id)) return "";
    return id.substr(0, id.find('\n'));
  }

  testing_support::TempDir dir;
  std::unique_ptr<app_test::ChildProcess> process;
};

// The keys of each route. Alt+F4 is the window manager's close, as its close
// button is: both reach the program as the same close request.
const std::pair<const char*, const char*> kRoutes[] = {{"Alt+F4", "alt+F4"},
                                                       {"File > Close Window", "alt+f w"}};

void CloseByEachRouteAndSeeTheScheduledRun(bool trayHost) {
  for (const auto& [route, keys] : kRoutes) {
    SCOPED_TRACE(route);
    Instance instance("");
    const std::string window = instance.Window();
    ASSERT_NE("", window);
    // Keys sent before the window manager has bound its own are lost on a
    // busy machine: while the window is still shown, it is made active again
    // and the keys sent again.
    bool closed = false;
    for (int attempt = 0; attempt < 3 && !closed; ++attempt) {
      RunCommand("xdotool windowactivate --sync " + window + " && xdotool key --delay 300 " + keys);
      closed = Eventually("test -z \"$(" + kFindMainWindow + ")\"", 10);
    }
    ASSERT_TRUE(closed);
    // The missed run is made up at the first check, after the window is gone.
    EXPECT_TRUE(Eventually("test -f " + ShellQuote(instance.dir / "out/Missed.zip"), 60));
    EXPECT_TRUE(Eventually("grep -q 'catch-up.succeeded' " +
                               ShellQuote(instance.dir / "state/arkivault/runs.log"), 10));
    EXPECT_EQ(-1, instance.process->Wait(0)) << "the program ended";
    instance.process->Signal(SIGTERM);
    EXPECT_EQ(0, instance.process->Wait(5000));
    if (!trayHost) break;
  }
}

TEST(StayAliveTest, ClosingTheWindowWithATrayHostKeepsTheProgram) {
  WindowManager manager;
  ASSERT_TRUE(manager.ready);
  app_test::TrayHost tray;
  CloseByEachRouteAndSeeTheScheduledRun(true);
}

TEST(StayAliveTest, ClosingTheWindowWithoutATrayHostKeepsTheProgram) {
  WindowManager manager;
  ASSERT_TRUE(manager.ready);
  CloseByEachRouteAndSeeTheScheduledRun(false);
}

// "-n" with no tray host shows the window; a tray host started 3 s later gets
// the icon (embedded into it, which stays).
TEST(StayAliveTest, ATrayHostThatStartsLaterGetsTheIcon) {
  WindowManager manager;
  ASSERT_TRUE(manager.ready);
  Instance instance("-n");
  ASSERT_NE("", instance.Window());
  std::this_thread::sleep_for(std::chrono::seconds(3));
  app_test::TrayHost tray;
  EXPECT_TRUE(Eventually(
      "xwininfo -root -tree | grep -A5 '\"panel\"' | grep -q '\"arkivault\"'", 15))
      << "no icon in the tray host";
  RunCommand("import -window root " + ShellQuote(app_test::ScreenshotFile("late-tray.png")));
  EXPECT_EQ(-1, instance.process->Wait(0));
}

}  // namespace

// The end of the session while a message box is open: a start whose runtime
// directory is open to other users warns in a box; SIGTERM or SIGHUP then
// cancels the box and ends the program at once.
TEST(StayAliveTest, SignalsEndTheProgramWhileAMessageBoxIsOpen) {
  for (const int signal : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    testing_support::TempDir dir;
    RunCommand("cd " + ShellQuote(dir.path()) + " && mkdir -m 777 tmp tmp/arkivault-$(id -u) && " +
               "ln -s " + ShellQuote(app_test::BinaryDir() + "/res") + " res");
    app_test::ChildProcess process("env -u XDG_RUNTIME_DIR TMPDIR=tmp XDG_STATE_HOME=" +
                                       ShellQuote(dir / "state") + " " + app_test::Program() + " -n",
                                   dir.path());
    ASSERT_TRUE(Eventually("xdotool search --onlyvisible --name '^Arkivault Warning$'", 20))
        << "the warning box never showed";
    process.Signal(signal);
    EXPECT_EQ(0, process.Wait(3000)) << "the program did not end with the box open";
  }
}
