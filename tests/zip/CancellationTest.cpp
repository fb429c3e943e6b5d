// Cancelling through the progress callback at every chunk boundary: the
// writer throws CancelledFinished and, once closed, the archive is valid and
// holds exactly the entries that were finished.
#include <gtest/gtest.h>

#include "tests/zip/ZipTestSupport.h"

using testing_support::TempDir;
using testing_support::WriteFile;
using zip_test::Files;

namespace {

constexpr uint32_t kChunk = 4096;
const Files kThreeFiles = {{"first.txt", zip_test::TextBytes(3000, "first ")},
                           {"middle.txt", zip_test::TextBytes(9000, "middle ")},
                           {"last.bin", zip_test::NoiseBytes(2000, 3)}};

// Adds `path` in chunks of kChunk with the callback cancelling at progress
// call `cancelAt`; returns the exception's code (0 when nothing was thrown).
int AddCancelling(ZipWriter& writer, const std::string& path, int replaceIndex, int level,
                  int cancelAt) {
  zip_test::RecordingCallback callback(cancelAt);
  writer.SetProgressCallback(&callback, ZipActionCallback::CallbackAdd);
  AddFileRequest request(path, false);
  request.level = level;
  request.bufferSize = kChunk;
  request.replaceIndex = replaceIndex;
  zip_test::Thrown thrown = zip_test::ThrownBy([&] { writer.AddFile(request); });
  EXPECT_EQ("", thrown.fileName);
  writer.SetProgressCallback(nullptr, ZipActionCallback::CallbackAdd);
  // Every add that began is ended once, also when it is cancelled.
  EXPECT_EQ("end", callback.events.empty() ? "" : callback.events.back());
  EXPECT_EQ(1, callback.Ends());
  return thrown.code;
}

}  // namespace

TEST(CancellationTest, CancelAtEveryChunkKeepsOnlyFinishedEntries) {
  struct Case {
    const char* label;
    int index;  // the entry replaced; -1 appends
    int level;
    size_t size;
  };
  // Appended: a cancel before the end drops the new entry. Replacing a
  // compressed entry stages it in a temporary archive, so a cancel before the
  // end leaves the old entry; a stored one is written in place, so it is
  // completed first. The last entry is cut off first, so a cancel before the
  // end loses it.
  const Case cases[] = {{"append, last chunk partial", -1, -1, kChunk * 4 + 100},
                        {"append, full chunks", -1, -1, kChunk * 4},
                        {"compressed middle", 1, -1, kChunk * 3 + 10},
                        {"stored middle", 1, 0, kChunk * 3 + 10},
                        {"compressed last", 2, -1, kChunk * 3 + 10}};
  for (const Case& c : cases) {
    int chunks = static_cast<int>((c.size + kChunk - 1) / kChunk);
    for (int cancelAt = 1; cancelAt <= chunks; ++cancelAt) {
      SCOPED_TRACE(std::string(c.label) + " cancel at " + std::to_string(cancelAt));
      TempDir dir;
      zip_test::MakeArchive(dir / "a.zip", dir / "src", kThreeFiles);
      std::string name = c.index < 0 ? "new.txt" : kThreeFiles[c.index].first;
      std::string content = zip_test::TextBytes(c.size, "new data ");
      WriteFile(dir / ("src/" + name), content);
      ZipWriter writer;
      zip_test::Open(writer, dir / "a.zip", ZipWriter::OpenExisting, dir / "src");
      writer.SetTemporaryDirectory(dir.path());
      int replaceIndex = writer.FindDuplicate(dir / ("src/" + name), false);
      ASSERT_EQ(c.index, replaceIndex);
      EXPECT_EQ(ZipException::CancelledFinished,
                AddCancelling(writer, dir / ("src/" + name), replaceIndex, c.level, cancelAt));

      Files expected = kThreeFiles;
      bool finished = cancelAt == chunks || (c.index >= 0 && c.level == 0);
      if (c.index < 0 && finished) {
        expected.push_back({name, content});
      } else if (finished) {
        expected[c.index].second = content;
      } else if (c.index == 2) {
        expected.pop_back();
      }
      EXPECT_EQ(static_cast<int>(expected.size()), writer.EntryCount());
      writer.CloseArchive();
      EXPECT_ARCHIVE_HOLDS(dir / "a.zip", expected);
    }
  }
}

TEST(CancellationTest, CancelWhileSavingStillWritesTheWholeCentralDirectory) {
  TempDir dir;
  Files files;
  for (int i = 0; i < 300; ++i) files.push_back({"f" + std::to_string(i), "x"});
  zip_test::MakeArchive(dir / "a.zip", dir / "src", files);
  WriteFile(dir / "src/one-more", "y");
  files.push_back({"one-more", "y"});
  zip_test::RecordingCallback save(2);
  ZipWriter writer;
  zip_test::Open(writer, dir / "a.zip", ZipWriter::OpenExisting, dir / "src");
  writer.SetProgressCallback(&save, ZipActionCallback::CallbackSave);
  ASSERT_TRUE(writer.AddFile(dir / "src/one-more"));
  zip_test::Thrown thrown = zip_test::ThrownBy([&] { writer.CloseArchive(); });
  EXPECT_EQ(ZipException::CancelledFinished, thrown.code);
  EXPECT_EQ(dir / "a.zip", thrown.fileName);
  EXPECT_TRUE(writer.IsClosed());
  // Progress after the first header, then per 256 headers, then the rest;
  // the cancel at the second report stops the reports, not the writing.
  EXPECT_EQ((std::vector<std::string>{"begin ", "total 301", "progress 1", "progress 256", "end"}),
            save.events);
  EXPECT_ARCHIVE_HOLDS(dir / "a.zip", files);
}

TEST(CancellationTest, CallbacksAreRegisteredPerKindAndKeepTheFirstRegistration) {
  TempDir dir;
  WriteFile(dir / "src/f.txt", zip_test::TextBytes(10000));
  zip_test::RecordingCallback first;
  zip_test::RecordingCallback second;
  ZipWriter writer;
  writer.OpenArchive(dir / "a.zip", ZipWriter::CreateNew);
  writer.SetProgressCallback(&first, ZipActionCallback::CallbackAdd);
  writer.SetProgressCallback(&second, ZipActionCallback::CallbackAdd | ZipActionCallback::CallbackSave);
  ASSERT_TRUE(writer.AddFile(dir / "src/f.txt"));
  EXPECT_EQ(ZipActionCallback::CallbackAdd, first.ActionKind());
  EXPECT_EQ(10000u, first.ActionDone());
  EXPECT_TRUE(second.events.empty());
  writer.SetProgressCallback(nullptr, ZipActionCallback::CallbackAdd);
  ASSERT_TRUE(writer.AddFile(dir / "src/f.txt", -1, true));
  EXPECT_EQ(1, first.Ends());
  writer.CloseArchive(false, true);
  EXPECT_EQ(ZipActionCallback::CallbackSave, second.ActionKind());
  EXPECT_EQ(2u, second.ActionDone());
  EXPECT_ZIP_VALID(dir / "a.zip");
  // With the time stamp asked for, the archive carries its newest entry's time.
  platform::FileInfo archive;
  platform::FileInfo source;
  ASSERT_EQ(0, platform::Env::Default()->Stat(dir / "a.zip", &archive));
  ASSERT_EQ(0, platform::Env::Default()->Stat(dir / "src/f.txt", &source));
  EXPECT_LE(source.mtimeSeconds - 2, archive.mtimeSeconds);
  EXPECT_GE(source.mtimeSeconds, archive.mtimeSeconds);
}
