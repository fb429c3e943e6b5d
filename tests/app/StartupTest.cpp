// The program's start-up as a process without a display: usage text, batch
// runs and their exit statuses, resource look-up.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/app/AppTestSupport.h"
#include "tests/support/ExternalZip.h"

namespace {

namespace fs = std::filesystem;
using app_test::Program;
using app_test::RunProgram;
using testing_support::TempDir;

// A working directory with job.xml, which saves source/ into target/Docs.zip,
// and lost.xml, whose target does not exist.
class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::WriteFile(tree / "source/a.txt", "first file\n");
    testing_support::WriteFile(tree / "source/sub/b.txt", "second file\n");
    fs::create_directories(tree / "target");
    testing_support::WriteFile(tree / "job.xml",
                               app_test::JobDefinition("Docs", tree / "source", tree / "target"));
    testing_support::WriteFile(
        tree / "lost.xml", app_test::JobDefinition("Docs", tree / "source", tree / "no/target"));
  }
  TempDir tree;
};

TEST_F(StartupTest, HelpPrintsUsageAndRunsNothing) {
  // ":97" names a display that does not exist: any attempt to start GTK would fail.
  for (const std::string display : {"", ":97"}) {
    for (const std::string arguments :
         {"-h", "--help", "-h job.xml", "job.xml -h", "-i -s -h job.xml", "-h --bogus"}) {
      SCOPED_TRACE(arguments + " DISPLAY=" + display);
      const auto result = RunProgram(Program(), arguments, tree.path(), display);
      EXPECT_EQ(0, result.status);
      for (const char* line : {"-n, --nogui", "-f, --full", "-i, --incremental", "-s, --silent",
                               "-h, --help", "Backup definition file"}) {
        EXPECT_NE(std::string::npos, result.out.find(line)) << line;
      }
      EXPECT_EQ(std::string::npos, result.err.find("Error")) << result.err;
      EXPECT_FALSE(testing_support::PathExists(tree / "target/Docs.zip"));
    }
  }
}

TEST_F(StartupTest, ExitStatusAndMessages) {
  struct Case {
    std::string arguments;
    bool succeeds;
    std::string message;  // on stderr; empty: nothing at all on either stream
  };
  const std::string missing = "Couldn't open file 'nosuch.xml'.";
  const std::string noDisplay = "needs a display";
  const Case cases[] = {
      {"nosuch.xml", false, missing},
      {"-n nosuch.xml -i", false, missing},
      {"-s nosuch.xml", false, ""},
      {"--silent --full --incremental nosuch.xml", false, ""},
      {"lost.xml", false, "Backup failed."},
      {"-s lost.xml", false, ""},
      {"job.xml", true, "Backup successfully finished."},
      {"-s -i job.xml", true, ""},
      {"", false, noDisplay},
      {"-n", false, noDisplay},
      {"-f -i", false, noDisplay},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    const auto result = RunProgram(Program(), c.arguments, tree.path());
    EXPECT_EQ(c.succeeds, result.status == 0);
    if (c.message.empty()) {
      EXPECT_EQ("", result.err + result.out);
    } else {
      EXPECT_NE(std::string::npos, result.err.find(c.message)) << result.err;
    }
  }
  EXPECT_ZIP_VALID(tree / "target/Docs.zip");
}

TEST_F(StartupTest, ResourceDirectoryLookUp) {
  const fs::path built = app_test::BinaryDir();
  // Puts a copy of the program at `program`, with the build's res/ at `res` unless that is empty.
  const auto place = [&](const std::string& program, const std::string& res) {
    fs::create_directories(fs::path(program).parent_path());
    fs::copy_file(Program(), program);
    if (res.empty()) return program;
    fs::create_directories(res);
    fs::copy(built / "res", res, fs::copy_options::recursive);
    return program;
  };
  const std::string installed =
      place(tree / "installed/bin/arkivault", tree / "installed/share/arkivault/res");
  // A directory whose name needs escaping in a URL.
  const std::string odd = place(tree / "odd #1 %20 \xc3\xa4/arkivault", tree / "odd #1 %20 \xc3\xa4/res");
  const std::string lone = place(tree / "lone/arkivault", "");
  // A working directory whose own res/ holds a broken archive: it is looked at first.
  testing_support::WriteFile(tree / "brokenres/res/Arkivault.xrs", "not a zip archive");
  fs::create_directories(tree / "empty");

  struct Case {
    std::string program;
    std::string directory;
    bool resourcesFound;
  };
  const Case cases[] = {
      {Program(), tree / "empty", true},  // beside the executable
      {installed, tree / "empty", true},  // the installed data directory
      {odd, tree / "empty", true},
      {lone, tree / "empty", false},
      {lone, built.string(), true},  // ./res of the working directory
      {Program(), tree / "brokenres", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program + " in " + c.directory);
    const auto result = RunProgram(c.program, "nosuch.xml", c.directory);
    EXPECT_NE(0, result.status);
    EXPECT_EQ(!c.resourcesFound,
              result.err.find("Error loading resource file res/Arkivault.xrs") != std::string::npos)
        << result.err;
    // The batch run happens only once the resources are loaded.
    EXPECT_EQ(c.resourcesFound, result.err.find("Couldn't open file") != std::string::npos);
  }
}

}  // namespace
