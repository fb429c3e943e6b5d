// Batch mode end to end: definition files written here, run as batch
// processes of the program, checked by exit status, messages and archives.
#include <filesystem>

#include "engine/BatchRun.h"
#include "jobs/JobDefinitionWriter.h"
#include "tests/engine/run/RunTestSupport.h"

using run_test::Entries;
using testing_support::ShellQuote;
using testing_support::WriteFile;

namespace {

struct BatchOutcome {
  bool succeeded;      // exit status 0
  std::string output;  // everything the run reported
};

#ifdef ARKIVAULT_PROGRAM
const char kProgram[] = ARKIVAULT_PROGRAM;
#else
const char kProgram[] = "";
#endif

// Runs the definition file `file` as a batch in `directory`.
BatchOutcome RunBatch(const std::string& directory, const std::string& file, bool incremental,
                      bool silent) {
  std::string command = "cd " + ShellQuote(directory) + " && env -u DISPLAY -u WAYLAND_DISPLAY " +
                        ShellQuote(kProgram) + " " + ShellQuote(file);
  if (incremental) command += " -i";
  if (silent) command += " -s";
  BatchOutcome outcome;
  outcome.succeeded = testing_support::RunCommand(command + " 2>&1", &outcome.output) == 0;
  return outcome;
}

class BatchRunTest : public run_test::RunSandbox {
 protected:
  void SetUp() override {
    if (*kProgram == '\0') GTEST_SKIP() << "this build has no program to run";
    WriteFile(source + "/a.txt", "alpha");
    WriteFile(source + "/sub/b.txt", "beta");
    job.Archives = {"sub"};
  }

  void WriteDefinition(const std::string& name) {
    WriteFile(tmp / name, JobDefinitionWriter::ToXml(job));
  }
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

// Names with '\', spaces, non-ASCII characters, differing only in case, and
// XML's special characters in the job and definition file names.
TEST_F(BatchRunTest, FullThenIncrementalRunsOfOddNames) {
  const std::map<std::string, std::string> odd = {
      {"b.txt", "beta"},           {"back\\slash.txt", "backslash"}, {"with space.txt", "space"},
      {"\xC3\xA4pfel.txt", "umlaut"}, {"Case.txt", "upper"},         {"case.txt", "lower"}};
  for (const auto& [name, content] : odd) WriteFile(source + "/sub/" + name, content);
  job.BackupName = "Docs & <more>";
  job.NoOverwrite = true;
  WriteDefinition("job & co.xml");
  const BatchOutcome outcome = RunBatch(tmp.path(), "job & co.xml", false, true);
  ASSERT_TRUE(outcome.succeeded) << outcome.output;

  WriteFile(source + "/sub/c.txt", "gamma");
  ASSERT_TRUE(RunBatch(tmp.path(), "job & co.xml", true, true).succeeded);
  const std::string backup = target + "/Docs & <more>/";
  EXPECT_ZIP_VALID(backup + "sub (old 1).zip");
  EXPECT_EQ(odd, Entries(backup + "sub (old 1).zip"));
  EXPECT_ZIP_VALID(backup + "sub.zip");
  EXPECT_EQ((std::map<std::string, std::string>{{"c.txt", "gamma"}}), Entries(backup + "sub.zip"));
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
