// The index of a backup directory's archives, which files of a target belong
// to a job and what the index says of them; the times a user may give for
// --as-of.
#include <sys/stat.h>

#include <set>

#include "engine/ArchiveCatalogue.h"
#include "engine/ArchiveIndex.h"
#include "engine/AsOfTime.h"
#include "tests/engine/run/RunTestSupport.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

IndexedArchive Line(const std::string& name, ArchiveKind kind, int hour, uint64_t entries) {
  return IndexedArchive{name, kind, wxDateTime(2, wxDateTime::Dec, 2026, hour, 30, 15), entries};
}

// Lines that parse are kept, every other line is passed over.
TEST(ArchiveIndexTest, ParsesWellFormedLinesOnly) {
  struct Row { const char* text; size_t archives = 0; const char* name = ""; } rows[] = {
      {"2026-12-02 14:30:15\tfull\t3\tDocs.zip\n", 1, "Docs.zip"},
      {"2026-12-02 14:30:15\tinitial\t3\ta\\tb\\\\c\\nd.zip\n", 1, "a\tb\\c\nd.zip"},
      // Rows of a text alone are refused.
      {"2026-12-02 14:30:15\tfull\t3\tDocs.zip"},  // torn: no newline
      {"2026-12-02 14:30\tfull\t3\tDocs.zip\n"}, {"2026-13-02 14:30:15\tfull\t3\tDocs.zip\n"},
      {"2026-02-30 14:30:15\tfull\t3\tDocs.zip\n"}, {"2026-12-02 14:30:15\tfull\t3\t\n"},
      {"2026-12-02 14:30:15\tpartial\t3\tDocs.zip\n"}, {"2026-12-02 14:30:15\tfull\t-3\tDocs.zip\n"},
      {"2026-12-02 14:30:15\tfull\t3\tbad\\x.zip\n"},
      {"2026-12-02 14:30:15\tfull\t3\t../x.zip\n"}, {"2026-12-02 14:30:15\tfull\t3\ta/../../x.zip\n"},
      {"garbage\n2026-12-02 14:30:15\tincremental\t7\tsub/files.zip\n", 1, "sub/files.zip"},
  };
  for (const Row& row : rows) {
    ArchiveIndex index = ArchiveIndex::Parse(row.text);
    ASSERT_EQ(index.Archives().size(), row.archives) << row.text;
    if (row.archives) { EXPECT_EQ(index.Archives()[0].name, row.name) << row.text; }
  }
}

// Record, Rename and Remove edit lines by name; what Load reads, Save writes
// back byte for byte.
TEST(ArchiveIndexTest, EditsAndRoundTripsThroughTheFile) {
  TempDir dir;
  platform::Env& env = *platform::Env::Default();
  EXPECT_TRUE(ArchiveIndex::Load(env, dir.path()).Archives().empty());

  ArchiveIndex index;
  index.Record(Line("Docs.zip", ArchiveKind::Full, 10, 4));
  index.Record(Line("a\tb.zip", ArchiveKind::Initial, 11, 2));
  index.Record(Line("Docs.zip", ArchiveKind::Incremental, 12, 6));  // replaces
  index.Rename("Docs.zip", "Docs (old 1).zip");
  index.Record(Line("Docs.zip", ArchiveKind::Full, 13, 1));
  index.Remove("a\tb.zip");
  ASSERT_TRUE(index.Save(env, dir.path()));
  const std::string file = dir / ArchiveIndex::kFileName;
  const std::string written = "2026-12-02 12:30:15\tincremental\t6\tDocs (old 1).zip\n"
                              "2026-12-02 13:30:15\tfull\t1\tDocs.zip\n";
  EXPECT_EQ(written, ReadFile(file));
  const ArchiveIndex loaded = ArchiveIndex::Load(env, dir.path());
  std::filesystem::remove(file);
  ASSERT_TRUE(loaded.Save(env, dir.path()));
  EXPECT_EQ(written, ReadFile(file));
  EXPECT_FALSE(index.Save(env, dir / "absent/deeper"));
}

