// The program's start-up as a process without a usable display: usage text,
// batch runs and their exit statuses, resource look-up.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/app/AppTestSupport.h"
#include "tests/support/ExternalZip.h"

namespace {

namespace fs = std::filesystem;
using app_test::Program;
using app_test::RunProgram;
using testing_support::WriteFile;

TEST(StartupTest, ExitStatusAndMessages) {
  // job.xml saves source/ into target/Docs.zip; lost.xml has a target that does not exist.
  testing_support::TempDir tree;
  WriteFile(tree / "source/a.txt", "first file\n");
  WriteFile(tree / "source/sub/b.txt", "second file\n");
  fs::create_directories(tree / "target");
  WriteFile(tree / "job.xml", app_test::JobDefinition("Docs", tree / "source", tree / "target"));
  WriteFile(tree / "lost.xml", app_test::JobDefinition("Docs", tree / "source", tree / "no/tgt"));
  // message: on stderr; empty: nothing at all on either stream.
  struct Case { std::string arguments; bool succeeds; std::string message; };
  const std::string usage = "(usage)";  // stands for the usage text on stdout
  const std::string missing = "Couldn't open file 'nosuch.xml'.";
  const std::string noDisplay = "needs a display";
  const Case cases[] = {
      {"-h", true, usage}, {"--help", true, usage}, {"job.xml -h", true, usage},
      // A mistake in a batch line runs nothing: the usage row after these finds no archive.
      {"job.xml --restore", false, "requires a value"}, {"job.xml --bogus", false, "Nothing was run"},
      {"-i -s -h job.xml", true, usage}, {"-h --bogus", true, usage},
      {"nosuch.xml", false, missing}, {"-n nosuch.xml -i", false, missing},
      {"-s nosuch.xml", false, ""}, {"--silent --full --incremental nosuch.xml", false, ""},
      {"lost.xml", false, "Backup failed."}, {"-s lost.xml", false, ""},
      {"job.xml", true, "Backup successfully finished."}, {"-s -i job.xml", true, ""},
      {"", false, noDisplay}, {"-n", false, noDisplay}, {"-f -i", false, noDisplay},
  };
  // ":97" names a display that does not exist: only an interactive start may try to open one.
  for (const std::string display : {"", ":97"}) {
    fs::remove(tree / "target/Docs.zip");
    for (const Case& c : cases) {
      SCOPED_TRACE(c.arguments + " DISPLAY=" + display);
      const auto result = RunProgram(Program(), c.arguments, tree.path(), display);
      EXPECT_EQ(c.succeeds, result.status == 0);
      if (c.message == usage) {
        for (const char* line : {"-n, --nogui", "-f, --full", "-i, --incremental",
                                 "-s, --silent", "-h, --help", "Backup definition file"}) {
          EXPECT_NE(std::string::npos, result.out.find(line)) << line;
        }
        EXPECT_FALSE(testing_support::PathExists(tree / "target/Docs.zip"));
        EXPECT_EQ(std::string::npos, result.err.find("Error")) << result.err;
      } else if (c.message.empty()) {
        EXPECT_EQ("", result.err + result.out);
      } else {
        EXPECT_NE(std::string::npos, result.err.find(c.message)) << result.err;
      }
    }
    EXPECT_ZIP_VALID(tree / "target/Docs.zip");
  }
}

TEST(StartupTest, ResourceDirectoryLookUp) {
  testing_support::TempDir tree;
  const fs::path built = app_test::BinaryDir();
  // A copy of the program at `program`, with the build's res/ copied to `res` unless empty.
  const auto place = [&](const std::string& program, const std::string& res) {
    fs::create_directories(fs::path(program).parent_path());
    fs::copy_file(Program(), program);
    if (!res.empty()) fs::copy(built / "res", res, fs::copy_options::recursive);
    return program;
  };
  // A directory whose name needs escaping in a URL.
  const std::string odd = tree / "odd #1 %20 \xc3\xa4";
  place(odd + "/arkivault", odd + "/res");
  const std::string lone = place(tree / "lone/arkivault", "");
  // A working directory whose own res/ holds a broken archive: it is looked at first.
  WriteFile(tree / "brokenres/res/Arkivault.xrs", "not a zip archive");
  fs::create_directories(tree / "empty");

  struct Case { std::string program, directory; bool resourcesFound; };
  const Case cases[] = {
      {Program(), tree / "empty", true},  // beside the executable
      {odd + "/arkivault", tree / "empty", true},
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
