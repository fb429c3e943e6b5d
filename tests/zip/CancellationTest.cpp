// Cancelling through the progress callback at every chunk boundary: the
// writer throws CancelledFinished and, once closed, the archive is valid and
// holds exactly the entries that were finished. (A cancelled copy: EntryCopyTest.)
#include <gtest/gtest.h>

#include "tests/zip/ZipTestSupport.h"

using namespace testing_support;
using namespace zip_test;

namespace {
const Files kCancelFiles = {{"first.txt", TextBytes(3000, "first ")},
                           {"middle.txt", TextBytes(9000, "middle ")},
                           {"last.bin", NoiseBytes(2000, 3)}};
}  // namespace

TEST(CancellationTest, CancelAtEveryChunkKeepsOnlyFinishedEntries) {
  constexpr uint32_t kChunk = 4096;
  struct Case { const char* label; int index; int level; size_t size; };  // index -1 appends
  // Appended: a cancel before the end drops the new entry. Replacing a
  // compressed entry stages it in a temporary archive, so a cancel before the
  // end leaves the old entry; a stored one is written in place, and the last
  // entry is cut off first, so both are completed first.
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
      MakeArchive(dir / "a.zip", dir / "src", kCancelFiles);
      std::string name = c.index < 0 ? "new.txt" : kCancelFiles[c.index].first;
      std::string content = TextBytes(c.size, "new data ");
      WriteFile(dir / ("src/" + name), content);
      ZipWriter writer;
      Open(writer, dir / "a.zip", ZipWriter::OpenExisting, dir / "src", dir.path());
      RecordingCallback callback(cancelAt);
      writer.SetProgressCallback(&callback, ZipActionCallback::CallbackAdd);
      AddFileRequest request = ReplacingRequest(writer, dir / ("src/" + name), c.level);
      request.bufferSize = kChunk;
      Thrown thrown = ThrownBy([&] { writer.AddFile(request); });
      EXPECT_EQ(ZipException::CancelledFinished, thrown.code);
      EXPECT_EQ("", thrown.fileName);
      // Every add that began is ended once, also when it is cancelled.
      ASSERT_FALSE(callback.events.empty());
      EXPECT_EQ("end", callback.events.back());
      EXPECT_EQ(1, callback.Ends());

      Files expected = kCancelFiles;
      bool finished = cancelAt == chunks || (c.index >= 0 && c.level == 0) || c.index == 2;
      if (finished && c.index < 0) expected.push_back({name, content});
      if (finished && c.index >= 0) expected[c.index].second = content;
      EXPECT_EQ(static_cast<int>(expected.size()), writer.EntryCount());
      writer.CloseArchive();
      EXPECT_ARCHIVE_HOLDS(dir / "a.zip", expected, cancelAt == 1);
    }
  }
}

TEST(CancellationTest, CancelWhileSavingStillWritesTheWholeCentralDirectory) {
  TempDir dir;
  Files files;
  for (int i = 0; i < 300; ++i) files.push_back({"f" + std::to_string(i), "x"});
  MakeArchive(dir / "a.zip", dir / "src", files);
  files.push_back({"big", TextBytes(10000)});
  files.push_back({"newest", "y"});
  WriteFile(dir / "src/big", files[300].second);
  WriteFile(dir / "src/newest", files[301].second);
  // Callbacks are registered per kind, and a kind keeps its first one.
  RecordingCallback add, save(2);
  ZipWriter writer;
  Open(writer, dir / "a.zip", ZipWriter::OpenExisting, dir / "src");
  writer.SetProgressCallback(&add, ZipActionCallback::CallbackAdd);
  writer.SetProgressCallback(&save, ZipActionCallback::CallbackAdd |
                                        ZipActionCallback::CallbackSave);
  ASSERT_TRUE(writer.AddFile(dir / "src/big"));
  EXPECT_EQ(ZipActionCallback::CallbackAdd, add.ActionKind());
  EXPECT_EQ(10000u, add.ActionDone());
  writer.SetProgressCallback(nullptr, ZipActionCallback::CallbackAdd);
  ASSERT_TRUE(writer.AddFile(dir / "src/newest"));
  EXPECT_EQ(1, add.Ends());

  Thrown thrown = ThrownBy([&] { writer.CloseArchive(false, true); });
  EXPECT_EQ(ZipException::CancelledFinished, thrown.code);
  EXPECT_EQ(dir / "a.zip", thrown.fileName);
  EXPECT_TRUE(writer.IsClosed());
  // Progress after the first header, then per 256 headers, then the rest;
  // the cancel at the second report stops the reports, not the writing.
  EXPECT_EQ(ZipActionCallback::CallbackSave, save.ActionKind());
  EXPECT_EQ((std::vector<std::string>{"begin ", "total 302", "progress 1", "progress 256", "end"}),
            save.events);
  EXPECT_ARCHIVE_HOLDS(dir / "a.zip", files);
  // With the time stamp asked for, the archive carries its newest entry's time.
  platform::FileInfo archive, newest;
  ASSERT_EQ(0, platform::Env::Default()->Stat(dir / "a.zip", &archive));
  ASSERT_EQ(0, platform::Env::Default()->Stat(dir / "src/newest", &newest));
  EXPECT_NEAR(newest.mtimeSeconds - 1, archive.mtimeSeconds, 1);  // DOS time: two-second steps
}
