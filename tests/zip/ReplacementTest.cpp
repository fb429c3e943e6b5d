// Replacing an entry of an existing archive: the last one is cut off and
// appended again, an earlier one is rewritten in place with the following
// entries moved. Every other entry keeps its content. Also copying entries
// between archives and removing the last entry.
#include <gtest/gtest.h>

#include <cerrno>

#include "tests/zip/ZipTestSupport.h"

using namespace testing_support;
using namespace zip_test;

namespace {

Files OriginalFiles() {
  return {{"a.txt", TextBytes(20000, "alpha ")},
          {"b.bin", NoiseBytes(5000, 7)},
          {"sub/c.txt", TextBytes(30000, "gamma gamma ")},
          {"d.bin", NoiseBytes(2000, 9)}};
}

}  // namespace

TEST(ReplacementTest, ReplacingFirstMiddleOrLastEntryKeepsEveryOtherEntry) {
  for (int level : {-1, 0}) {
    for (int position : {0, 2, 3}) {
      for (double factor : {0.3, 1.0, 3.0}) {  // smaller, equal, larger
        SCOPED_TRACE("entry " + std::to_string(position) + " level " + std::to_string(level) +
                     " size factor " + std::to_string(factor));
        TempDir dir;
        Files files = OriginalFiles();
        MakeArchive(dir / "a.zip", dir / "src", files, level);
        const std::string before = ReadFile(dir / "a.zip");
        const std::vector<size_t> central = CentralHeaders(before);
        const size_t start = Le32(before, central[position] + 42);
        const size_t end = position < 3 ? Le32(before, central[position + 1] + 42) : central[0];
        const std::string& name = files[position].first;
        std::string& target = files[position].second;
        target = NoiseBytes(static_cast<size_t>(target.size() * factor) - 8, 99) + "replaced";
        WriteFile(dir / ("src/" + name), target);
        ASSERT_TRUE(CreateDirectoryPath(dir / "tmp"));

        RecordingCallback moves;
        ZipWriter writer;
        Open(writer, dir / "a.zip", ZipWriter::OpenExisting, dir / "src", dir / "tmp");
        writer.SetProgressCallback(&moves, ZipActionCallback::CallbackMoveData);
        AddFileRequest request = ReplacingRequest(writer, dir / ("src/" + name), level);
        ASSERT_EQ(position, request.replaceIndex);
        ASSERT_TRUE(writer.AddFile(request));
        EXPECT_EQ(4, writer.EntryCount());
        // An earlier entry keeps its place; the last one is appended again.
        // There is no entry past the last.
        EXPECT_EQ(name, Entry(writer, position).SystemName());
        ZipFileHeader beyond;
        EXPECT_FALSE(writer.GetEntryInfo(4, &beyond));
        writer.CloseArchive();

        const std::string after = ReadFile(dir / "a.zip");
        if (position == 3 || (level == 0 && factor == 1.0)) {
          // Nothing moved: the entries before and after it are as they were.
          EXPECT_TRUE(moves.events.empty());
          EXPECT_TRUE(before.substr(0, start) == after.substr(0, start));
          if (position < 3) {
            EXPECT_TRUE(before.substr(end, central[0] - end) == after.substr(end, central[0] - end));
          }
        } else {
          // The entries after it moved once, in chunks.
          ASSERT_GE(moves.events.size(), 3u);
          EXPECT_EQ("begin " + name, moves.events[0]);
          EXPECT_EQ("total " + std::to_string(central[0] - end), moves.events[1]);
          EXPECT_EQ(1, moves.Ends());
        }
        // Every reader checks the archives whose entries moved furthest.
        EXPECT_ARCHIVE_HOLDS(dir / "a.zip", files, factor == 3.0);
        EXPECT_EQ("", Leftovers(dir / "tmp")) << "temporary archive left behind";
      }
    }
  }
}

// Replacements that cannot be done leave the archive and the entry as they
// were: an unknown index, no read buffer, an unreadable source, a full disk
// under the temporary archive. An index of -2 finds the
// entry by name.
TEST(ReplacementTest, RefusedReplacementsKeepTheEntryTheyWouldReplace) {
  TempDir dir;
  Files files = OriginalFiles();
  MakeArchive(dir / "a.zip", dir / "src", files);
  files[0].second = "new alpha";
  WriteFile(dir / "src/a.txt", files[0].second);
  WriteFile(dir / "src/sub/c.txt", TextBytes(200000));
  ASSERT_TRUE(CreateDirectoryPath(dir / "tmp"));
  {
    InstalledFaultEnv fault;
    fault.env.FailOpen("d.bin", EACCES);
    ZipWriter writer;
    Open(writer, dir / "a.zip", ZipWriter::OpenExisting, dir / "src", dir / "tmp");
    AddFileRequest request(dir / "src/a.txt", false);
    request.replaceIndex = 17;
    EXPECT_FALSE(writer.AddFile(request));
    request.replaceIndex = -2;
    request.bufferSize = 0;
    EXPECT_FALSE(writer.AddFile(request));
    request.bufferSize = 4096;
    ASSERT_TRUE(writer.AddFile(request));

    EXPECT_FALSE(writer.AddFile(ReplacingRequest(writer, dir / "src/d.bin")));
    fault.env.FailWritesAfter("AKZ", 0);
    Thrown thrown = ThrownBy([&] { writer.AddFile(ReplacingRequest(writer, dir / "src/sub/c.txt")); });
    EXPECT_EQ(ENOSPC, thrown.code);
    EXPECT_EQ(0u, thrown.fileName.find(dir / "tmp/AKZ")) << thrown.fileName;
    EXPECT_EQ(4, writer.EntryCount());
    writer.CloseArchive();
  }
  EXPECT_ARCHIVE_HOLDS(dir / "a.zip", files);
  EXPECT_EQ("", Leftovers(dir / "tmp")) << "temporary archive left behind";
}

