// Replacing an entry of an existing archive: the last one is cut off and
// appended again, an earlier one is rewritten in place with the following
// entries moved. Every other entry keeps its content. Also copying entries
// between archives and removing the last entry.
#include <gtest/gtest.h>

#include <cerrno>

#include "tests/zip/ZipTestSupport.h"

using testing_support::ReadFile;
using testing_support::RunCommand;
using testing_support::ShellQuote;
using testing_support::TempDir;
using testing_support::WriteFile;
using zip_test::Entry;
using zip_test::Files;

namespace {

Files OriginalFiles() {
  return {{"a.txt", zip_test::TextBytes(20000, "alpha ")},
          {"b.bin", zip_test::NoiseBytes(5000, 7)},
          {"sub/c.txt", zip_test::TextBytes(30000, "gamma gamma ")},
          {"d.bin", zip_test::NoiseBytes(2000, 9)}};
}

bool DirectoryIsEmpty(const std::string& path) {
  std::unique_ptr<platform::DirectoryReader> reader;
  if (platform::Env::Default()->OpenDirectory(path, &reader) != 0) return false;
  platform::DirEntry entry;
  return !reader->Next(&entry);
}

}  // namespace

TEST(ReplacementTest, ReplacingFirstMiddleOrLastEntryKeepsEveryOtherEntry) {
  struct Size {
    const char* label;
    double factor;
  };
  const Size sizes[] = {{"smaller", 0.3}, {"equal", 1.0}, {"larger", 3.0}};
  for (int level : {-1, 0}) {
    for (int position : {0, 2, 3}) {
      for (const Size& size : sizes) {
        SCOPED_TRACE(std::string(size.label) + " entry " + std::to_string(position) + " level " +
                     std::to_string(level));
        TempDir dir;
        Files files = OriginalFiles();
        zip_test::MakeArchive(dir / "a.zip", dir / "src", files);
        ASSERT_TRUE(CreateDirectoryPath(dir / "tmp"));
        const std::string& name = files[position].first;
        std::string& target = files[position].second;
        target = zip_test::NoiseBytes(static_cast<size_t>(target.size() * size.factor), 99) + "replaced";
        WriteFile(dir / ("src/" + name), target);

        // The way the backup engine replaces: find the duplicate, then add with its index.
        ZipWriter writer;
        zip_test::Open(writer, dir / "a.zip", ZipWriter::OpenExisting, dir / "src");
        writer.SetTemporaryDirectory(dir / "tmp");
        AddFileRequest request(dir / ("src/" + name), false);
        request.level = level;
        request.replaceIndex = writer.FindDuplicate(dir / ("src/" + name), false, false, ZipWriter::PredictAuto);
        ASSERT_EQ(position, request.replaceIndex);
        ASSERT_TRUE(writer.AddFile(request));
        EXPECT_EQ(4, writer.EntryCount());
        // An earlier entry keeps its place; the last one is appended again.
        EXPECT_EQ(name, Entry(writer, position).SystemName());
        writer.CloseArchive();

        EXPECT_ARCHIVE_HOLDS(dir / "a.zip", files);
        EXPECT_TRUE(DirectoryIsEmpty(dir / "tmp")) << "temporary archive left behind";
      }
    }
  }
}

TEST(ReplacementTest, InPlaceReplacementMovesWhatFollowsByTheChangeInSize) {
  struct Case {
    size_t size;
    int64_t shift;
  };
  const Case cases[] = {{71000, 70000}, {1000, 0}, {400, -600}};
  for (const Case& c : cases) {
    SCOPED_TRACE("size " + std::to_string(c.size));
    TempDir dir;
    Files files = {{"a", std::string(1000, 'a')}, {"b", std::string(2000, 'b')},
                   {"c", std::string(3000, 'c')}, {"d", std::string(100, 'd')}};
    zip_test::MakeArchive(dir / "a.zip", dir / "src", files, 0);
    const std::string before = ReadFile(dir / "a.zip");
    files[0].second = std::string(c.size, 'A');
    WriteFile(dir / "src/a", files[0].second);
    zip_test::RecordingCallback moves;
    ZipWriter writer;
    zip_test::Open(writer, dir / "a.zip", ZipWriter::OpenExisting, dir / "src");
    writer.SetProgressCallback(&moves, ZipActionCallback::CallbackMoveData);
    std::vector<uint64_t> offsets;
    for (int i = 0; i < 4; ++i) offsets.push_back(Entry(writer, i).localHeaderOffset);
    AddFileRequest request(dir / "src/a", false);
    request.level = 0;
    request.replaceIndex = 0;
    ASSERT_TRUE(writer.AddFile(request));
    for (int i = 1; i < 4; ++i) EXPECT_EQ(offsets[i] + c.shift, Entry(writer, i).localHeaderOffset);
    writer.CloseArchive();

    if (c.shift == 0) {
      // Nothing moved: only the replaced entry's header fields and data differ.
      EXPECT_TRUE(moves.events.empty());
      std::string after = ReadFile(dir / "a.zip");
      ASSERT_EQ(before.size(), after.size());
      EXPECT_EQ(before.substr(0, 10), after.substr(0, 10));
      EXPECT_TRUE(files[0].second == after.substr(31, 1000));
      EXPECT_TRUE(before.substr(1031, offsets[3] + 131 - 1031) == after.substr(1031, offsets[3] + 131 - 1031));
    } else {
      // Everything after the first entry moved once, in chunks.
      ASSERT_GE(moves.events.size(), 3u);
      EXPECT_EQ("begin a", moves.events[0]);
      EXPECT_EQ("total " + std::to_string(offsets[3] + 30 + 1 + 100 - offsets[1]), moves.events[1]);
      EXPECT_EQ("end", moves.events.back());
      EXPECT_EQ(1, moves.Ends());
    }
    EXPECT_ARCHIVE_HOLDS(dir / "a.zip", files);
  }
}

