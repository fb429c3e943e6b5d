#include "engine/ArchiveIndex.h"

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempDir;


IndexedArchive Line(const std::string& name, ArchiveKind kind, int hour, uint64_t entries) {
  return IndexedArchive{name, kind, wxDateTime(2, wxDateTime::Dec, 2026, hour, 30, 15), entries};
}

// Lines that parse are kept, every other line is passed over.
TEST(ArchiveIndexTest, ParsesWellFormedLinesOnly) {
  struct Row {
    const char* text;
    size_t archives;
    const char* name;
  } rows[] = {
      {"2026-12-02 14:30:15\tfull\t3\tDocs.zip\n", 1, "Docs.zip"},
      {"2026-12-02 14:30:15\tinitial\t3\ta\\tb\\\\c\\nd.zip\n", 1, "a\tb\\c\nd.zip"},
      {"2026-12-02 14:30:15\tfull\t3\tDocs.zip", 0, ""},  // torn: no newline
      {"2026-12-02 14:30\tfull\t3\tDocs.zip\n", 0, ""},
      {"2026-13-02 14:30:15\tfull\t3\tDocs.zip\n", 0, ""},
      {"2026-02-30 14:30:15\tfull\t3\tDocs.zip\n", 0, ""},
      {"2026-12-02 14:30:15\tpartial\t3\tDocs.zip\n", 0, ""},
      {"2026-12-02 14:30:15\tfull\t-3\tDocs.zip\n", 0, ""},
      {"2026-12-02 14:30:15\tfull\t3\t\n", 0, ""},
      {"2026-12-02 14:30:15\tfull\t3\tbad\\x.zip\n", 0, ""},
      {"garbage\n2026-12-02 14:30:15\tincremental\t7\tsub/files.zip\n", 1, "sub/files.zip"},
  };
  for (const Row& row : rows) {
    ArchiveIndex index = ArchiveIndex::Parse(row.text);
    ASSERT_EQ(index.Archives().size(), row.archives) << row.text;
    if (row.archives) {
      EXPECT_EQ(index.Archives()[0].name, row.name) << row.text;
    }
  }
}

// Record, Rename and Remove edit lines by name; Save and Load round-trip them.
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

  EXPECT_EQ(ReadFile(dir / ArchiveIndex::kFileName),
            "2026-12-02 12:30:15\tincremental\t6\tDocs (old 1).zip\n"
            "2026-12-02 13:30:15\tfull\t1\tDocs.zip\n");
  ArchiveIndex loaded = ArchiveIndex::Load(env, dir.path());
  ASSERT_EQ(loaded.Archives().size(), 2u);
  const IndexedArchive* old = loaded.Find("Docs (old 1).zip");
  ASSERT_NE(old, nullptr);
  EXPECT_EQ(old->kind, ArchiveKind::Incremental);
  EXPECT_EQ(old->entries, 6u);
  EXPECT_TRUE(old->committed.IsEqualTo(wxDateTime(2, wxDateTime::Dec, 2026, 12, 30, 15)));
  EXPECT_EQ(loaded.Find("a\tb.zip"), nullptr);

  EXPECT_FALSE(index.Save(env, dir / "absent/deeper"));
}

}  // namespace
