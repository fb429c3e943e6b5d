// Copying entries between archives, removing the last entry, and the data
// moves that make room for a replacement.
#include <gtest/gtest.h>

#include "tests/zip/ZipTestSupport.h"
#include "zip/ZipFileHeader.h"

using testing_support::ExternalEntries;
using testing_support::RunCommand;
using testing_support::ShellQuote;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

ZipFileHeader Entry(ZipWriter& writer, int index) {
  ZipFileHeader header;
  EXPECT_TRUE(writer.GetEntryInfo(index, &header));
  return header;
}

}  // namespace

TEST(EntryCopyTest, CopiesEntriesUnderTheirOwnOrNewNamesAndSystems) {
  TempDir dir;
  WriteFile(dir / "src/unix.txt", zip_test::TextBytes(4000));
  std::string output;
  ASSERT_EQ(0, RunCommand("cd " + ShellQuote(dir / "src") + " && zip -q ../unix.zip unix.txt", &output));
  zip_test::MakeArchive(dir / "target.zip", dir / "t", {{"x.txt", "x"}, {"y.txt", "why"}, {"z.txt", "z"}});

  ZipWriter source;
  source.OpenArchive(dir / "unix.zip", ZipWriter::OpenReadOnly);
  ZipWriter target;
  target.OpenArchive(dir / "target.zip", ZipWriter::OpenExisting);
  zip_test::RecordingCallback copy;
  EXPECT_FALSE(target.CopyEntryFrom(target, 0, "", -1, true, nullptr));  // not from itself
  EXPECT_FALSE(target.CopyEntryFrom(source, 5, "", -1, true, nullptr));  // no such entry
  ASSERT_TRUE(target.CopyEntryFrom(source, 0, "", -1, true, &copy));
  ASSERT_TRUE(target.CopyEntryFrom(source, 0, "renamed.txt", -1, false, nullptr));
  ASSERT_TRUE(target.CopyEntryFrom(source, 0, "y.txt", 1, false, nullptr));  // replaces y.txt
  EXPECT_EQ(5, target.EntryCount());
  EXPECT_EQ(3, Entry(target, 3).System());   // kept Info-ZIP's Unix form
  EXPECT_EQ(0, Entry(target, 4).System());   // converted to this archive's system
  EXPECT_EQ(0x20u, Entry(target, 4).externalAttributes);
  EXPECT_EQ("y.txt", Entry(target, 1).SystemName());
  EXPECT_EQ("begin unix.txt", copy.events.front());
  EXPECT_EQ("end", copy.events.back());
  target.CloseArchive();
  source.CloseArchive();

  EXPECT_ZIP_VALID(dir / "target.zip");
  auto entries = ExternalEntries(dir / "target.zip");
  const std::string text = zip_test::TextBytes(4000);
  EXPECT_EQ(text, entries["unix.txt"].content);
  EXPECT_EQ(text, entries["renamed.txt"].content);
  EXPECT_EQ(text, entries["y.txt"].content);
  EXPECT_EQ("x", entries["x.txt"].content);
  EXPECT_EQ("z", entries["z.txt"].content);
}

TEST(EntryCopyTest, RemoveLastEntryKeepsWhatCompressionShrankUnlessForced) {
  TempDir dir;
  zip_test::MakeArchive(dir / "a.zip", dir / "src",
                        {{"text.txt", zip_test::TextBytes(5000)}, {"noise.bin", zip_test::NoiseBytes(5000, 3)}});
  ZipWriter writer;
  writer.OpenArchive(dir / "a.zip", ZipWriter::OpenExisting);
  EXPECT_TRUE(writer.RemoveLastEntry(false));   // the noise grew when deflated
  EXPECT_FALSE(writer.RemoveLastEntry(false));  // the text shrank
  EXPECT_EQ(1, writer.EntryCount());
  EXPECT_TRUE(writer.RemoveLastEntry(true));
  EXPECT_FALSE(writer.RemoveLastEntry(true));
  writer.CloseArchive();
  EXPECT_EQ(22u, testing_support::ReadFile(dir / "a.zip").size());
  EXPECT_TRUE(ExternalEntries(dir / "a.zip").empty());
}

TEST(EntryCopyTest, LargerReplacementMovesLaterEntriesAndRaisesTheirOffsets) {
  TempDir dir;
  zip_test::MakeArchive(dir / "a.zip", dir / "src",
                        {{"a", std::string(1000, 'a')}, {"b", std::string(2000, 'b')},
                         {"c", std::string(3000, 'c')}, {"d", std::string(100, 'd')}},
                        0);
  WriteFile(dir / "src/a", std::string(71000, 'A'));
  zip_test::RecordingCallback moves;
  ZipWriter writer;
  writer.OpenArchive(dir / "a.zip", ZipWriter::OpenExisting);
  writer.SetRootDirectory(dir / "src");
  writer.SetProgressCallback(&moves, ZipActionCallback::CallbackMoveData);
  std::vector<uint64_t> before;
  for (int i = 0; i < 4; ++i) before.push_back(Entry(writer, i).localHeaderOffset);
  AddFileRequest request(dir / "src/a", false);
  request.level = 0;
  request.replaceIndex = 0;
  ASSERT_TRUE(writer.AddFile(request));
  for (int i = 1; i < 4; ++i) EXPECT_EQ(before[i] + 70000, Entry(writer, i).localHeaderOffset);
  // Everything after the first entry moved once, in chunks, last chunk first.
  uint64_t moved = before[3] + 30 + 1 + 100 - before[1];
  EXPECT_EQ("begin a", moves.events[0]);
  EXPECT_EQ("total " + std::to_string(moved), moves.events[1]);
  EXPECT_EQ("end", moves.events.back());
  writer.CloseArchive();
  EXPECT_ZIP_VALID(dir / "a.zip");
  auto entries = ExternalEntries(dir / "a.zip");
  EXPECT_EQ(std::string(71000, 'A'), entries["a"].content);
  EXPECT_EQ(std::string(3000, 'c'), entries["c"].content);
  EXPECT_EQ(std::string(100, 'd'), entries["d"].content);
}
