// Starting the program more than once, as processes on Xvfb with a tray host:
// a second start hands over to the running instance and ends, a batch run
// leaves it alone, an instance killed with -9 does not block the next start,
// and SIGTERM ends the running instance at once with status 0.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "tests/app/AppTestSupport.h"
#include "tests/support/ExternalZip.h"

namespace {

using app_test::ChildProcess;
using testing_support::RunCommand;
using testing_support::ShellQuote;

// How many main windows ("Arkivault", 500 x 350) are mapped on the display.
int MainWindows() {
  std::string tree;
  RunCommand("xwininfo -root -tree", &tree);
  int count = 0;
  for (size_t at = tree.find("\"Arkivault\": ("); at != std::string::npos;
       at = tree.find("\"Arkivault\": (", at + 1)) {
    if (tree.compare(tree.find(')', at) + 3, 7, "500x350") == 0) ++count;
  }
  return count;
}

class SingleInstanceTest : public testing::Test {
 protected:
  std::string Command(const std::string& arguments) {
    return app_test::ProgramCommand(cwd.path(), arguments + " 2>>" + ShellQuote(cwd / "stderr.txt"));
  }

  // Runs a second start to its end; its exit status.
  int SecondStart(const std::string& arguments) {
    ChildProcess second(Command(arguments), cwd.path());
    return second.Wait(15000);
  }

  // When the socket file was made (its change time in ns); 0 when there is none.
  long long Socket() {
    struct stat st;
    if (stat((cwd / "ArkivaultServer").c_str(), &st) != 0) return 0;
    return st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec;
  }

  testing_support::TempDir cwd;
  app_test::TrayHost tray;
};

TEST_F(SingleInstanceTest, SecondStartsHandOverAndKilledInstancesDoNotBlock) {
  auto first = std::make_unique<ChildProcess>(Command("-n"), cwd.path());
  ASSERT_TRUE(app_test::WaitFor([&] { return Socket() != 0; }));
  EXPECT_EQ(0, MainWindows());  // tray only

  // With and without "-n", a second start shows the first one's window and ends.
  for (const char* arguments : {"", "-n"}) {
    SCOPED_TRACE(arguments);
    EXPECT_EQ(0, SecondStart(arguments));
    EXPECT_TRUE(app_test::WaitFor([] { return MainWindows() == 1; }));
    EXPECT_TRUE(first->Running());
  }

  // A batch run is a process of its own, whatever runs.
  testing_support::WriteFile(cwd / "src/a.txt", "some text\n");
  std::filesystem::create_directories(cwd / "out");
  testing_support::WriteFile(cwd / "job.xml",
                             app_test::JobDefinition("Docs", cwd / "src", cwd / "out"));
  EXPECT_EQ(0, SecondStart("job.xml -s"));
  EXPECT_ZIP_VALID(cwd / "out/Docs.zip");
  EXPECT_EQ(1, MainWindows());

  // Killed, the first leaves its socket behind; the next start takes over.
  first->Signal(SIGKILL);
  first->Wait(5000);
  const long long stale = Socket();
  ASSERT_NE(0, stale);
  ChildProcess next(Command("-n"), cwd.path());
  ASSERT_TRUE(app_test::WaitFor([&] { return Socket() != stale && Socket() != 0; }));
  EXPECT_TRUE(app_test::WaitFor([] { return MainWindows() == 0; }));
  EXPECT_EQ(0, SecondStart(""));
  EXPECT_TRUE(app_test::WaitFor([] { return MainWindows() == 1; }));
  EXPECT_TRUE(next.Running());

  // SIGTERM with no run: status 0 within a second; the socket is gone.
  next.Signal(SIGTERM);
  EXPECT_EQ(0, next.Wait(1000));
  EXPECT_EQ(0, Socket());
  EXPECT_EQ("", testing_support::ReadFile(cwd / "stderr.txt"));
}

}  // namespace
