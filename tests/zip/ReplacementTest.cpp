// Replacing an entry of an existing archive: the last one is cut off and
// appended again, an earlier one is rewritten in place with the following
// entries moved. Every other entry keeps its content.
#include <gtest/gtest.h>

#include <cerrno>

#include "platform/Env.h"
#include "tests/support/FaultEnv.h"
#include "tests/zip/ZipTestSupport.h"
#include "zip/ZipFileHeader.h"

using testing_support::ExternalEntries;
using testing_support::FaultEnv;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

using Files = std::vector<std::pair<std::string, std::string>>;

Files OriginalFiles() {
  return {{"a.txt", zip_test::TextBytes(20000, "alpha ")},
          {"b.bin", zip_test::NoiseBytes(5000, 7)},
          {"sub/c.txt", zip_test::TextBytes(30000, "gamma gamma ")},
          {"d.bin", zip_test::NoiseBytes(2000, 9)}};
}

std::string EntryName(ZipWriter& writer, int index) {
  ZipFileHeader header;
  EXPECT_TRUE(writer.GetEntryInfo(index, &header));
  return header.SystemName();
}

bool DirectoryIsEmpty(const std::string& path) {
  std::unique_ptr<platform::DirectoryReader> reader;
  if (platform::Env::Default()->OpenDirectory(path, &reader) != 0) return false;
  platform::DirEntry entry;
  return !reader->Next(&entry);
}

// Replaces `name` in the archive with `content` the way the backup engine
// does: find the duplicate, then add with its index.
void Replace(const std::string& archive, const std::string& root, const std::string& name,
             const std::string& content, int level, const std::string& temporaryDirectory,
             ZipActionCallback* callback = nullptr) {
  WriteFile(root + "/" + name, content);
  ZipWriter writer;
  writer.OpenArchive(archive, ZipWriter::OpenExisting);
  writer.SetRootDirectory(root);
  writer.SetTemporaryDirectory(temporaryDirectory);
  if (callback != nullptr) {
    writer.SetProgressCallback(callback, ZipActionCallback::CallbackAdd | ZipActionCallback::CallbackMoveData);
  }
  AddFileRequest request(root + "/" + name, false);
  request.level = level;
  request.replaceIndex = writer.FindDuplicate(root + "/" + name, false, false, ZipWriter::PredictAuto);
  ASSERT_GE(request.replaceIndex, 0);
  int index = request.replaceIndex;
  int last = writer.EntryCount() - 1;
  ASSERT_TRUE(writer.AddFile(request));
  EXPECT_EQ(last + 1, writer.EntryCount());
  // An earlier entry keeps its place; the last one is appended again.
  EXPECT_EQ(name, EntryName(writer, index == last ? last : index));
  writer.CloseArchive();
}

}  // namespace

TEST(ReplacementTest, ReplacingFirstMiddleOrLastEntryKeepsEveryOtherEntry) {
  struct Size {
    const char* label;
    double factor;
  };
  const Size sizes[] = {{"smaller", 0.3}, {"equal", 1.0}, {"larger", 3.0}};
  const int positions[] = {0, 2, 3};
  for (int level : {-1, 0}) {
    for (int position : positions) {
      for (const Size& size : sizes) {
        SCOPED_TRACE(std::string(size.label) + " entry " + std::to_string(position) + " level " +
                     std::to_string(level));
        TempDir dir;
        Files files = OriginalFiles();
        zip_test::MakeArchive(dir / "a.zip", dir / "src", files);
        ASSERT_TRUE(CreateDirectoryPath(dir / "tmp"));
        std::string& target = files[position].second;
        target = zip_test::NoiseBytes(static_cast<size_t>(target.size() * size.factor), 99) +
                 "replaced";
        Replace(dir / "a.zip", dir / "src", files[position].first, target, level, dir / "tmp");

        EXPECT_ZIP_VALID(dir / "a.zip");
        auto entries = ExternalEntries(dir / "a.zip");
        ASSERT_EQ(files.size(), entries.size());
        for (const auto& file : files) EXPECT_EQ(file.second, entries[file.first].content) << file.first;
        EXPECT_TRUE(DirectoryIsEmpty(dir / "tmp")) << "temporary archive left behind";
      }
    }
  }
}

