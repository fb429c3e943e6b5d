// Backup directory suffixes, archive names, and what PrepareArchive does with
// an archive it finds in its place, with the date injected.
#include "engine/ArchiveNaming.h"
#include "engine/ArchivePreparer.h"
#include "tests/engine/run/RunTestSupport.h"
#include "zip/ZipWriter.h"

namespace {

using testing_support::ShellQuote;
using testing_support::TempDir;
using testing_support::WriteFile;

wxDateTime LocalTime(int day, wxDateTime::Month month, int year, int hour = 12) {
  return wxDateTime(static_cast<wxDateTime::wxDateTime_t>(day), month, year,
                    static_cast<wxDateTime::wxDateTime_t>(hour));
}

int64_t Ticks(const wxDateTime& when) { return static_cast<int64_t>(when.GetTicks()); }

// Writes an archive with Python's zipfile, independent of our writer.
void MakeZip(const std::string& path, const std::string& name, const std::string& content) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  const std::string script =
      "import sys, zipfile\n"
      "with zipfile.ZipFile(sys.argv[1], 'w') as z: z.writestr(sys.argv[2], sys.argv[3])\n";
  ASSERT_EQ(0, testing_support::RunCommand("python3 -c " + ShellQuote(script) + " " +
                                           ShellQuote(path) + " " + ShellQuote(name) + " " +
                                           ShellQuote(content)));
}

TEST(ArchiveNamingTest, SuffixFollowsKindAndLocalDate) {
  using S = SuffixKind;
  struct Case { SuffixKind kind; wxDateTime when; const char* suffix; } cases[] = {
      {S::None, LocalTime(1, wxDateTime::Jan, 2027), ""},
      {S::Weekday, LocalTime(1, wxDateTime::Jan, 2027), "-Fri"},
      {S::Weekday, LocalTime(4, wxDateTime::Jan, 2027), "-Mon"},
      {S::YearWeek, LocalTime(1, wxDateTime::Jan, 2027), "-2027-53"},
      {S::YearWeek, LocalTime(31, wxDateTime::Dec, 2026), "-2026-53"},
      {S::YearWeek, LocalTime(4, wxDateTime::Jan, 2027), "-2027-1"},
      {S::YearWeek, LocalTime(29, wxDateTime::Dec, 2025), "-2025-1"},
      {S::YearWeek, LocalTime(1, wxDateTime::Jan, 2023, 0), "-2023-52"},
      {S::Date, LocalTime(6, wxDateTime::Dec, 2026), "-2026-12-06"},
      {S::Date, LocalTime(1, wxDateTime::Jan, 2027, 0), "-2027-01-01"},
      {S::Date, LocalTime(31, wxDateTime::Dec, 2026, 23), "-2026-12-31"},
  };
  for (const Case& c : cases) {
    BackupJob job;
    job.Suffix = c.kind;
    EXPECT_EQ(c.suffix, BackupSuffix(job, c.when)) << c.when.FormatISOCombined();
  }
}

TEST(ArchiveNamingTest, BackupDirectoryTakesTheInjectedDate) {
  run_test::ScopedClock clock(Ticks(LocalTime(6, wxDateTime::Dec, 2026, 23)));
  BackupJob job("Docs");
  job.TargetPath = "/backup/";
  job.Suffix = SuffixKind::Date;
  EXPECT_EQ("/backup/Docs-2026-12-06", BackupDirectoryPath(job, LocalNow()));
  // A name never leads out of the target directory.
  job.Suffix = SuffixKind::None;
  for (const auto& [name, path] : std::map<std::string, std::string>{
           {"../../x", "/backup/__/__/x"}, {"a/../..", "/backup/a/__/__"}, {"..", "/backup/__"},
           {"./a..b/", "/backup/./a..b/"}}) {
    job.BackupName = name;
    EXPECT_EQ(path, BackupDirectoryPath(job, LocalNow())) << name;
  }
}