TEST(CatalogueTest, TakesTheJobsArchivesOfEverySuffixAndNoForeignOnes) {
  run_test::Sandbox box;
  box.job.Archives = {"Mail", "/abs/Notes"};
  const std::set<std::string> ours = {
      "Docs.zip", "Docs (old 1).zip", "Docs-Mon.zip", "Docs-2026-12-02/Mail.zip",
      "Docs-2026-12-02/Mail (old 1).zip", "Docs-2026-49/Mail.zip", "Docs-Sun//abs/Notes.zip",
      "Docs/sub/files.zip"};
  const std::set<std::string> foreign = {"Other.zip", "Docs-x.zip", "Docsx-Mon/Mail.zip",
                                         "Docs-2026-12-02/other.zip", "Docs-Mon/Mail.txt"};
  for (const std::string& name : ours) WriteFile(box.target + "/" + name, "");
  for (const std::string& name : foreign) WriteFile(box.target + "/" + name, "");
  WriteFile(box.target + "/Docs-2026-12-02/arkivault-index.txt",
            "2026-12-02 14:30:15\tincremental\t7\tMail.zip\n");
  // A FIFO planted as an index is no index; opening it must not wait for a writer.
  ASSERT_EQ(0, ::mkfifo((box.target + "/Docs-2026-49/arkivault-index.txt").c_str(), 0644));
  for (bool subDirIndividual : {false, true}) {
    box.job.SubDirIndividual = subDirIndividual;
    std::set<std::string> found;
    const ArchiveCatalogue catalogue = ArchiveCatalogue::Scan(*platform::Env::Current(), box.job);
    for (const CatalogueArchive& archive : catalogue.Archives()) {
      found.insert(archive.path.substr(box.target.size() + 1));
      if (archive.name == "Mail.zip" && archive.indexed) {
        EXPECT_EQ(archive.kind, ArchiveKind::Incremental);
        EXPECT_EQ(archive.entries, 7u);
        EXPECT_EQ(archive.sourcePrefix, "Mail");
      }
    }
    std::set<std::string> expected = ours;
    if (!subDirIndividual) expected.erase("Docs/sub/files.zip");
    // With per-folder archives the archive directories' own archives are "files.zip".
    if (subDirIndividual) {
      expected.erase("Docs-2026-49/Mail.zip");
      expected.erase("Docs-Sun//abs/Notes.zip");
    }
    EXPECT_EQ(found, expected) << "per-folder archives " << subDirIndividual;
  }
}

// Times tie within a second or run backwards after a clock change; the
// "(old n)" numbers still tell which archive of a name is newer.
TEST(CatalogueTest, OrdersAnArchiveNameByItsOldNumbers) {
  run_test::Sandbox box;
  box.job.Archives = {"Mail", "Notes"};
  const std::string dir = box.target + "/Docs-2026-12-02/";
  for (const char* name : {"Mail.zip", "Mail (old 9).zip", "Mail (old 10).zip", "Notes.zip"}) {
    WriteFile(dir + name, "");
  }
  WriteFile(dir + "arkivault-index.txt",
            "2026-12-02 14:30:15\tfull\t1\tMail (old 9).zip\n"
            "2026-12-02 14:30:15\tincremental\t1\tMail (old 10).zip\n"
            "2026-12-02 14:10:00\tincremental\t1\tMail.zip\n"
            "2026-12-02 14:20:00\tfull\t1\tNotes.zip\n");
  const ArchiveCatalogue catalogue = ArchiveCatalogue::Scan(*platform::Env::Current(), box.job);
  std::vector<std::string> order;
  for (const CatalogueArchive& archive : catalogue.Archives()) order.push_back(archive.name);
  EXPECT_EQ(order, (std::vector<std::string>{"Mail (old 9).zip", "Notes.zip", "Mail (old 10).zip",
                                             "Mail.zip"}));
}

TEST(CatalogueTest, AcceptsTheDocumentedTimesOnly) {
  const wxDateTime now(5, wxDateTime::Dec, 2026, 9, 0, 0);
  const struct { const char* text; bool accepted; wxDateTime when; } rows[] = {
      {"2026-12-02", true, wxDateTime(2, wxDateTime::Dec, 2026, 23, 59, 59)},
      {"2026-12-02 14:30", true, wxDateTime(2, wxDateTime::Dec, 2026, 14, 30, 59)},
      {"2026-12-02 14:30:15", true, wxDateTime(2, wxDateTime::Dec, 2026, 14, 30, 15)},
      {"yesterday", true, wxDateTime(4, wxDateTime::Dec, 2026, 23, 59, 59)},
      {"2026-12-2", false, {}}, {"2026-02-30", false, {}}, {"2026-12-02 24:00", false, {}},
      {"2026-12-02T14:30", false, {}}, {"tomorrow", false, {}}, {"", false, {}},
      {" 2026-12-02", false, {}}, {"2026-12-02 14:30:15x", false, {}},
  };
  for (const auto& row : rows) {
    wxDateTime when;
    ASSERT_EQ(ParseAsOfTime(row.text, now, &when), row.accepted) << row.text;
    if (row.accepted) { EXPECT_TRUE(when.IsEqualTo(row.when)) << row.text; }
  }
}

}  // namespace
