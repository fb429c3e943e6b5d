// Batch mode end to end: definition files written here, run as batch
// processes of the program, checked by exit status, messages and archives.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>

#include "engine/BatchRun.h"
#include "engine/RunHistory.h"
#include "jobs/JobDefinitionWriter.h"
#include "tests/engine/run/RunTestSupport.h"
#include "zip/ZipFile.h"
#include "zip/ZipJournal.h"

namespace fs = std::filesystem;
using run_test::Entries;
using testing_support::ShellQuote;
using testing_support::WriteFile;

namespace {

struct BatchOutcome { int status; std::string output; };

class BatchRunTest : public run_test::RunSandbox {
 protected:
  void SetUp() override {
    if (*run_test::kProgram == '\0') GTEST_SKIP() << "this build has no program to run";
    WriteFile(source + "/a.txt", "alpha");
    WriteFile(source + "/sub/b.txt", "beta");
    job.Archives = {"sub"};
  }

  void WriteDefinition(const std::string& name) { WriteFile(tmp / name, JobDefinitionWriter::ToXml(job)); }

  // Runs the definition file `file` as a batch in the temporary directory.
  BatchOutcome RunBatch(const std::string& file, bool incremental, bool silent) {
    BatchOutcome outcome;
    const std::string flags = std::string(incremental ? " -i" : "") + (silent ? " -s" : "") + " 2>&1";
    outcome.status =
        testing_support::RunCommand(run_test::BatchCommand(tmp.path(), file, flags), &outcome.output);
    return outcome;
  }
};

// A batch run of each outcome, once with messages and once silent.
TEST_F(BatchRunTest, MessagesSilenceAndExitStatus) {
  const std::string missing = tmp / "missing";
  const std::string locked = source + "/sub/locked.txt";
  // trouble: 'n': no such definition file; 't': the target is missing; 'f': sub/locked.txt
  // cannot be read; 'd': sub/locked/ cannot be listed; 's': the source was moved away.
  // messages: in this order, unless silent.
  const struct { const char* label; char trouble; int status; std::vector<std::string> messages; } cases[] = {
      {"success", ' ', 0,
       {"Processing backup file 'job.xml'...", "Backup successfully finished."}},
      {"no such file", 'n', 1, {"Couldn't open file 'nosuch.xml'."}},
      {"missing target", 't', 1,
       {"Processing backup file 'job.xml'...", "Backup failed.",
        "Reason: " + platform::ErrorText(ENOENT) + ": '" + missing + "'"}},
      {"unreadable file, an old archive removed", 'f', 3,
       {"1 files could not be read and were not stored: '" + locked + "'",
        "Removed old backup: " + target + "/Docs/sub (old 1).zip",
        "Backup finished, but not everything selected was stored."}},
      {"unreadable folder", 'd', 3,
       {"1 folders could not be read and were not stored: '" + source + "/sub/locked' (" +
        platform::ErrorText(EACCES) + ")"}},
      {"sub/locked/ listed, its files (and sub/link.txt's) not looked at", 'x', 3,
       {"2 folders could not be read and were not stored: '" + source + "/sub' (" + platform::ErrorText(EACCES) +
        "), '" + source + "/sub/locked' (" + platform::ErrorText(EACCES) + ")"}},
      {"source moved away", 's', 1,
       {"Backup failed.", "Reason: the source folder cannot be read (" +
                              platform::ErrorText(ENOENT) + "): '" + source + "/sub'"}},
  };
  const int keepOld = job.KeepOld;
  for (const auto& c : cases) {
    for (const bool silent : {false, true}) {
      SCOPED_TRACE(std::string(c.label) + (silent ? ", silent" : ""));
      job.TargetPath = c.trouble == 't' ? missing : target;
      job.KeepOld = c.trouble == 'f' ? 1 : keepOld;
      WriteDefinition("job.xml");
      WriteFile(locked, "locked");
      fs::permissions(locked, c.trouble == 'f' ? fs::perms::none : fs::perms::owner_read);
      WriteFile(target + "/Docs/sub.zip", "earlier archive");
      for (const int n : {1, 2}) {  // two retired archives, one more than the job keeps
        const std::string old = target + "/Docs/sub (old " + std::to_string(n) + ").zip";
        if (c.trouble != 'f') continue;
        WriteFile(old, "older archive");
        fs::last_write_time(old, fs::file_time_type::clock::now() - std::chrono::hours(3 - n));
      }
      WriteFile(source + "/sub/locked/c.txt", "gamma");
      fs::permissions(source + "/sub/locked", c.trouble == 'd' ? fs::perms::none
                                              : c.trouble == 'x' ? fs::perms::owner_read : fs::perms::owner_all);

      if (c.trouble == 'x' && !silent) fs::create_symlink("locked/c.txt", source + "/sub/link.txt");
      if (c.trouble == 's') fs::rename(source, tmp / "unplugged");
      const BatchOutcome outcome =
          RunBatch(c.trouble == 'n' ? "nosuch.xml" : "job.xml", false, silent);
      if (c.trouble == 's') fs::rename(tmp / "unplugged", source);
      EXPECT_EQ(c.status, outcome.status) << outcome.output;
      std::map<std::string, std::string> stored = {{"b.txt", "beta"}, {"locked/", ""}};
      if (c.trouble != 'f') stored["locked.txt"] = "locked";
      if (c.trouble != 'd' && c.trouble != 'x') stored["locked/c.txt"] = "gamma";
      if (c.status == 3) {
        EXPECT_EQ(stored, Entries(target + "/Docs/sub.zip"));
      } else if (c.status == 1 && c.trouble != 't') {
        EXPECT_EQ("earlier archive", testing_support::ReadFile(target + "/Docs/sub.zip"));
      }
      if (silent) {
        EXPECT_EQ("", outcome.output);
        continue;
      }
      size_t from = 0;
      for (const std::string& message : c.messages) {
        const size_t at = outcome.output.find(message, from);
        EXPECT_NE(std::string::npos, at) << message << " in:\n" << outcome.output;
        if (at != std::string::npos) from = at + message.size();
      }
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
  const BatchOutcome outcome = RunBatch(definition, false, false);
  ASSERT_EQ(0, outcome.status) << outcome.output;

  WriteFile(source + "/sub/c.txt", "gamma");
  ASSERT_EQ(0, RunBatch(definition, true, true).status);
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

// Files planted in a target folder that other accounts may write (owned by
// another account where the tests run as root), before a full and an
// incremental run: nothing outside the target changes, the archive is its
// previous state or the run's result, and the run says what it refused.
TEST_F(BatchRunTest, PlantedFilesInASharedTargetAreNeverWrittenThrough) {
  using Plant = std::function<void(const std::string& archive)>;
  const bool root = ::geteuid() == 0;
  const std::string victim = tmp / "victim.zip", victimDir = tmp / "victim-dir";
  const auto foreign = [root](const std::string& path) {
    if (root) { ASSERT_EQ(0, ::lchown(path.c_str(), 65534, 65534)) << path; }
  };
  const auto link = [&](const std::string& at, const std::string& to) {
    fs::remove(at);
    fs::create_symlink(to, at);
    foreign(at);
  };
  const std::string refusedLink = "it is a symbolic link", setAside = "does not belong to it";

  const struct {
    const char* label; Plant plant; int status; std::vector<std::string> says; bool noOverwrite = false;
  } cases[] = {
      {"link at the archive", [&](const std::string& a) { link(a, victim); }, 1,
       {"sub.zip'", refusedLink}},
      {"link at .partial", [&](const std::string& a) { link(a + ".partial", victim); }, 1,
       {"sub.zip.partial", refusedLink}},
      {"stale .partial of a killed run",
       [&](const std::string& a) { WriteFile(a + ".partial", std::string(20000, 'p')); }, 0, {}},
      {"link at the journal", [&](const std::string& a) { link(a + ".journal", victim); }, 0,
       {"sub.zip.journal", setAside}},
      {"FIFO at the index, which would block the run",
       [&](const std::string&) {
         const std::string index = target + "/Docs/arkivault-index.txt";
         ASSERT_TRUE(fs::remove(index) && ::mkfifo(index.c_str(), 0644) == 0);
         foreign(index);
       },
       0, {}},
      {"link at (old 1)", [&](const std::string&) { link(target + "/Docs/sub (old 1).zip", victim); },
       0, {}, true},
      {"directory link on the path",
       [&](const std::string&) { fs::remove_all(target + "/Docs"); link(target + "/Docs", victimDir); },
       root ? 1 : 0, {root ? refusedLink : ""}},
      {"foreign journal beside the archive",
       [&](const std::string& a) {
         WriteFile(a + ".journal", std::string("AKJ1\x16\0\0\0\0\0\0\0", 12) + "crc." +
                                       std::string(16, '\0') + "owned");
         foreign(a + ".journal");
       },
       0, {setAside}},
      {"stale journal beside a new archive",
       [&](const std::string& a) {
         fs::copy_file(a, tmp / "earlier.zip", fs::copy_options::overwrite_existing);
         ZipFile earlier;
         earlier.Open(tmp / "earlier.zip", ZipAbstractFile::kOpenArchive, true);
         ZipJournal(tmp / "earlier.zip", earlier.Length()).Protect(0, earlier);
         earlier.Close();
         fs::rename(tmp / "earlier.zip.journal", a + ".journal");
       },
       0, {setAside}},
  };
  fs::permissions(target, fs::perms::group_write, fs::perm_options::add);
  for (const auto& c : cases) {
    for (const bool incremental : {false, true}) {
      SCOPED_TRACE(std::string(c.label) + (incremental ? ", incremental" : ", full"));
      fs::remove_all(target + "/Docs");
      fs::remove_all(victimDir);
      fs::create_directory(victimDir);
      fs::remove(source + "/sub/d.txt");
      job.NoOverwrite = c.noOverwrite;
      WriteDefinition("job.xml");
      ASSERT_EQ(0, RunBatch("job.xml", false, true).status);
      const std::string archive = target + "/Docs/sub.zip";
      fs::copy_file(archive, victim, fs::copy_options::overwrite_existing);
      const std::string before = testing_support::ReadFile(archive);  // and the victim's bytes
      c.plant(archive);
      WriteFile(source + "/sub/d.txt", "delta");
      const BatchOutcome outcome = RunBatch("job.xml", incremental, false);
      EXPECT_EQ(c.status, outcome.status) << outcome.output;
      for (const std::string& text : c.says)
        EXPECT_NE(std::string::npos, outcome.output.find(text)) << text << " in:\n" << outcome.output;
      EXPECT_EQ(before, testing_support::ReadFile(victim));
      EXPECT_TRUE(fs::is_empty(victimDir) || !root);
      if (c.status != 0) {
        if (!fs::is_symlink(archive) && !fs::is_symlink(target + "/Docs")) {
          EXPECT_EQ(before, testing_support::ReadFile(archive));
        }
      } else {
        EXPECT_ZIP_VALID(archive);
        EXPECT_EQ("delta", Entries(archive)["d.txt"]);
        EXPECT_FALSE(fs::exists(fs::symlink_status(archive + ".partial")));
      }
    }
  }
}

// Where a named definition file is found: as given, beside the program, or in
// the program's BackupDef directory, in that order.
TEST(FindDefinitionFileTest, LooksInThreePlacesInOrder) {
  const struct {  // paths relative to the temporary directory; none expected: empty
    const char* label; std::vector<std::string> files; std::string expected;
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
