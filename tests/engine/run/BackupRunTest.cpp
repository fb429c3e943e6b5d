// Backup runs on the calling thread, checked on disk: what the archives hold
// (read by outside readers), which files keep their archive attribute, and how
// each kind of failure ends the run.
#include <cerrno>
#include <fstream>

#include <gtest/gtest.h>

#include "engine/BackupProgress.h"
#include "engine/BackupRunner.h"
#include "tests/engine/run/GateEnv.h"
#include "tests/engine/run/RunTestSupport.h"

using run_test::EntryContents;
using run_test::EntryNames;
using run_test::HasArchiveBit;
using run_test::MakeJob;
using run_test::ZipFilesBelow;
using testing_support::PathExists;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

class BackupRunTest : public ::testing::Test {
 protected:
  BackupRunTest() : source(tmp / "src"), target(tmp / "out"), job(MakeJob(source, target)) {
    WriteFile(target + "/.keep", "");
  }

  bool Run(bool full) { return runner.RunNow(&job, full); }

  testing_support::TempDir tmp;
  std::string source;
  std::string target;
  BackupJob job;
  BackupProgress progress;
  BackupRunner runner{progress};
};

// Number of entries as Python's zipfile lists them (duplicates included).
int EntryCount(const std::string& archive) {
  std::string output;
  testing_support::RunCommand(
      "python3 -c 'import sys,zipfile; print(len(zipfile.ZipFile(sys.argv[1]).namelist()))' " +
          testing_support::ShellQuote(archive),
      &output);
  return std::stoi(output);
}

TEST_F(BackupRunTest, FullThenIncrementalTakesOnlyChangedFiles) {
  WriteFile(source + "/a.txt", "alpha");
  WriteFile(source + "/sub/b.txt", "beta beta beta");
  WriteFile(source + "/sub/deep/c.txt", "gamma");
  testing_support::RunCommand("mkdir -p " + testing_support::ShellQuote(source + "/empty"));
  const std::string archive = target + "/Docs.zip";

  ASSERT_TRUE(Run(true));
  EXPECT_TRUE(runner.Succeeded());
  EXPECT_ZIP_VALID(archive);
  EXPECT_EQ((std::set<std::string>{"a.txt", "empty/", "sub/", "sub/b.txt", "sub/deep/",
                                   "sub/deep/c.txt"}),
            EntryNames(archive));
  EXPECT_EQ("beta beta beta", EntryContents(archive)["sub/b.txt"]);
  for (const char* file : {"/a.txt", "/sub/b.txt", "/sub/deep/c.txt"}) {
    EXPECT_FALSE(HasArchiveBit(source + file)) << file;
  }

  // Nothing changed: the kept archive gets nothing.
  ASSERT_TRUE(Run(false));
  EXPECT_EQ(0u, progress.filesAdded.load());
  EXPECT_EQ(6, EntryCount(archive));

  // A modified file and a file replaced by a rename are taken, in place of
  // their earlier entries; incremental runs add no directory entries.
  WriteFile(source + "/a.txt", "alpha, revised");
  run_test::Touch(source + "/a.txt", 5);
  WriteFile(source + "/sub/b.new", "beta replaced");
  ASSERT_EQ(0, std::rename((source + "/sub/b.new").c_str(), (source + "/sub/b.txt").c_str()));
  ASSERT_TRUE(Run(false));
  EXPECT_EQ(2u, progress.filesAdded.load());
  EXPECT_ZIP_VALID(archive);
  EXPECT_EQ(6, EntryCount(archive));
  const auto contents = EntryContents(archive);
  EXPECT_EQ("alpha, revised", contents.at("a.txt"));
  EXPECT_EQ("beta replaced", contents.at("sub/b.txt"));
  EXPECT_EQ("gamma", contents.at("sub/deep/c.txt"));
  EXPECT_FALSE(HasArchiveBit(source + "/a.txt"));
}

