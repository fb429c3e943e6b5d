// Batch mode end to end: definition files written here, run as a batch process
// of the program (or through RunDefinitionFile in this process when the build
// has no program), checked by exit status, messages and archives.
#include <filesystem>

#include <gtest/gtest.h>

#include "engine/BackupProgress.h"
#include "engine/BackupRunner.h"
#include "engine/BatchRun.h"
#include "tests/engine/run/RunTestSupport.h"

using run_test::EntryNames;
using run_test::MakeJob;
using testing_support::ShellQuote;
using testing_support::WriteFile;

namespace {

struct BatchOutcome {
  bool succeeded;      // exit status 0
  std::string output;  // everything the run reported
};

// Runs `arguments` (definition file first) as a batch in `directory`.
BatchOutcome RunBatch(const std::string& directory, const std::string& file, bool incremental,
                      bool silent) {
#ifdef ARKIVAULT_PROGRAM
  std::string command = "cd " + ShellQuote(directory) + " && env -u DISPLAY -u WAYLAND_DISPLAY " +
                        ShellQuote(ARKIVAULT_PROGRAM) + " " + ShellQuote(file);
  if (incremental) command += " -i";
  if (silent) command += " -s";
  BatchOutcome outcome;
  outcome.succeeded = testing_support::RunCommand(command + " 2>&1", &outcome.output) == 0;
  return outcome;
#else
  std::filesystem::current_path(directory);
  BackupProgress progress;
  BackupRunner runner(progress);
  run_test::LogCapture log;
  BatchOutcome outcome;
  outcome.succeeded =
      RunDefinitionFile(runner, file, !incremental, silent, directory + "/bin/arkivault");
  for (const std::string& line : log.lines) outcome.output += line + "\n";
  return outcome;
#endif
}

class BatchRunTest : public ::testing::Test {
 protected:
  BatchRunTest() : source(tmp / "src"), target(tmp / "out"), job(MakeJob(source, target)) {
    WriteFile(target + "/.keep", "");
    WriteFile(source + "/a.txt", "alpha");
    WriteFile(source + "/sub/b.txt", "beta");
    job.Archives = {"sub"};
  }

  void WriteDefinition(const std::string& name) {
    WriteFile(tmp / name, run_test::DefinitionXml(job));
  }

