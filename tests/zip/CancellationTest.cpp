// Cancelling through the progress callback at every chunk boundary: the
// writer throws CancelledFinished and, once closed, the archive is valid and
// holds exactly the entries that were finished.
#include <gtest/gtest.h>

#include "platform/Env.h"
#include "tests/zip/ZipTestSupport.h"

using testing_support::ExternalEntries;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

constexpr uint32_t kChunk = 4096;
const std::string kFirst = zip_test::TextBytes(3000, "first ");
const std::string kMiddle = zip_test::TextBytes(9000, "middle ");
const std::string kLast = zip_test::NoiseBytes(2000, 3);

void MakeThreeEntryArchive(const TempDir& dir) {
  zip_test::MakeArchive(dir / "a.zip", dir / "src",
                        {{"first.txt", kFirst}, {"middle.txt", kMiddle}, {"last.bin", kLast}});
}

// Adds `path` with the callback cancelling at progress call `cancelAt`;
// returns the exception's code (0 when nothing was thrown).
int AddCancelling(ZipWriter& writer, const std::string& path, int replaceIndex, int level,
                  int cancelAt, std::vector<std::string>* events) {
  zip_test::RecordingCallback callback(cancelAt);
  writer.SetProgressCallback(&callback, ZipActionCallback::CallbackAdd);
  AddFileRequest request(path, false);
  request.level = level;
  request.bufferSize = kChunk;
  request.replaceIndex = replaceIndex;
  int code = 0;
  try {
    writer.AddFile(request);
  } catch (const ZipException& error) {
    code = error.code;
    EXPECT_EQ("", error.fileName);
  }
  writer.SetProgressCallback(nullptr, ZipActionCallback::CallbackAdd);
  *events = callback.events;
  return code;
}

}  // namespace

TEST(CancellationTest, CancelWhileAppendingKeepsOnlyFinishedEntries) {
  // Five chunks, the last one partial; and four full chunks.
  for (size_t size : {kChunk * 4 + 100, kChunk * 4}) {
    int chunks = static_cast<int>((size + kChunk - 1) / kChunk);
    for (int cancelAt = 1; cancelAt <= chunks; ++cancelAt) {
      SCOPED_TRACE("size " + std::to_string(size) + " cancel at " + std::to_string(cancelAt));
      TempDir dir;
      MakeThreeEntryArchive(dir);
      std::string content = zip_test::TextBytes(size, "appended ");
      WriteFile(dir / "src/new.txt", content);
      ZipWriter writer;
      writer.OpenArchive(dir / "a.zip", ZipWriter::OpenExisting);
      writer.SetRootDirectory(dir / "src");
      std::vector<std::string> events;
      EXPECT_EQ(ZipException::CancelledFinished,
                AddCancelling(writer, dir / "src/new.txt", -1, -1, cancelAt, &events));
      EXPECT_EQ("end", events.back());
      EXPECT_EQ(1, std::count(events.begin(), events.end(), "end"));
      bool finished = cancelAt == chunks;
      EXPECT_EQ(finished ? 4 : 3, writer.EntryCount());
      writer.CloseArchive();

      EXPECT_ZIP_VALID(dir / "a.zip");
      auto entries = ExternalEntries(dir / "a.zip");
      EXPECT_EQ(finished ? 4u : 3u, entries.size());
      EXPECT_EQ(kMiddle, entries["middle.txt"].content);
      EXPECT_EQ(kLast, entries["last.bin"].content);
      if (finished) {
        EXPECT_TRUE(content == entries["new.txt"].content);
      }
    }
  }
}

TEST(CancellationTest, CancelWhileReplacingKeepsTheOldOrTheWholeNewEntry) {
  struct Case {
    const char* label;
    const char* name;
    int level;
  };
  // Compressed: staged in a temporary archive, so a cancel before the end
  // leaves the old entry. Stored: written in place, so it is completed first.
  // The last entry is cut off first, so a cancel before the end loses it.
  const Case cases[] = {{"compressed middle", "middle.txt", -1},
                        {"stored middle", "middle.txt", 0},
                        {"compressed last", "last.bin", -1}};
  const size_t size = kChunk * 3 + 10;
  for (const Case& c : cases) {
    for (int cancelAt = 1; cancelAt <= 4; ++cancelAt) {
      SCOPED_TRACE(std::string(c.label) + " cancel at " + std::to_string(cancelAt));
      TempDir dir;
      MakeThreeEntryArchive(dir);
      std::string content = zip_test::TextBytes(size, "replacement ");
      WriteFile(dir / (std::string("src/") + c.name), content);
      ZipWriter writer;
      writer.OpenArchive(dir / "a.zip", ZipWriter::OpenExisting);
      writer.SetRootDirectory(dir / "src");
      writer.SetTemporaryDirectory(dir.path());
      std::string path = dir / (std::string("src/") + c.name);
      int index = writer.FindDuplicate(path, false);
      std::vector<std::string> events;
      EXPECT_EQ(ZipException::CancelledFinished,
                AddCancelling(writer, path, index, c.level, cancelAt, &events));
      EXPECT_EQ(1, std::count(events.begin(), events.end(), "end"));
      writer.CloseArchive();

      EXPECT_ZIP_VALID(dir / "a.zip");
      auto entries = ExternalEntries(dir / "a.zip");
      EXPECT_EQ(kFirst, entries["first.txt"].content);
      bool isLast = std::string(c.name) == "last.bin";
      if (!isLast) {
        EXPECT_EQ(kLast, entries["last.bin"].content);
      }
      bool completed = cancelAt == 4 || c.level == 0;
      if (completed) {
        EXPECT_TRUE(content == entries[c.name].content);
      } else if (isLast) {
        EXPECT_EQ(0u, entries.count(c.name));
      } else {
        EXPECT_EQ(kMiddle, entries[c.name].content);
      }
    }
  }
}

TEST(CancellationTest, CancelWhileSavingStillWritesTheWholeCentralDirectory) {
  TempDir dir;
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 0; i < 300; ++i) files.push_back({"f" + std::to_string(i), "x"});
  zip_test::MakeArchive(dir / "a.zip", dir / "src", files);
  WriteFile(dir / "src/one-more", "y");
  zip_test::RecordingCallback save(2);
  ZipWriter writer;
  writer.OpenArchive(dir / "a.zip", ZipWriter::OpenExisting);
  writer.SetRootDirectory(dir / "src");
  writer.SetProgressCallback(&save, ZipActionCallback::CallbackSave);
  ASSERT_TRUE(writer.AddFile(dir / "src/one-more"));
  try {
    writer.CloseArchive();
    ADD_FAILURE() << "no cancel reported";
  } catch (const ZipException& error) {
    EXPECT_EQ(ZipException::CancelledFinished, error.code);
    EXPECT_EQ(dir / "a.zip", error.fileName);
  }
  EXPECT_TRUE(writer.IsClosed());
  // Progress after the first header, then per 256 headers, then the rest;
  // the cancel at the second report stops the reports, not the writing.
  EXPECT_EQ((std::vector<std::string>{"begin ", "total 301", "progress 1", "progress 256", "end"}),
            save.events);
  EXPECT_ZIP_VALID(dir / "a.zip");
  EXPECT_EQ(301u, ExternalEntries(dir / "a.zip").size());
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
  EXPECT_EQ(1, std::count(first.events.begin(), first.events.end(), "end"));
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