// Replacements that cannot be done leave the archive and the entry as they
// were: an unknown index, no read buffer, an unreadable source, a source over
// 4 GiB; an index of -2 finds the entry by name.
TEST(ReplacementTest, RefusedReplacementsKeepTheEntryTheyWouldReplace) {
  TempDir dir;
  Files files = OriginalFiles();
  zip_test::MakeArchive(dir / "a.zip", dir / "src", files);
  files[0].second = "new alpha";
  WriteFile(dir / "src/a.txt", files[0].second);
  ASSERT_EQ(0, RunCommand("truncate -s 4294967296 " + ShellQuote(dir / "src/b.bin")));
  {
    zip_test::InstalledFaultEnv fault;
    fault.env.FailOpen("d.bin", EACCES);
    ZipWriter writer;
    zip_test::Open(writer, dir / "a.zip", ZipWriter::OpenExisting, dir / "src");
    AddFileRequest request(dir / "src/a.txt", false);
    request.replaceIndex = 17;
    EXPECT_FALSE(writer.AddFile(request));
    request.replaceIndex = -2;
    request.bufferSize = 0;
    EXPECT_FALSE(writer.AddFile(request));
    request.bufferSize = 4096;
    ASSERT_TRUE(writer.AddFile(request));

    AddFileRequest unreadable(dir / "src/d.bin", false);
    unreadable.replaceIndex = writer.FindDuplicate(dir / "src/d.bin", false);
    ASSERT_EQ(3, unreadable.replaceIndex);
    EXPECT_FALSE(writer.AddFile(unreadable));
    AddFileRequest huge(dir / "src/b.bin", false);
    huge.level = 0;
    huge.replaceIndex = 1;
    zip_test::Thrown thrown = zip_test::ThrownBy([&] { writer.AddFile(huge); });
    EXPECT_EQ(EFBIG, thrown.code);
    EXPECT_EQ(dir / "a.zip", thrown.fileName);
    EXPECT_EQ(4, writer.EntryCount());
    writer.CloseArchive();
  }
  EXPECT_ARCHIVE_HOLDS(dir / "a.zip", files);
}

TEST(ReplacementTest, CompressionGainCheckStoresWhatDoesNotShrink) {
  struct Case {
    const char* label;
    bool inMemory;
    bool replace;
  };
  const Case cases[] = {{"append", false, false},
                        {"replace through a temporary file", false, true},
                        {"replace through memory", true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    Files files = OriginalFiles();
    zip_test::MakeArchive(dir / "a.zip", dir / "src", files);
    std::string name = c.replace ? "a.txt" : "new.bin";
    std::string noise = zip_test::NoiseBytes(70000, 5);
    WriteFile(dir / ("src/" + name), noise);
    if (c.replace) {
      files[0].second = noise;
    } else {
      files.push_back({name, noise});
    }
    ZipWriter writer;
    zip_test::Open(writer, dir / "a.zip", ZipWriter::OpenExisting, dir / "src");
    writer.SetTemporaryDirectory(dir.path());
    AddFileRequest request(dir / ("src/" + name), false);
    request.options |= AddFileRequest::OptCheckCompressionGain;
    if (c.inMemory) request.options |= AddFileRequest::OptGainCheckInMemory;
    request.level = 9;
    request.replaceIndex = writer.FindDuplicate(dir / ("src/" + name), false);
    ASSERT_TRUE(writer.AddFile(request));
    ZipFileHeader header = Entry(writer, c.replace ? 0 : 4);
    EXPECT_EQ(name, header.SystemName());
    EXPECT_EQ(0, header.method);
    EXPECT_EQ(70000u, header.compressedSize);
    writer.CloseArchive();
    EXPECT_ARCHIVE_HOLDS(dir / "a.zip", files);
  }
}

TEST(EntryCopyTest, CopiesEntriesUnderTheirOwnOrNewNamesAndSystems) {
  TempDir dir;
  const std::string text = zip_test::TextBytes(4000);
  WriteFile(dir / "src/unix.txt", text);
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
  EXPECT_ARCHIVE_HOLDS(dir / "target.zip", (Files{{"x.txt", "x"}, {"y.txt", text}, {"z.txt", "z"},
                                                  {"unix.txt", text}, {"renamed.txt", text}}));
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
  EXPECT_EQ(22u, ReadFile(dir / "a.zip").size());
  EXPECT_TRUE(testing_support::ExternalEntries(dir / "a.zip").empty());
}