TEST_F(BackupRunTest, FileModifiedWhileStoredIsTakenAgain) {
  const std::string big = source + "/big.bin";
  WriteFile(big, run_test::RandomBytes(300000, 1));
  WriteFile(source + "/small.txt", "small");
  run_test::GateEnv env;
  env.SetGate(run_test::GateEnv::Point::SecondRead, "big.bin", false, [&] {
    std::ofstream(big, std::ios::app) << "appended while being stored";
  });
  {
    run_test::ScopedEnv installed(&env);
    ASSERT_TRUE(Run(true));
  }
  EXPECT_ZIP_VALID(target + "/Docs.zip");
  EXPECT_TRUE(HasArchiveBit(big));
  EXPECT_FALSE(HasArchiveBit(source + "/small.txt"));

  job.NoOverwrite = true;
  ASSERT_TRUE(Run(false));
  EXPECT_ZIP_VALID(target + "/Docs.zip");
  EXPECT_EQ(ReadFile(big), EntryContents(target + "/Docs.zip").at("big.bin"));
  EXPECT_EQ(std::set<std::string>{"big.bin"}, EntryNames(target + "/Docs.zip"));
  EXPECT_FALSE(HasArchiveBit(big));
}

TEST_F(BackupRunTest, FileTheWriterRefusesKeepsItsAttribute) {
  WriteFile(source + "/locked.txt", "locked");
  WriteFile(source + "/open.txt", "open");
  run_test::GateEnv env;
  env.FailOpen("locked.txt", EACCES);
  {
    run_test::ScopedEnv installed(&env);
    ASSERT_TRUE(Run(true));
  }
  EXPECT_ZIP_VALID(target + "/Docs.zip");
  EXPECT_EQ(std::set<std::string>{"open.txt"}, EntryNames(target + "/Docs.zip"));
  EXPECT_TRUE(HasArchiveBit(source + "/locked.txt"));
  EXPECT_FALSE(HasArchiveBit(source + "/open.txt"));

  job.NoOverwrite = true;
  ASSERT_TRUE(Run(false));
  EXPECT_EQ(std::set<std::string>{"locked.txt"}, EntryNames(target + "/Docs.zip"));
  EXPECT_EQ((std::set<std::string>{"Docs (old 1).zip", "Docs.zip"}), ZipFilesBelow(target));
}

// Source tree of the layout cases: A holds a file, a subdirectory with a file
// and an empty grandchild, and an empty subdirectory; B holds one file.
void WriteLayoutTree(const std::string& source) {
  WriteFile(source + "/A/a.txt", "a");
  WriteFile(source + "/A/x/b.txt", "b");
  testing_support::RunCommand("mkdir -p " + testing_support::ShellQuote(source + "/A/x/y") +
                              " " + testing_support::ShellQuote(source + "/A/e"));
  WriteFile(source + "/B/c.txt", "c");
}

struct LayoutCase {
  const char* label;
  std::vector<std::string> archives;
  bool subDirIndividual;
  bool noEmpty;
  std::set<std::string> zips;                          // below the target
  std::map<std::string, std::set<std::string>> entries;  // of some of them
};