TEST(ReplacementTest, CompressionGainCheckStoresWhatDoesNotShrink) {
  // Appended, replaced through a temporary file, replaced through memory.
  for (const auto& [replace, inMemory] :
       {std::pair{false, false}, std::pair{true, false}, std::pair{true, true}}) {
    SCOPED_TRACE(std::to_string(replace) + std::to_string(inMemory));
    TempDir dir;
    Files files = OriginalFiles();
    MakeArchive(dir / "a.zip", dir / "src", files);
    int index = replace ? 0 : 4;
    if (!replace) files.push_back({"new.bin", ""});
    files[index].second = NoiseBytes(70000, 5);
    WriteFile(dir / ("src/" + files[index].first), files[index].second);
    ZipWriter writer;
    Open(writer, dir / "a.zip", ZipWriter::OpenExisting, dir / "src", dir.path());
    AddFileRequest request = ReplacingRequest(writer, dir / ("src/" + files[index].first), 9);
    request.options |= AddFileRequest::OptCheckCompressionGain;
    if (inMemory) request.options |= AddFileRequest::OptGainCheckInMemory;
    ASSERT_TRUE(writer.AddFile(request));
    const ZipFileHeader header = Entry(writer, index);  // stored: name, method, size
    EXPECT_EQ(files[index].first + " 0 70000", header.SystemName() + " " +
              std::to_string(header.method) + " " + std::to_string(header.compressedSize));
    writer.CloseArchive();
    EXPECT_ARCHIVE_HOLDS(dir / "a.zip", files);
  }
}

TEST(EntryCopyTest, CopiesAndRemovesEntries) {
  TempDir dir;
  const std::string text = TextBytes(4000);
  WriteFile(dir / "src/unix.txt", text);
  ASSERT_EQ(0, RunCommand("cd " + ShellQuote(dir / "src") + " && zip -q ../unix.zip unix.txt"));
  MakeArchive(dir / "target.zip", dir / "t",
              {{"x.txt", "x"}, {"y.txt", "why"}, {"noise", NoiseBytes(5000, 3)}});
  ZipWriter source;
  source.OpenArchive(dir / "unix.zip", ZipWriter::OpenReadOnly);
  ZipWriter target;
  target.OpenArchive(dir / "target.zip", ZipWriter::OpenExisting);
  // The last entry is removed only when compression did not shrink it, or when forced.
  EXPECT_TRUE(target.RemoveLastEntry(false));   // the noise grew when deflated
  EXPECT_FALSE(target.RemoveLastEntry(false));  // y.txt was stored

  EXPECT_FALSE(target.CopyEntryFrom(target, 0, "", -1, true, nullptr));  // not from itself
  EXPECT_FALSE(target.CopyEntryFrom(source, 5, "", -1, true, nullptr));  // no such entry
  const std::string tooLong(70000, 'n');  // over its 16-bit length field
  EXPECT_EQ(ZipException::EntryTooLong,
            ThrownBy([&] { target.CopyEntryFrom(source, 0, tooLong, -1, true, nullptr); }).code);
  // A copy cancelled at its last chunk, over the cut-off last entry (y.txt)
  // or appended, is completed, and then the cancel is thrown.
  RecordingCallback replacing(1), appending(1);
  EXPECT_EQ(ZipException::CancelledFinished,
            ThrownBy([&] { target.CopyEntryFrom(source, 0, "y.txt", 1, false, &replacing); }).code);
  EXPECT_EQ(ZipException::CancelledFinished,
            ThrownBy([&] { target.CopyEntryFrom(source, 0, "", -1, true, &appending); }).code);
  ASSERT_TRUE(target.CopyEntryFrom(source, 0, "renamed.txt", -1, false, nullptr));
  EXPECT_EQ(4, target.EntryCount());
  EXPECT_EQ("y.txt", Entry(target, 1).SystemName());
  // Info-ZIP's entries are made by Unix, like new ones: nothing to convert.
  EXPECT_EQ(3, Entry(target, 3).System());
  EXPECT_EQ(Entry(source, 0).externalAttributes, Entry(target, 3).externalAttributes);
  EXPECT_EQ("begin unix.txt", appending.events.front());
  EXPECT_EQ("end", appending.events.back());
  const uint64_t renamedAt = Entry(target, 3).localHeaderOffset;
  EXPECT_FALSE(target.RemoveLastEntry(false));  // deflated text shrank
  EXPECT_TRUE(target.RemoveLastEntry(true));
  target.CloseArchive();
  source.CloseArchive();
  // The archive was cut at the removed entry's local header.
  const std::string bytes = ReadFile(dir / "target.zip");
  EXPECT_EQ(renamedAt, Le32(bytes, bytes.size() - 22 + 16));
  const Files kept = {{"x.txt", "x"}, {"y.txt", text}, {"unix.txt", text}};
  EXPECT_ARCHIVE_HOLDS(dir / "target.zip", kept);
}
