// Which files of a target belong to a job, and what the index says of them;
// the times a user may give for --as-of.
#include <set>

#include "engine/ArchiveCatalogue.h"
#include "engine/AsOfTime.h"
#include "tests/engine/run/RunTestSupport.h"

namespace {

using testing_support::WriteFile;

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
    if (subDirIndividual) expected.erase("Docs-2026-49/Mail.zip"), expected.erase("Docs-Sun//abs/Notes.zip");
    EXPECT_EQ(found, expected) << "per-folder archives " << subDirIndividual;
  }
}

TEST(CatalogueTest, AcceptsTheDocumentedTimesOnly) {
  const wxDateTime now(5, wxDateTime::Dec, 2026, 9, 0, 0);
  const struct {
    const char* text;
    bool accepted;
    wxDateTime when;
  } rows[] = {
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
    if (row.accepted) {
      EXPECT_TRUE(when.IsEqualTo(row.when)) << row.text;
    }
  }
}

}  // namespace