TEST_F(BackupRunTest, ArchiveLayouts) {
  WriteLayoutTree(source);
  const std::vector<LayoutCase> cases = {
      {"one archive per archive directory", {"A", "B"}, false, false,
       {"Docs/A.zip", "Docs/B.zip"},
       {{"Docs/A.zip", {"a.txt", "e/", "x/", "x/b.txt", "x/y/"}}, {"Docs/B.zip", {"c.txt"}}}},
      {"the source root as the one archive", {}, false, false, {"Docs.zip"},
       {{"Docs.zip", {"A/", "A/a.txt", "A/e/", "A/x/", "A/x/b.txt", "A/x/y/", "B/",
                      "B/c.txt"}}}},
      {"nested archive directory", {"A/x", "B"}, false, false, {"Docs/A/x.zip", "Docs/B.zip"},
       {{"Docs/A/x.zip", {"b.txt", "y/"}}}},
      // Reached through the source root's parent: the archive stays inside the
      // backup directory instead of going to out/Docs/../src/B.zip.
      {"archive directory with '..'", {"../src/B"}, false, false, {"Docs/__/src/B.zip"},
       {{"Docs/__/src/B.zip", {"c.txt"}}}},
      {"archive directory with '..', one archive per directory", {"A/../A"}, true, false,
       {"Docs/A/__/A/files.zip", "Docs/A/__/A/e/files.zip", "Docs/A/__/A/x/files.zip",
        "Docs/A/__/A/x/y/files.zip"},
       {{"Docs/A/__/A/files.zip", {"a.txt"}}, {"Docs/A/__/A/x/files.zip", {"b.txt"}}}},
      {"one archive per directory", {"A", "B"}, true, false,
       {"Docs/A/files.zip", "Docs/A/e/files.zip", "Docs/A/x/files.zip", "Docs/A/x/y/files.zip",
        "Docs/B/files.zip"},
       {{"Docs/A/files.zip", {"a.txt"}}, {"Docs/A/x/files.zip", {"b.txt"}},
        {"Docs/A/e/files.zip", {}}}},
      {"one archive per directory, no empty ones", {"A", "B"}, true, true,
       {"Docs/A/files.zip", "Docs/A/x/files.zip", "Docs/B/files.zip"},
       {{"Docs/B/files.zip", {"c.txt"}}}},
      {"one archive per directory of the source root", {}, true, true,
       {"Docs/A/files.zip", "Docs/A/x/files.zip", "Docs/B/files.zip"}, {}},
      {"one archive per directory of the source root, empty kept", {}, true, false,
       {"Docs/files.zip", "Docs/A/files.zip", "Docs/A/e/files.zip", "Docs/A/x/files.zip",
        "Docs/A/x/y/files.zip", "Docs/B/files.zip"},
       {{"Docs/files.zip", {}}}},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.label);
    testing_support::RunCommand("rm -rf " + testing_support::ShellQuote(target + "/Docs") + " " +
                                testing_support::ShellQuote(target + "/Docs.zip"));
    job.Archives = c.archives;
    job.SubDirIndividual = c.subDirIndividual;
    job.NoEmpty = c.noEmpty;
    ASSERT_TRUE(Run(true));
    EXPECT_EQ(c.zips, ZipFilesBelow(target));
    for (const std::string& zip : c.zips) {
      if (EntryNames(target + "/" + zip).empty()) continue;
      EXPECT_ZIP_VALID(target + "/" + zip);
    }
    for (const auto& expected : c.entries) {
      EXPECT_EQ(expected.second, EntryNames(target + "/" + expected.first)) << expected.first;
    }
  }
}

TEST_F(BackupRunTest, TargetInsideTheSourceIsNotStoredIntoItself) {
  WriteFile(source + "/a.txt", run_test::RandomBytes(200000, 3));
  job.TargetPath = source + "/out";
  WriteFile(source + "/out/.keep", "");
  job.ExcludeHiddenFiles = true;
  ASSERT_TRUE(Run(true));
  EXPECT_ZIP_VALID(source + "/out/Docs.zip");
  EXPECT_EQ((std::set<std::string>{"a.txt", "out/"}), EntryNames(source + "/out/Docs.zip"));
}

// The rows of the run's failure table.
TEST_F(BackupRunTest, MissingTargetFailsAndWritesNothing) {
  WriteFile(source + "/a.txt", "a");
  job.TargetPath = tmp / "missing";
  job.Archives = {""};
  EXPECT_FALSE(Run(true));
  EXPECT_FALSE(runner.Succeeded());
  EXPECT_FALSE(PathExists(tmp / "missing"));
}

