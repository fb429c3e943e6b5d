// Batch mode end to end: definition files written here, run as batch
// processes of the program, checked by exit status, messages and archives.
#include <cerrno>
#include <filesystem>

#include "engine/BatchRun.h"
#include "engine/RunHistory.h"
#include "jobs/JobDefinitionWriter.h"
#include "platform/Env.h"
#include "tests/engine/run/RunTestSupport.h"

using run_test::Entries;
using testing_support::ShellQuote;
using testing_support::WriteFile;

namespace {

struct BatchOutcome {
  int status;          // the exit status
  std::string output;  // everything the run reported
};

#ifdef ARKIVAULT_PROGRAM
const char kProgram[] = ARKIVAULT_PROGRAM;
#else
const char kProgram[] = "";
#endif

// Runs the definition file `file` as a batch in `directory`. As root, without
// the right to read every file, so an unreadable file stays unreadable.
BatchOutcome RunBatch(const std::string& directory, const std::string& file, bool incremental,
                      bool silent) {
  std::string command = "cd " + ShellQuote(directory) +
                        " && if [ \"$(id -u)\" = 0 ]; then set -- setpriv "
                        "--bounding-set=-dac_override,-dac_read_search --; fi; "
                        "env -u DISPLAY -u WAYLAND_DISPLAY XDG_STATE_HOME=" +
                        ShellQuote(directory + "/state") + " \"$@\" " +
                        ShellQuote(kProgram) + " " + ShellQuote(file);
  if (incremental) command += " -i";
  if (silent) command += " -s";
  BatchOutcome outcome;
  outcome.status = testing_support::RunCommand(command + " 2>&1", &outcome.output);
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
  bool unreadableFile;  // sub/locked.txt cannot be read
  bool silent;
  int status;
  std::vector<std::string> messages;  // in this order
};

TEST_F(BatchRunTest, MessagesSilenceAndExitStatus) {
  const std::string missing = tmp / "missing";
  const std::string locked = source + "/sub/locked.txt";
  const std::vector<MessageCase> cases = {
      {"success", "job.xml", true, false, false, 0,
       {"Processing backup file 'job.xml'...", "Backup successfully finished."}},
      {"success, silent", "job.xml", true, false, true, 0, {}},
      {"no such file", "nosuch.xml", true, false, false, 1, {"Couldn't open file 'nosuch.xml'."}},
      {"no such file, silent", "nosuch.xml", true, false, true, 1, {}},
      {"missing target", "job.xml", false, false, false, 1,
       {"Processing backup file 'job.xml'...", "Backup failed.",
        "Reason: " + platform::ErrorText(ENOENT) + ": '" + missing + "'"}},
      {"missing target, silent", "job.xml", false, false, true, 1, {}},
      {"unreadable file", "job.xml", true, true, false, 3,
       {"1 files could not be read and were not stored: '" + locked + "'",
        "Backup successfully finished."}},
      {"unreadable file, silent", "job.xml", true, true, true, 3, {}},
  };
  for (const MessageCase& c : cases) {
    SCOPED_TRACE(c.label);
    job.TargetPath = c.targetExists ? target : missing;
    WriteDefinition("job.xml");
    WriteFile(locked, "locked");
    std::filesystem::permissions(locked, c.unreadableFile ? std::filesystem::perms::none
                                                          : std::filesystem::perms::owner_read);
    const BatchOutcome outcome = RunBatch(tmp.path(), c.file, false, c.silent);
    EXPECT_EQ(c.status, outcome.status) << outcome.output;
    if (c.status == 3) {
      EXPECT_EQ((std::map<std::string, std::string>{{"b.txt", "beta"}}),
                Entries(target + "/Docs/sub.zip"));
    }
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
// XML's special characters in the job and definition file names; the
// definition file's name also holds a byte that is not UTF-8.
TEST_F(BatchRunTest, FullThenIncrementalRunsOfOddNames) {
  const std::map<std::string, std::string> odd = {
      {"b.txt", "beta"},           {"back\\slash.txt", "backslash"}, {"with space.txt", "space"},
      {"\xC3\xA4pfel.txt", "umlaut"}, {"Case.txt", "upper"},         {"case.txt", "lower"}};
  for (const auto& [name, content] : odd) WriteFile(source + "/sub/" + name, content);
  job.BackupName = "Docs & <more>";
  job.NoOverwrite = true;
  const std::string definition = "job & co\xFF.xml";
  WriteDefinition(definition);
  const BatchOutcome outcome = RunBatch(tmp.path(), definition, false, false);
  ASSERT_EQ(0, outcome.status) << outcome.output;

  WriteFile(source + "/sub/c.txt", "gamma");
  ASSERT_EQ(0, RunBatch(tmp.path(), definition, true, true).status);
  // Each run left its record, naming the definition file as found.
  const std::vector<RunRecord> records = RunHistory(tmp / "state/arkivault").Load();
  ASSERT_EQ(2u, records.size());
  for (const RunRecord& record : records) {
    EXPECT_EQ(RunTrigger::Batch, record.trigger);
    EXPECT_EQ(RunRecord::Outcome::Succeeded, record.outcome);
    EXPECT_EQ(tmp / definition, record.definition);
    EXPECT_EQ(1u, record.archives);
  }
  EXPECT_TRUE(records[0].full && !records[1].full);
  EXPECT_EQ(odd.size(), records[0].files);
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