TEST(ReplacementTest, SameSizedReplacementMovesNothing) {
  TempDir dir;
  Files files = OriginalFiles();
  zip_test::MakeArchive(dir / "a.zip", dir / "src", files, 0);
  std::string before = ReadFile(dir / "a.zip");
  zip_test::RecordingCallback callback;
  std::string content = zip_test::NoiseBytes(5000, 8);
  Replace(dir / "a.zip", dir / "src", "b.bin", content, 0, dir.path(), &callback);

  std::string after = ReadFile(dir / "a.zip");
  ASSERT_EQ(before.size(), after.size());
  size_t bData = 20000 + 30 + 5 + 30 + 5;  // b.bin's data follows a.txt and its own header
  size_t centralDir = zip_test::Le32(before, before.size() - 22 + 16);
  EXPECT_TRUE(before.substr(0, 35 + 20000 + 14) == after.substr(0, 35 + 20000 + 14));
  EXPECT_TRUE(content == after.substr(bData, 5000));
  EXPECT_TRUE(before.substr(bData + 5000, centralDir - bData - 5000) ==
              after.substr(bData + 5000, centralDir - bData - 5000));
  // Only the add was reported: no data was moved.
  EXPECT_EQ("begin b.bin", callback.events.front());
  EXPECT_EQ(1, std::count(callback.events.begin(), callback.events.end(), "end"));
  EXPECT_ZIP_VALID(dir / "a.zip");
}

TEST(ReplacementTest, ReplaceIndexMinusTwoFindsTheEntryByName) {
  TempDir dir;
  Files files = OriginalFiles();
  zip_test::MakeArchive(dir / "a.zip", dir / "src", files);
  WriteFile(dir / "src/a.txt", "new alpha");
  ZipWriter writer;
  writer.OpenArchive(dir / "a.zip", ZipWriter::OpenExisting);
  writer.SetRootDirectory(dir / "src");
  AddFileRequest request(dir / "src/a.txt", false);
  request.replaceIndex = -2;
  ASSERT_TRUE(writer.AddFile(request));
  request.replaceIndex = 17;  // no such entry
  EXPECT_FALSE(writer.AddFile(request));
  EXPECT_EQ(4, writer.EntryCount());
  writer.CloseArchive();
  EXPECT_ZIP_VALID(dir / "a.zip");
  EXPECT_EQ("new alpha", ExternalEntries(dir / "a.zip")["a.txt"].content);
}

TEST(ReplacementTest, UnreadableSourceKeepsTheEntryItWouldReplace) {
  TempDir dir;
  Files files = OriginalFiles();
  zip_test::MakeArchive(dir / "a.zip", dir / "src", files);
  FaultEnv faultEnv;
  faultEnv.FailOpen("d.bin", EACCES);
  platform::Env::Install(&faultEnv);
  {
    ZipWriter writer;
    writer.OpenArchive(dir / "a.zip", ZipWriter::OpenExisting);
    writer.SetRootDirectory(dir / "src");
    AddFileRequest request(dir / "src/d.bin", false);
    request.replaceIndex = writer.FindDuplicate(dir / "src/d.bin", false);
    EXPECT_EQ(3, request.replaceIndex);
    EXPECT_FALSE(writer.AddFile(request));
    EXPECT_EQ(4, writer.EntryCount());
    writer.CloseArchive();
  }
  platform::Env::Install(nullptr);
  EXPECT_ZIP_VALID(dir / "a.zip");
  EXPECT_EQ(files[3].second, ExternalEntries(dir / "a.zip")["d.bin"].content);
}

TEST(ReplacementTest, CompressionGainCheckStoresWhatDoesNotShrink) {
  struct Case {
    const char* label;
    int options;
    bool replace;
  };
  const Case cases[] = {
      {"append", AddFileRequest::OptDefault | AddFileRequest::OptCheckCompressionGain, false},
      {"replace through a temporary file",
       AddFileRequest::OptDefault | AddFileRequest::OptCheckCompressionGain, true},
      {"replace through memory",
       AddFileRequest::OptDefault | AddFileRequest::OptCheckCompressionGain |
           AddFileRequest::OptGainCheckInMemory, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    Files files = OriginalFiles();
    zip_test::MakeArchive(dir / "a.zip", dir / "src", files);
    std::string noise = zip_test::NoiseBytes(70000, 5);
    std::string name = c.replace ? "a.txt" : "new.bin";
    WriteFile(dir / ("src/" + name), noise);
    ZipWriter writer;
    writer.OpenArchive(dir / "a.zip", ZipWriter::OpenExisting);
    writer.SetRootDirectory(dir / "src");
    writer.SetTemporaryDirectory(dir.path());
    AddFileRequest request(dir / ("src/" + name), false);
    request.options = c.options;
    request.level = 9;
    request.replaceIndex = writer.FindDuplicate(dir / ("src/" + name), false);
    ASSERT_TRUE(writer.AddFile(request));
    int index = c.replace ? 0 : 4;
    ZipFileHeader header;
    ASSERT_TRUE(writer.GetEntryInfo(index, &header));
    EXPECT_EQ(name, header.SystemName());
    EXPECT_EQ(0, header.method);
    EXPECT_EQ(70000u, header.compressedSize);
    writer.CloseArchive();
    EXPECT_ZIP_VALID(dir / "a.zip");
    EXPECT_EQ(noise, ExternalEntries(dir / "a.zip")[name].content);
  }
}
