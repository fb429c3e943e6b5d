// Backup runs on the calling thread, checked on disk: what the archives hold
// (read by outside readers), which files keep their archive attribute, and how
// each kind of failure ends the run.
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>

#include "tests/engine/run/GateEnv.h"
#include "tests/engine/run/RunTestSupport.h"

using run_test::Entries;
using run_test::EntryNames;
using run_test::GateEnv;
using run_test::HasArchiveBit;
using run_test::Sandbox;
using run_test::ZipFilesBelow;
using testing_support::PathExists;
using testing_support::ReadFile;
using testing_support::RunCommand;
using testing_support::ShellQuote;
using testing_support::WriteFile;

namespace {

using BackupRunTest = run_test::RunSandbox;

// Number of entries as Python's zipfile lists them (duplicates included).
int EntryCount(const std::string& archive) {
  std::string output;
  testing_support::RunCommand(
      testing_support::Python() +
          " -c 'import sys,zipfile; print(len(zipfile.ZipFile(sys.argv[1]).namelist()))' " +
          ShellQuote(archive),
      &output);
  return std::stoi(output);
}

// Counts, per path, the stamp reads and the stats (of the file or the link).
class LookCountingEnv : public testing_support::FaultEnv {
 public:
  bool IsArchiveBitSet(const std::string& path, const platform::FileInfo& info) override {
    ++looks[path];
    return FaultEnv::IsArchiveBitSet(path, info);
  }
  int Stat(const std::string& path, platform::FileInfo* info) override {
    ++looks[path];
    return FaultEnv::Stat(path, info);
  }
  int LinkStat(const std::string& path, platform::FileInfo* info) override {
    ++looks[path];
    return FaultEnv::LinkStat(path, info);
  }
  std::map<std::string, int> looks;
};

// The stamps of a run with many files are written by two threads: every file
// gets one, so the next incremental run takes none.
TEST_F(BackupRunTest, EveryFileOfALargeRunIsStamped) {
  for (int i = 0; i < 1500; ++i) {
    WriteFile(source + "/d" + std::to_string(i % 7) + "/f" + std::to_string(i), "x");
  }
  ASSERT_TRUE(RunJob(true));
  ASSERT_TRUE(RunJob(false));
  EXPECT_EQ(0u, progress.filesAdded.load());
}

// Full, then incremental runs of one tree. NoEmpty is set throughout: it must
// never delete an archive that already held entries before the run.
TEST_F(BackupRunTest, FullThenIncrementalRunsTakeWhatChanged) {
  WriteFile(source + "/a.txt", "alpha");
  WriteFile(source + "/sub/b.txt", "beta beta beta");
  WriteFile(source + "/sub/deep/c.txt", "gamma");
  testing_support::RunCommand("mkdir -p " + ShellQuote(source + "/empty"));
  const std::string archive = target + "/Docs.zip";
  job.NoEmpty = true;

  LookCountingEnv counting;
  {
    run_test::ScopedEnv installed(&counting);
    ASSERT_TRUE(RunJob(true));
  }
  EXPECT_TRUE(runner.Succeeded());
  EXPECT_EQ((std::map<std::string, std::string>{{"a.txt", "alpha"}, {"empty/", ""}, {"sub/", ""},
                                                {"sub/b.txt", "beta beta beta"},
                                                {"sub/deep/", ""}, {"sub/deep/c.txt", "gamma"}}),
            Entries(archive));
  // One record per file from the walk to the commit: its stamp is read once,
  // when the run lists it (the space estimate of a full run takes every file
  // and reads none), the file not looked at again before it is read, and once
  // read it is looked at to see whether it changed meanwhile.
  for (const char* file : {"/a.txt", "/sub/b.txt", "/sub/deep/c.txt"}) {
    EXPECT_FALSE(HasArchiveBit(source + file)) << file;
    EXPECT_EQ(2, counting.looks[source + file]) << file;
  }

  // Nothing changed: the kept archive gets nothing.
  ASSERT_TRUE(RunJob(false));
  EXPECT_EQ(0u, progress.filesAdded.load());
  EXPECT_EQ(6, EntryCount(archive));

  // A modified file and a file replaced by a rename are taken, in place of
  // their earlier entries; incremental runs add no directory entries. The new
  // big.bin grows while it is stored and the new locked.txt cannot be opened:
  // both keep their attribute.
  WriteFile(source + "/a.txt", "alpha, revised");
  platform::FileInfo info;
  ASSERT_EQ(0, platform::Env::Default()->Stat(source + "/a.txt", &info));
  platform::Env::Default()->SetModificationTime(source + "/a.txt", info.mtimeSeconds - 5);
  WriteFile(source + "/sub/b.new", "beta replaced");
  ASSERT_EQ(0, std::rename((source + "/sub/b.new").c_str(), (source + "/sub/b.txt").c_str()));
  const std::string big = source + "/big.bin";
  WriteFile(big, testing_support::NoiseBytes(300000, 1));
  WriteFile(source + "/locked.txt", "locked");
  GateEnv env;
  env.SetGate(GateEnv::Point::SecondRead, "big.bin", false,
              [&] { std::ofstream(big, std::ios::app) << "appended while being stored"; });
  env.FailOpen("locked.txt", EACCES);
  {
    run_test::ScopedEnv installed(&env);
    ASSERT_TRUE(RunJob(false));
  }
  // The unreadable file is named in the run's result; the run still succeeds.
  EXPECT_TRUE(runner.Result().succeeded);
  EXPECT_EQ(std::vector<std::string>{source + "/locked.txt"}, runner.Result().skippedFiles);
  EXPECT_EQ(std::vector<std::string>{"'" + big + "'"}, runner.Result().changedFiles.paths);
  EXPECT_EQ(7, EntryCount(archive));
  auto contents = Entries(archive);
  EXPECT_EQ(1u, contents.erase("big.bin"));
  EXPECT_EQ((std::map<std::string, std::string>{{"a.txt", "alpha, revised"}, {"empty/", ""}, {"sub/", ""},
                                                {"sub/b.txt", "beta replaced"}, {"sub/deep/", ""},
                                                {"sub/deep/c.txt", "gamma"}}),
            contents);
  EXPECT_FALSE(HasArchiveBit(source + "/a.txt"));
  EXPECT_TRUE(HasArchiveBit(big));
  EXPECT_TRUE(HasArchiveBit(source + "/locked.txt"));

  // Both are taken by the next run, into a new archive beside the retired one.
  job.NoOverwrite = true;
  ASSERT_TRUE(RunJob(false));
  EXPECT_ZIP_VALID(target + "/Docs (old 1).zip");
  EXPECT_ZIP_VALID(archive);
  EXPECT_EQ((std::map<std::string, std::string>{{"big.bin", ReadFile(big)},
                                                {"locked.txt", "locked"}}),
            Entries(archive));
  EXPECT_FALSE(HasArchiveBit(big));
  EXPECT_FALSE(HasArchiveBit(source + "/locked.txt"));

  // Nothing to store: the archive stays under its name, nothing is retired.
  const std::string newest = ReadFile(archive);
  ASSERT_TRUE(RunJob(false));
  EXPECT_EQ((std::set<std::string>{"Docs (old 1).zip", "Docs.zip"}), ZipFilesBelow(target));
  EXPECT_EQ(newest, ReadFile(archive));
}

TEST_F(BackupRunTest, ArchiveLayouts) {
  // A holds a file, a subdirectory with a file and an empty grandchild, and an
  // empty subdirectory; B holds one file.
  WriteFile(source + "/A/a.txt", "a");
  WriteFile(source + "/A/x/b.txt", "b");
  testing_support::RunCommand("mkdir -p " + ShellQuote(source + "/A/x/y") + " " +
                              ShellQuote(source + "/A/e"));
  WriteFile(source + "/B/c.txt", "c");
  const struct {  // zips: every one below the target; entries: of some of them
    const char* label; std::vector<std::string> archives; bool subDirIndividual, noEmpty;
    std::set<std::string> zips; std::map<std::string, std::set<std::string>> entries;
  } cases[] = {
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
  // Every archive is read by Python's zipfile; the table's first one with
  // entries by every outside reader.
  bool checked = false;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    testing_support::RunCommand("rm -rf " + ShellQuote(target + "/Docs") + " " +
                                ShellQuote(target + "/Docs.zip"));
    job.Archives = c.archives;
    job.SubDirIndividual = c.subDirIndividual;
    job.NoEmpty = c.noEmpty;
    ASSERT_TRUE(RunJob(true));
    EXPECT_EQ(c.zips, ZipFilesBelow(target));
    for (const std::string& zip : c.zips) {
      const std::set<std::string> names = EntryNames(target + "/" + zip);
      if (c.entries.count(zip) != 0) { EXPECT_EQ(c.entries.at(zip), names) << zip; }
      if (checked || names.empty()) continue;
      EXPECT_ZIP_VALID(target + "/" + zip);
      checked = true;
    }
  }
}

// A target inside the source, however its path is spelt: the walk never
// enters the directory the archives go to, so three full runs write archives
// of the same size, and no archive holds an archive. Where the archives go to
// the source root itself, the job's archives (also the "(old n)" ones) are
// passed over one by one.
TEST(TargetInsideSourceTest, ArchivesNeverHoldThemselves) {
  const std::set<std::string> onlyA{"a.txt"};
  const struct {  // the target below the temporary directory, the archive below the source
    const char *label, *target; bool subDirIndividual; const char* archive; std::set<std::string> entries;
  } spellings[] = {
      {"plain", "src/out", false, "out/Docs.zip", onlyA},
      {"dot component", "src/./out", false, "out/Docs.zip", onlyA},
      {"double slash", "src//out/", false, "out/Docs.zip", onlyA},
      {"through a symlinked directory", "alias/out", false, "out/Docs.zip", onlyA},
      {"relative", "./src/out", false, "out/Docs.zip", onlyA},
      {"backup directory of its own", "src/out", true, "out/Docs/files.zip", onlyA},
      {"the source root", "alias/", false, "Docs.zip", {"a.txt", "out/", "out/other.txt"}},
  };
  for (const auto& spelling : spellings) {
    for (const bool noOverwrite : {false, true}) {
      SCOPED_TRACE(std::string(spelling.label) + (noOverwrite ? ", old ones kept" : ""));
      Sandbox t;
      WriteFile(t.source + "/a.txt", testing_support::NoiseBytes(20000, 3));
      WriteFile(t.source + "/out/other.txt", "not an archive");
      std::filesystem::create_directory_symlink(t.source, t.tmp / "alias");
      std::filesystem::current_path(t.tmp.path());
      t.job.TargetPath = spelling.target;
      t.job.SubDirIndividual = spelling.subDirIndividual;
      t.job.NoOverwrite = noOverwrite;
      const std::string archive = t.source + "/" + spelling.archive;
      std::set<uintmax_t> sizes;
      for (int run = 0; run < 3; ++run) {
        ASSERT_TRUE(t.RunJob(true));
        sizes.insert(std::filesystem::file_size(archive));
      }
      std::filesystem::current_path("/");
      EXPECT_EQ(1u, sizes.size());
      if (!noOverwrite) { EXPECT_ZIP_VALID(archive); }
      EXPECT_EQ(spelling.entries, EntryNames(archive));
      for (const std::string& zip : ZipFilesBelow(t.source)) {
        for (const std::string& name : EntryNames(t.source + "/" + zip))
          EXPECT_EQ(std::string::npos, name.find(".zip")) << zip << " holds " << name;
      }
    }
  }
}

// Files reached through symbolic links: a stamp binds a file to the path it
// was stored under and is only ever written on a target through its own path,
// so every run stores every link (a new link is never missed). A link into a
// pseudo file system (/proc/kmsg blocks for ever) is named, never read, and
// so is such a file system given as the source. Where stamps cannot be
// written (a file system without extended attributes) the run still succeeds
// and the next one takes the file again.
TEST_F(BackupRunTest, LinksAndUnstampedFilesAreStoredByEveryRun) {
  std::filesystem::create_directories(source);
  std::filesystem::create_symlink("plain.txt", source + "/before.lnk");
  WriteFile(source + "/plain.txt", "one");
  std::filesystem::create_symlink("plain.txt", source + "/after.lnk");
  WriteFile(tmp / "outside.txt", "outside");
  std::filesystem::create_symlink("../outside.txt", source + "/out.lnk");
  std::filesystem::create_symlink("/proc/kmsg", source + "/kmsg");
  job.NoOverwrite = true;  // each run's files are the new Docs.zip
  const std::string archive = target + "/Docs.zip";
  const std::set<std::string> all{"after.lnk", "before.lnk", "out.lnk", "plain.txt"};
  const std::set<std::string> links{"after.lnk", "before.lnk", "out.lnk"};

  wxLogNull quiet;
  ASSERT_TRUE(RunJob(true));
  const auto entries = testing_support::ExternalEntries(archive);
  for (const auto& [name, entry] : entries)
    EXPECT_EQ(0x20u, entry.externalAttr & 0x20) << name << " lost its archive bit";
  EXPECT_EQ(all.size(), entries.size());
  // plain.txt's new content before the run, or null.
  const struct { const char *label, *plainContent; bool stampsRefused; std::set<std::string> stored; } runs[] = {
      {"nothing changed", nullptr, false, links},
      {"the target changed", "two, longer", false, all},
      {"nothing changed again", nullptr, false, links},
      {"the target changed, stamps refused", "three", true, all},
      {"nothing changed since stamps were refused", nullptr, false, all},
  };
  for (const auto& run : runs) {
    SCOPED_TRACE(run.label);
    if (run.plainContent != nullptr) {
      WriteFile(source + "/plain.txt", run.plainContent);
      platform::FileInfo info;
      ASSERT_EQ(0, platform::Env::Default()->Stat(source + "/plain.txt", &info));
      platform::Env::Default()->SetModificationTime(source + "/plain.txt", info.mtimeSeconds - 7);
    }
    GateEnv env;
    if (run.stampsRefused) env.FailMarkArchived();
    {
      run_test::ScopedEnv installed(&env);
      ASSERT_TRUE(RunJob(false));
    }
    EXPECT_ZIP_VALID(archive);
    EXPECT_EQ(run.stored, EntryNames(archive));
    EXPECT_EQ(std::vector<std::string>{"'" + source + "/kmsg'"}, runner.Result().notDiskBacked.paths);
    EXPECT_EQ(run.stampsRefused, HasArchiveBit(source + "/plain.txt"));
    EXPECT_TRUE(HasArchiveBit(tmp / "outside.txt"));
  }
  job.SourceRootPath = "/proc";
  ASSERT_TRUE(RunJob(true));
  EXPECT_EQ(std::vector<std::string>{"'/proc'"}, runner.Result().notDiskBacked.paths);
}

// The rows of the run's trouble table: a failed run names its reason and the
// path it failed on, and what is on disk shows how far it went; a run that
// succeeds names the one file or folder that failed and stores every other file.
struct TroubleCase {
  const char* label;
  std::function<void(Sandbox&, GateEnv&)> arrange;
  std::string reason;  // the start of the failure text; empty when the run succeeds
  std::string path;    // below the sandbox: the end of the failure text, or part of a named path
  std::function<void(Sandbox&)> check = [](Sandbox&) {};
  bool full = true;
};

TEST(BackupRunTroubleTest, FailuresEndTheRunAndTroubleIsNamed) {
  const std::string big = testing_support::NoiseBytes(300000, 7);
  const std::string large = testing_support::NoiseBytes(1500000, 9);
  const std::string unreadable = "the source folder cannot be read (" + platform::ErrorText(ENOENT) + ")";
  // An archive of an earlier run, which the failed runs that have it leave as it was.
  const auto earlier = [](Sandbox& t) { WriteFile(t.target + "/Docs/A.zip", "earlier archive"); };
  const auto earlierKept = [](Sandbox& t) {
    EXPECT_EQ("earlier archive", ReadFile(t.target + "/Docs/A.zip"));
    EXPECT_EQ(std::set<std::string>{"Docs/A.zip"}, ZipFilesBelow(t.target));
  };
  const TroubleCase cases[] = {
      {"missing target: nothing written", [](Sandbox& t, GateEnv&) { t.job.TargetPath = t.tmp / "missing"; },
       platform::ErrorText(ENOENT), "missing", [](Sandbox& t) { EXPECT_FALSE(PathExists(t.tmp / "missing")); }},
      {"backup directory cannot be made", [](Sandbox& t, GateEnv&) { WriteFile(t.target + "/Docs", "a file"); },
       platform::ErrorText(ENOTDIR), "out/Docs/A.zip",
       [](Sandbox& t) { EXPECT_EQ("a file", ReadFile(t.target + "/Docs")); }},
      {"damaged archive to extend ends the run before later archives",
       [](Sandbox& t, GateEnv&) { WriteFile(t.target + "/Docs/B.zip", "not an archive"); },
       "the file is not a ZIP archive", "out/Docs/B.zip",
       [](Sandbox& t) {
         EXPECT_ZIP_VALID(t.target + "/Docs/A.zip");
         EXPECT_EQ(10u, EntryNames(t.target + "/Docs/A.zip").size());
         EXPECT_EQ("not an archive", ReadFile(t.target + "/Docs/B.zip"));
         EXPECT_FALSE(PathExists(t.target + "/Docs/C.zip"));
         EXPECT_TRUE(HasArchiveBit(t.source + "/C/f.txt"));
       },
       false},
      {"archive to extend whose directory is damaged",
       [](Sandbox& t, GateEnv&) {
         // An end record for one entry whose central header is not where it says.
         const char endRecord[] = "PK\5\6\0\0\0\0\1\0\1\0\56\0\0\0\0\0\0\0\0\0";
         WriteFile(t.target + "/Docs/B.zip", std::string(endRecord, 22));
       },
       "the archive is damaged", "out/Docs/B.zip", [](Sandbox&) {}, false},
      {"archive that cannot be moved aside is kept",
       [&](Sandbox& t, GateEnv& env) { earlier(t); t.job.NoOverwrite = true; env.FailRename("(old 1)", EACCES); },
       "the archive could not be renamed", "out/Docs/A.zip", earlierKept},
      // Stamps follow the commit of their archive: A's files are stamped, B's
      // (whose commit failed) and C's (never reached) are not.
      {"failed commit", [](Sandbox&, GateEnv& env) { env.FailRename("Docs/B.zip", EACCES); },
       "the archive could not be renamed", "out/Docs/B.zip",
       [](Sandbox& t) {
         EXPECT_FALSE(HasArchiveBit(t.source + "/A/f0"));
         EXPECT_TRUE(HasArchiveBit(t.source + "/B/f.txt"));
         EXPECT_TRUE(HasArchiveBit(t.source + "/C/f.txt"));
       }},
      {"source root missing", [&](Sandbox& t, GateEnv&) { earlier(t); t.job.SourceRootPath += "-unplugged"; },
       unreadable, "src-unplugged/A", earlierKept},
      {"archive directory missing", [&](Sandbox& t, GateEnv&) { earlier(t); t.job.Archives = {"A", "Gone"}; },
       unreadable, "src/Gone", earlierKept},
      {"read error on one file of many",
       [](Sandbox&, GateEnv& env) { env.FailReads("A/f3", EIO); }, "", "src/A/f3"},
      // Blocks of a large file are being compressed when its read fails; the
      // large files before or after it in the same archive must come out whole.
      {"read error in the middle of a large file",
       [&large](Sandbox& t, GateEnv& env) {
         for (const char* name : {"f3", "g1", "g2"}) WriteFile(t.source + "/A/" + name, large);
         env.FailReads("A/f3", EIO, 12);
       },
       "", "src/A/f3",
       [&large](Sandbox& t) {
         EXPECT_ZIP_VALID(t.target + "/Docs/A.zip");
         const std::map<std::string, std::string> entries = Entries(t.target + "/Docs/A.zip");
         EXPECT_TRUE(entries.at("g1") == large && entries.at("g2") == large);
       }},
      {"network file system gone on one file",
       [](Sandbox&, GateEnv& env) { env.FailReads("A/f3", ENOTCONN); }, "", "src/A/f3"},
      {"read that waits past its bound",
       [](Sandbox&, GateEnv& env) { env.BlockReads("A/f3"); env.LimitReadWait(300); }, "", "src/A/f3"},
      {"file truncated while read",
       [&big](Sandbox& t, GateEnv& env) {
         WriteFile(t.source + "/A/f3", big);
         env.SetGate(GateEnv::Point::SecondRead, "A/f3", false,
                     [&t] { std::filesystem::resize_file(t.source + "/A/f3", 10); });
       },
       "", "src/A/f3"},
      {"tree deeper than a path can reach",
       [](Sandbox& t, GateEnv&) {
         ASSERT_EQ(0, testing_support::RunCommand(
                          "cd " + ShellQuote(t.source + "/A") + " && python3 -c 'import os\n"
                          "for _ in range(3000): os.mkdir(\"d\"); os.chdir(\"d\")'"));
       },
       "", "/d/d/d/"},
  };
  for (const TroubleCase& c : cases) {
    SCOPED_TRACE(c.label);
    Sandbox t;
    for (int i = 0; i < 10; ++i) WriteFile(t.source + "/A/f" + std::to_string(i), "content");
    for (const char* dir : {"B", "C"}) WriteFile(t.source + "/" + dir + "/f.txt", dir);
    t.job.Archives = {"A", "B", "C"};
    GateEnv env;
    c.arrange(t, env);
    {
      run_test::ScopedEnv installed(&env);
      wxLogNull quiet;
      EXPECT_EQ(c.reason.empty(), t.RunJob(c.full)) << t.runner.Result().FailureText();
    }
    const RunResult& result = t.runner.Result();
    EXPECT_EQ(c.reason.empty(), t.runner.Succeeded());
    c.check(t);
    testing_support::RunCommand("rm -rf " + ShellQuote(t.source + "/A/d"));
    if (!c.reason.empty()) {
      const std::string text = result.FailureText();
      EXPECT_EQ(0u, text.find(c.reason)) << text;
      EXPECT_EQ(text.size() - c.path.size() - 1, text.rfind(c.path)) << text;
      continue;
    }
    std::string named;
    for (const auto& paths : {result.skippedFiles, result.unreadFolders.paths,
                              result.changedFiles.paths}) {
      for (const std::string& path : paths) named += "|" + path;
    }
    EXPECT_NE(std::string::npos, named.find(c.path)) << named;
    EXPECT_EQ(1u, result.skippedCount + result.unreadFolders.count + result.changedFiles.count);
    const std::map<std::string, std::string> entries = Entries(t.target + "/Docs/A.zip");
    for (int i : {0, 1, 2, 4, 5, 6, 7, 8, 9}) EXPECT_EQ("content", entries.at("f" + std::to_string(i)));
    EXPECT_EQ(result.skippedCount == 0, entries.count("f3") == 1);
    EXPECT_EQ(c.path.find("f3") != std::string::npos, HasArchiveBit(t.source + "/A/f3"));
  }
  // Without a job nothing runs, on either thread.
  Sandbox t;
  EXPECT_FALSE(t.runner.RunNow(nullptr, true));
  EXPECT_FALSE(t.runner.Succeeded());
  EXPECT_FALSE(t.runner.Start(nullptr, true));
  EXPECT_FALSE(t.runner.IsBusy());
}

// What the archived stamp recognises: after a full run and incremental runs
// over one rolling archive, every file's current content is in the archive
// under its own name, whatever copied, restored, renamed, linked or edited it.
TEST(StampTest, IncrementalRunsTakeEveryFileWhoseContentIsNotStored) {
  run_test::Sandbox t;
  const auto inSource = [&t](const std::string& command) {
    ASSERT_EQ(0, RunCommand("cd " + ShellQuote(t.source) + " && " + command)) << command;
  };
  WriteFile(t.source + "/old/x.txt", "ex");
  inSource("echo alpha > a.txt && echo one > r.txt && echo aaaa > e.txt && echo gggg > g.txt");
  // A file system that keeps whole seconds (ext4 with 128-byte inodes), where
  // loop mounts are allowed.
  const std::string image = ShellQuote(t.tmp / "ext4.img"), ws = ShellQuote(t.source + "/ws");
  const bool wholeSeconds = RunCommand("truncate -s 8M " + image + " && mkfs.ext4 -q -I 128 " +
                                       image + " && mkdir " + ws + " && mount -o loop " + image +
                                       " " + ws + " && echo 1111 > " + ws + "/s.txt") == 0;
  const std::shared_ptr<void> unmount(nullptr, [&](void*) {
    if (wholeSeconds) RunCommand("umount " + ws);
  });
  std::vector<std::pair<std::string, std::string>> cases = {  // command, file it must store
      {"cp -a a.txt copy.txt", "copy.txt"},
      {"bsdtar -xpf ../r.tar", "r.txt"},
      {"mv old renamed", "renamed/x.txt"},
      {"ln a.txt link.txt", "link.txt"},
      {"touch -r e.txt ../e.ref && echo bbbb > e.txt && touch -r ../e.ref e.txt", "e.txt"},
      {":", "g.txt"},  // so edited after it was read by the full run, before its commit
  };
  wxLogNull quiet;
  GateEnv env;
  env.SetGate(GateEnv::Point::FirstRead, "old/x.txt", false,
              [&] { inSource("touch -r g.txt ../g.ref && echo hhhh > g.txt && touch -r ../g.ref g.txt"); });
  run_test::ScopedEnv installed(&env);
  ASSERT_TRUE(t.RunJob(true));
  inSource("bsdtar -cf ../r.tar r.txt && echo two-longer > r.txt");
  ASSERT_TRUE(t.RunJob(false));
  // Writing a stamp moves the file's change time; a change within the
  // stamp's allowance after that would pass unseen.
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  for (const auto& [command, file] : cases) inSource(command);
  if (wholeSeconds) {  // changed twice within a second, keeping its size
    inSource("echo 2222 > ws/s.txt");
    ASSERT_TRUE(t.RunJob(false));
    inSource("echo 3333 > ws/s.txt");
    cases.push_back({"whole seconds", "ws/s.txt"});
  }
  ASSERT_TRUE(t.RunJob(false));
  const auto entries = run_test::Entries(t.target + "/Docs.zip");
  for (const auto& [command, file] : cases)
    EXPECT_EQ(testing_support::ReadFile(t.source + "/" + file), entries.at(file)) << command;
}

// One write of the new archive fails (a flaky disk): the run fails and keeps
// what was written, but stamps no file, since files taken before the failure
// may have been cut off with it while their data was still being compressed.
TEST(StampTest, ArchiveWriteThatFailsOnceStampsNoFile) {
  struct FailingOnce : platform::FileWrapper {
    using FileWrapper::FileWrapper;
    int Write(const void* buffer, size_t count) override {
      return ++writes == 3 ? EIO : FileWrapper::Write(buffer, count);
    }
    int writes = 0;
  };
  struct FlakyEnv : testing_support::FaultEnv {
    int OpenOwnFile(const std::string& path, bool createNew, const platform::LockKind* lock,
                    std::unique_ptr<platform::File>* file) override {
      const int error = FaultEnv::OpenOwnFile(path, createNew, lock, file);
      if (error == 0 && createNew) *file = std::make_unique<FailingOnce>(std::move(*file));
      return error;
    }
  } env;
  Sandbox t;
  for (int i = 0; i < 400; ++i) {
    WriteFile(t.source + "/f" + std::to_string(i), testing_support::NoiseBytes(3000, i));
  }
  run_test::ScopedEnv installed(&env);
  wxLogNull quiet;
  EXPECT_FALSE(t.RunJob(true));
  EXPECT_ZIP_VALID(t.target + "/Docs.zip");
  for (int i = 0; i < 400; ++i) EXPECT_TRUE(HasArchiveBit(t.source + "/f" + std::to_string(i))) << i;
}

// A run that cannot fit its new archive refuses at once, naming the target,
// the space needed and the space free; nothing is written or stamped. The
// target is a 1 MB tmpfs where one can be mounted, else a disk whose free
// space the Env reports as 1 MB. Compressible files that an earlier archive
// shows to shrink fit where their size would not.
TEST(SpaceCheckTest, RunThatCannotFitRefusesAtOnce) {
  Sandbox t;
  const bool mounted = testing_support::RunCommand("mount -t tmpfs -o size=1m tmpfs " +
                                                  ShellQuote(t.target) + " 2>/dev/null") == 0;
  const std::shared_ptr<void> unmount(nullptr, [&](void*) {
    if (mounted) testing_support::RunCommand("umount " + ShellQuote(t.target));
  });
  GateEnv env;
  if (!mounted) env.LimitFreeSpace(1 << 20);
  run_test::ScopedEnv installed(&env);
  t.job.Archives = {"A"};
  t.job.NoOverwrite = true;
  WriteFile(t.source + "/A/random.bin", testing_support::NoiseBytes(1200000, 3));
  EXPECT_FALSE(t.RunJob(true));
  const std::string text = t.runner.Result().FailureText();
  EXPECT_EQ(0u, text.find("not enough free space for the backup: 1.1 MB needed, ")) << text;
  EXPECT_EQ(text.size() - t.target.size() - 1, text.rfind(t.target)) << text;
  EXPECT_EQ(std::set<std::string>{}, ZipFilesBelow(t.target));
  EXPECT_TRUE(HasArchiveBit(t.source + "/A/random.bin"));
  std::filesystem::remove(t.source + "/A/random.bin");
  WriteFile(t.source + "/A/small.txt", std::string(200000, 's'));
  ASSERT_TRUE(t.RunJob(true)) << t.runner.Result().FailureText();
  WriteFile(t.source + "/A/big.txt", std::string(3000000, 'b'));
  EXPECT_TRUE(t.RunJob(true)) << t.runner.Result().FailureText();
  EXPECT_ZIP_VALID(t.target + "/Docs/A.zip");
  EXPECT_EQ((std::set<std::string>{"big.txt", "small.txt"}), EntryNames(t.target + "/Docs/A.zip"));
}

}  // namespace
