// The program's start-up as a process: usage text, batch runs and resource
// look-up, all without a display.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "tests/app/AppTestSupport.h"
#include "tests/support/ExternalZip.h"

namespace {

using app_test::Program;
using app_test::RunProgram;
using testing_support::TempDir;

const char* const kUsageLines[] = {
    "-n, --nogui", "-f, --full", "-i, --incremental", "-s, --silent", "-h, --help",
    "Backup definition file",
};

TEST(StartupTest, HelpPrintsUsageAndRunsNothing) {
  TempDir cwd;
  // ":97" names a display that does not exist: any attempt to start GTK would fail.
  for (const std::string display : {"", ":97"}) {
    for (const std::string arguments : {"-h", "--help", "-h nosuch.xml", "nosuch.xml -h",
                                        "-i -s -h nosuch.xml", "-h --bogus"}) {
      SCOPED_TRACE(arguments + " DISPLAY=" + display);
      const auto result = RunProgram(Program(), arguments, cwd.path(), display);
      EXPECT_EQ(0, result.status);
      for (const char* line : kUsageLines) EXPECT_NE(std::string::npos, result.out.find(line));
      // Nothing ran: no batch message, no resource or display error.
      EXPECT_EQ(std::string::npos, result.err.find("Couldn't open file"));
      EXPECT_EQ(std::string::npos, result.err.find("Error"));
    }
  }
}

TEST(StartupTest, BatchRunOfMissingFile) {
  TempDir cwd;
  struct Case {
    std::string arguments;
    std::string expectedErr;  // empty: nothing at all on either stream
  };
  const Case cases[] = {
      {"nosuch.xml", "Couldn't open file 'nosuch.xml'."},
      {"nosuch.xml -i", "Couldn't open file 'nosuch.xml'."},
      {"-n nosuch.xml", "Couldn't open file 'nosuch.xml'."},
      {"-s nosuch.xml", ""},
      {"-i -s nosuch.xml", ""},
      {"--silent --full --incremental nosuch.xml", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    const auto result = RunProgram(Program(), c.arguments, cwd.path());
    EXPECT_NE(0, result.status);
    if (c.expectedErr.empty()) {
      EXPECT_EQ("", result.err);
      EXPECT_EQ("", result.out);
    } else {
      EXPECT_NE(std::string::npos, result.err.find(c.expectedErr)) << result.err;
    }
    EXPECT_EQ(std::string::npos, result.err.find("GTK"));
  }
}

std::vector<std::string> ZipFilesBelow(const std::string& directory) {
  std::vector<std::string> found;
  std::error_code error;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(directory, error)) {
    if (entry.path().extension() == ".zip") found.push_back(entry.path());
  }
  return found;
}

TEST(StartupTest, BatchRunExitStatus) {
  TempDir tree;
  testing_support::WriteFile(tree / "source/a.txt", "first file\n");
  testing_support::WriteFile(tree / "source/sub/b.txt", "second file\n");
  std::filesystem::create_directories(tree / "target");
  const std::string source = tree / "source";
  testing_support::WriteFile(tree / "job.xml",
                             app_test::JobDefinition("Docs", source, tree / "target"));
  testing_support::WriteFile(tree / "lost.xml",
                             app_test::JobDefinition("Docs", source, tree / "no/such/target"));

  // "-h" runs nothing, even with a definition file that would run.
  auto result = RunProgram(Program(), "-h job.xml", tree.path());
  EXPECT_EQ(0, result.status);
  EXPECT_TRUE(ZipFilesBelow(tree / "target").empty());

  result = RunProgram(Program(), "job.xml", tree.path());
  EXPECT_EQ(0, result.status) << result.err;
  EXPECT_NE(std::string::npos, result.err.find("Backup successfully finished.")) << result.err;
  const auto archives = ZipFilesBelow(tree / "target");
  ASSERT_EQ(1u, archives.size());
  EXPECT_ZIP_VALID(archives[0]);

  result = RunProgram(Program(), "-s -i job.xml", tree.path());
  EXPECT_EQ(0, result.status);
  EXPECT_EQ("", result.err + result.out);

  result = RunProgram(Program(), "lost.xml", tree.path());
  EXPECT_NE(0, result.status);
  EXPECT_NE(std::string::npos, result.err.find("Backup failed.")) << result.err;
  result = RunProgram(Program(), "-s lost.xml", tree.path());
  EXPECT_NE(0, result.status);
  EXPECT_EQ("", result.err + result.out);
}

TEST(StartupTest, ResourceDirectoryLookUp) {
  namespace fs = std::filesystem;
  const fs::path built = app_test::BinaryDir();
  TempDir tree;
  // The installed layout: bin/arkivault with its data in share/arkivault/res.
  fs::create_directories(tree / "installed/bin");
  fs::copy_file(built / "arkivault", tree / "installed/bin/arkivault");
  fs::create_directories(tree / "installed/share/arkivault");
  fs::copy(built / "res", tree / "installed/share/arkivault/res", fs::copy_options::recursive);
  // A program with its res/ in a directory whose name needs escaping in a URL.
  const std::string odd = tree / "odd #1 %20 \xc3\xa4";
  fs::create_directories(odd);
  fs::copy_file(built / "arkivault", odd + "/arkivault");
  fs::copy(built / "res", odd + "/res", fs::copy_options::recursive);
  // A lone program without any res/ directory.
  fs::create_directories(tree / "lone");
  fs::copy_file(built / "arkivault", tree / "lone/arkivault");
  // A working directory whose own res/ holds a broken archive: it is looked at first.
  testing_support::WriteFile(tree / "brokenres/res/Arkivault.xrs", "not a zip archive");
  fs::create_directories(tree / "empty");

  struct Case {
    std::string program;
    std::string directory;
    bool resourcesFound;
  };
  const Case cases[] = {
      {Program(), tree / "empty", true},                      // beside the executable
      {tree / "installed/bin/arkivault", tree / "empty", true},  // installed data directory
      {odd + "/arkivault", tree / "empty", true},
      {tree / "lone/arkivault", tree / "empty", false},
      {tree / "lone/arkivault", built.string(), true},           // ./res of the working directory
      {Program(), tree / "brokenres", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program + " in " + c.directory);
    const auto result = RunProgram(c.program, "nosuch.xml", c.directory);
    EXPECT_NE(0, result.status);
    const bool resourceError =
        result.err.find("Error loading resource file res/Arkivault.xrs") != std::string::npos;
    EXPECT_EQ(!c.resourcesFound, resourceError) << result.err;
    // The batch run happens only once the resources are loaded.
    EXPECT_EQ(c.resourcesFound, result.err.find("Couldn't open file") != std::string::npos);
  }
}

TEST(StartupTest, InteractiveStartWithoutDisplayFails) {
  TempDir cwd;
  for (const std::string arguments : {"", "-n", "-f -i"}) {
    SCOPED_TRACE(arguments);
    const auto result = RunProgram(Program(), arguments, cwd.path());
    EXPECT_NE(0, result.status);
    EXPECT_NE(std::string::npos, result.err.find("needs a display")) << result.err;
  }
}

}  // namespace