  testing_support::TempDir tmp;
  std::string source;
  std::string target;
  BackupJob job;
};

struct MessageCase {
  const char* label;
  const char* file;
  bool targetExists;
  bool silent;
  bool succeeds;
  std::vector<std::string> messages;  // in this order
};

TEST_F(BatchRunTest, MessagesSilenceAndExitStatus) {
  const std::vector<MessageCase> cases = {
      {"success", "job.xml", true, false, true,
       {"Processing backup file 'job.xml'...", "Backup successfully finished."}},
      {"success, silent", "job.xml", true, true, true, {}},
      {"no such file", "nosuch.xml", true, false, false, {"Couldn't open file 'nosuch.xml'."}},
      {"no such file, silent", "nosuch.xml", true, true, false, {}},
      {"missing target", "job.xml", false, false, false,
       {"Processing backup file 'job.xml'...", "Backup failed."}},
      {"missing target, silent", "job.xml", false, true, false, {}},
  };
  for (const MessageCase& c : cases) {
    SCOPED_TRACE(c.label);
    job.TargetPath = c.targetExists ? target : tmp / "missing";
    WriteDefinition("job.xml");
    const BatchOutcome outcome = RunBatch(tmp.path(), c.file, false, c.silent);
    EXPECT_EQ(c.succeeds, outcome.succeeded) << outcome.output;
    if (c.messages.empty()) {
      EXPECT_EQ("", outcome.output);
    }
    size_t from = 0;
    for (const std::string& message : c.messages) {
      const size_t at = outcome.output.find(message, from);
      EXPECT_NE(std::string::npos, at) << message << " in:\n" << outcome.output;
      if (at != std::string::npos) from = at + message.size();
    }
  }
}

TEST_F(BatchRunTest, FullThenIncrementalBatchRuns) {
  job.NoOverwrite = true;
  WriteDefinition("job.xml");
  ASSERT_TRUE(RunBatch(tmp.path(), "job.xml", false, true).succeeded);
  EXPECT_ZIP_VALID(target + "/Docs/sub.zip");
  EXPECT_EQ(std::set<std::string>{"b.txt"}, EntryNames(target + "/Docs/sub.zip"));

  WriteFile(source + "/sub/c.txt", "gamma");
  ASSERT_TRUE(RunBatch(tmp.path(), "job.xml", true, true).succeeded);
  EXPECT_ZIP_VALID(target + "/Docs/sub.zip");
  EXPECT_EQ(std::set<std::string>{"c.txt"}, EntryNames(target + "/Docs/sub.zip"));
  EXPECT_EQ(std::set<std::string>{"b.txt"}, EntryNames(target + "/Docs/sub (old 1).zip"));
}

TEST_F(BatchRunTest, DefinitionWithOddNamesRunsAsWritten) {
  WriteFile(source + "/sub/back\\slash.txt", "backslash");
  WriteFile(source + "/sub/with space.txt", "space");
  WriteFile(source + "/sub/\xC3\xA4pfel.txt", "umlaut");
  WriteFile(source + "/sub/Case.txt", "upper");
  WriteFile(source + "/sub/case.txt", "lower");
  job.BackupName = "Docs & <more>";
  WriteDefinition("job & co.xml");
  const BatchOutcome outcome = RunBatch(tmp.path(), "job & co.xml", false, false);
  ASSERT_TRUE(outcome.succeeded) << outcome.output;
  const std::string archive = target + "/Docs & <more>/sub.zip";
  EXPECT_ZIP_VALID(archive);
  const auto contents = run_test::EntryContents(archive);
  EXPECT_EQ("backslash", contents.at("back\\slash.txt"));
  EXPECT_EQ("space", contents.at("with space.txt"));
  EXPECT_EQ("umlaut", contents.at("\xC3\xA4pfel.txt"));
  EXPECT_EQ("upper", contents.at("Case.txt"));
  EXPECT_EQ("lower", contents.at("case.txt"));
}

// Where a named definition file is found: as given, beside the program, or in
// the program's BackupDef directory, in that order.
TEST(FindDefinitionFileTest, LooksInThreePlacesInOrder) {
  const struct {
    const char* label;
    std::vector<std::string> files;  // relative to the temporary directory
    std::string expected;            // relative to it; empty for none
  } cases[] = {
      {"current directory", {"cwd/job.xml"}, "job.xml"},
      {"beside the program", {"bin/job.xml"}, "bin/job.xml"},
      {"program's BackupDef", {"bin/BackupDef/job.xml"}, "bin/BackupDef/job.xml"},
      {"current directory first", {"cwd/job.xml", "bin/BackupDef/job.xml"}, "job.xml"},
      {"program directory before BackupDef", {"bin/job.xml", "bin/BackupDef/job.xml"},
       "bin/job.xml"},
      {"a directory is no definition file", {"cwd/job.xml/x", "bin/BackupDef/job.xml"},
       "bin/BackupDef/job.xml"},
      {"nowhere", {"cwd/other.xml"}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    testing_support::TempDir tmp;
    WriteFile(tmp / "cwd/.keep", "");
    for (const std::string& file : c.files) WriteFile(tmp / file, "<Arkivault/>");
    std::filesystem::current_path(tmp / "cwd");
    const wxString found = FindDefinitionFile("job.xml", tmp / "bin/arkivault");
    const std::string expected =
        c.expected.empty() || c.expected == "job.xml" ? c.expected : tmp / c.expected;
    EXPECT_EQ(expected, found.utf8_string());
    std::filesystem::current_path("/");
  }
}

}  // namespace