TEST_F(BackupRunTest, BackupDirectoryThatCannotBeMadeFailsTheRun) {
  WriteFile(source + "/A/a.txt", "a");
  WriteFile(target + "/Docs", "a file where the backup directory belongs");
  job.Archives = {"A"};
  EXPECT_FALSE(Run(true));
  EXPECT_FALSE(runner.Succeeded());
  EXPECT_EQ("a file where the backup directory belongs", ReadFile(target + "/Docs"));
}

TEST_F(BackupRunTest, DamagedArchiveToExtendEndsTheRunBeforeLaterArchives) {
  for (const char* dir : {"A", "B", "C"}) WriteFile(source + "/" + dir + "/f.txt", dir);
  WriteFile(target + "/Docs/B.zip", "not an archive");
  job.Archives = {"A", "B", "C"};
  EXPECT_FALSE(Run(false));
  EXPECT_FALSE(runner.Succeeded());
  EXPECT_ZIP_VALID(target + "/Docs/A.zip");
  EXPECT_EQ(std::set<std::string>{"f.txt"}, EntryNames(target + "/Docs/A.zip"));
  EXPECT_EQ("not an archive", ReadFile(target + "/Docs/B.zip"));
  EXPECT_FALSE(PathExists(target + "/Docs/C.zip"));
  EXPECT_TRUE(HasArchiveBit(source + "/C/f.txt"));
}

TEST_F(BackupRunTest, ReadErrorStopsThatArchiveAndIsReportedAsFailure) {
  WriteFile(source + "/A/bad.bin", run_test::RandomBytes(1000, 4));
  WriteFile(source + "/B/good.txt", "good");
  job.Archives = {"A", "B"};
  run_test::GateEnv env;
  env.FailReads("bad.bin", EIO);
  {
    run_test::ScopedEnv installed(&env);
    EXPECT_FALSE(Run(true));
  }
  EXPECT_FALSE(runner.Succeeded());
  EXPECT_TRUE(HasArchiveBit(source + "/A/bad.bin"));
  // The archive is closed with what was written before the error (here nothing).
  EXPECT_EQ(std::set<std::string>{}, EntryNames(target + "/Docs/A.zip"));
  EXPECT_ZIP_VALID(target + "/Docs/B.zip");
  EXPECT_EQ(std::set<std::string>{"good.txt"}, EntryNames(target + "/Docs/B.zip"));
}

TEST_F(BackupRunTest, ArchiveThatCannotBeMovedAsideIsKeptAndFailsTheRun) {
  WriteFile(source + "/A/a.txt", "new");
  job.Archives = {"A"};
  job.NoOverwrite = true;
  ASSERT_TRUE(Run(true));
  const std::string earlier = ReadFile(target + "/Docs/A.zip");
  run_test::GateEnv env;
  env.FailRename("(old 1)", EACCES);
  {
    run_test::ScopedEnv installed(&env);
    run_test::LogCapture log;
    EXPECT_FALSE(Run(true));
  }
  EXPECT_FALSE(runner.Succeeded());
  EXPECT_EQ(earlier, ReadFile(target + "/Docs/A.zip"));
}

TEST_F(BackupRunTest, NoEmptyNeverDeletesAnArchiveThatAlreadyHadEntries) {
  WriteFile(source + "/a.txt", "a");
  job.NoEmpty = true;
  ASSERT_TRUE(Run(true));
  ASSERT_TRUE(Run(false));
  EXPECT_EQ(0u, progress.filesAdded.load());
  EXPECT_ZIP_VALID(target + "/Docs.zip");
  EXPECT_EQ(std::set<std::string>{"a.txt"}, EntryNames(target + "/Docs.zip"));

  job.NoOverwrite = true;
  ASSERT_TRUE(Run(false));
  EXPECT_EQ(std::set<std::string>{"Docs (old 1).zip"}, ZipFilesBelow(target));
}

}  // namespace