TEST(ArchiveNamingTest, ArchiveRelativePathOfArchiveDirectories) {
  struct Case { const char* path; const char* name; } cases[] = {
      {"", "/"}, {"Letters", "Letters"}, {"Docs/Letters/", "Docs/Letters"},
      {"Docs//Letters", "Docs/Letters"},
      {"Docs\\Letters", "Docs\\Letters"},  // '\' is a name character
      {"/home/user/Data", "/home/user/Data"}, {"C:/Data", "vol_C//Data"},
      {"c:/Data/Letters/", "vol_c//Data/Letters"}, {"C:/", "vol_C//"},
      {"C:Data", "C:Data"},  // no separator after the colon: a plain name
      {"über/ärger", "über/ärger"},
      // ".." would lead out of the backup directory; other dots are names.
      {"../../x", "__/__/x"}, {"Docs/../Letters/..", "Docs/__/Letters/__"},
      {"/../etc", "/__/etc"}, {"C:/../Data", "vol_C//__/Data"},
      {"..x/a..b/.../.", "..x/a..b/.../."},
  };
  for (const Case& c : cases) EXPECT_EQ(c.name, ArchiveRelativePath(c.path)) << c.path;
}

const char kArchiveName[] = "Letters/2025/files";

// The archive's age: how long before now it was written; its entries: after the run added new.txt.
struct PrepareCase {
  const char* label;
  bool existing, noOverwrite; SuffixKind suffix; bool full; int64_t ageSeconds;
  ArchiveFate fate; std::set<std::string> entries;
};


// The ages reach the preparer through FileLastWriteTime of the archive.
TEST(ArchivePreparerTest, OutcomeForAnArchiveInPlace) {
  using S = SuffixKind;
  using F = ArchiveFate;
  const int64_t hour = 3600, day = 24 * hour;
  // Monday 4 January 2027, 15:00 local time.
  const wxDateTime now = LocalTime(4, wxDateTime::Jan, 2027, 15);
  const std::set<std::string> fresh{"new.txt"}, added{"old.txt", "new.txt"};
  const PrepareCase cases[] = {
      {"none there", false, false, S::None, false, 0, F::Created, fresh},
      {"none there, no overwrite", false, true, S::Date, true, 0, F::Created, fresh},
      {"no overwrite, full", true, true, S::None, true, hour, F::Retired, fresh},
      {"no overwrite, incremental", true, true, S::Weekday, false, hour, F::Retired, fresh},
      {"overwrite, full", true, false, S::Weekday, true, hour, F::Replaced, fresh},
      {"weekday of last week", true, false, S::Weekday, false, 7 * day, F::Replaced, fresh},
      {"weekday written yesterday 23:00", true, false, S::Weekday, false, 16 * hour, F::Replaced, fresh},
      {"weekday written today", true, false, S::Weekday, false, hour, F::Kept, added},
      {"weekday written today 00:00", true, false, S::Weekday, false, 15 * hour, F::Kept, added},
      {"weekday from the future", true, false, S::Weekday, false, -2 * day, F::Kept, added},
      {"date, old", true, false, S::Date, false, 7 * day, F::Kept, added},
      {"year and week, old", true, false, S::YearWeek, false, 7 * day, F::Kept, added},
      {"no suffix, old", true, false, S::None, false, 30 * day, F::Kept, added},
  };
  for (const PrepareCase& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    WriteFile(dir / "src/new.txt", "new content");
    const std::string base = dir / "backup/Docs-Mon";
    const std::string path = base + "/" + kArchiveName + ".zip";
    if (c.existing) {
      MakeZip(path, "old.txt", "old content");
      platform::Env::Default()->SetModificationTime(path, Ticks(now) - c.ageSeconds);
    }
    BackupJob job("Docs");
    job.NoOverwrite = c.noOverwrite;
    job.Suffix = c.suffix;
    ArchivePreparer preparer(job, c.full, now);
    ZipWriter archive;
    const PreparedArchive prepared = preparer.PrepareArchive(archive, base, kArchiveName);
    EXPECT_TRUE(prepared.opened);
    EXPECT_EQ(c.fate, prepared.fate);
    EXPECT_EQ(c.fate == F::Kept ? ZipOpenMode::OpenExisting : ZipOpenMode::CreateNew, prepared.mode);
    EXPECT_EQ(path, archive.ArchivePath());
    archive.SetRootDirectory(dir / "src");
    EXPECT_TRUE(archive.AddFile(dir / "src/new.txt"));
    archive.CloseArchive();
    EXPECT_EQ(c.entries, run_test::EntryNames(path));
    const std::string retired = base + "/Letters/2025/files (old 1).zip";
    EXPECT_EQ(c.fate == F::Retired, testing_support::PathExists(retired));
    if (c.fate == F::Retired) {
      EXPECT_EQ((std::map<std::string, std::string>{{"old.txt", "old content"}}), run_test::Entries(retired));
    }

  }
}

}  // namespace
