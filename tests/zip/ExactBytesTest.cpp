// The bytes the writer puts on disk: record layout, DOS time, attributes,
// method and flags per level, names.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <zlib.h>

#include "platform/Env.h"
#include "tests/zip/ZipTestSupport.h"
#include "zip/ZipFileHeader.h"
#include "zip/ZipMemFile.h"

using testing_support::ExternalEntries;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;
using zip_test::Le16;
using zip_test::Le32;

namespace {

int64_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  return static_cast<int64_t>(std::mktime(&local));
}

// The central header of the only entry of `bytes`.
size_t OnlyCentralHeader(const std::string& bytes) {
  size_t end = bytes.size() - 22;
  EXPECT_EQ(0x06054b50u, Le32(bytes, end));
  return Le32(bytes, end + 16);
}

}  // namespace

TEST(ExactBytesTest, StoredThreeByteFileIsA111ByteArchive) {
  TempDir dir;
  WriteFile(dir / "src/a.txt", "abc");
  ZipWriter writer;
  writer.OpenArchive(dir / "a.zip", ZipWriter::CreateNew);
  writer.SetRootDirectory(dir / "src");
  ASSERT_TRUE(writer.AddFile(dir / "src/a.txt", -1, false, AddFileRequest::OptDefault, 65536));
  writer.CloseArchive();

  std::string bytes = ReadFile(dir / "a.zip");
  ASSERT_EQ(111u, bytes.size());
  uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>("abc"), 3));
  // Local header and name (35 bytes) and data at offset 0.
  EXPECT_EQ(0x04034b50u, Le32(bytes, 0));
  EXPECT_EQ(20u, Le16(bytes, 4));
  EXPECT_EQ(0u, Le16(bytes, 6));
  EXPECT_EQ(0u, Le16(bytes, 8));
  EXPECT_EQ(crc, Le32(bytes, 14));
  EXPECT_EQ(3u, Le32(bytes, 18));
  EXPECT_EQ(3u, Le32(bytes, 22));
  EXPECT_EQ(5u, Le16(bytes, 26));
  EXPECT_EQ(0u, Le16(bytes, 28));
  EXPECT_EQ("a.txtabc", bytes.substr(30, 8));
  // Central header and name (51 bytes) at offset 38.
  EXPECT_EQ(0x02014b50u, Le32(bytes, 38));
  EXPECT_EQ(0x0014u, Le16(bytes, 38 + 4));
  EXPECT_EQ(20u, Le16(bytes, 38 + 6));
  EXPECT_EQ(crc, Le32(bytes, 38 + 16));
  EXPECT_EQ(3u, Le32(bytes, 38 + 20));
  EXPECT_EQ(3u, Le32(bytes, 38 + 24));
  EXPECT_EQ(5u, Le16(bytes, 38 + 28));
  EXPECT_EQ(0x81B40020u, Le32(bytes, 38 + 38));
  EXPECT_EQ(0u, Le32(bytes, 38 + 42));
  EXPECT_EQ("a.txt", bytes.substr(84, 5));
  // End record at offset 89.
  EXPECT_EQ(0x06054b50u, Le32(bytes, 89));
  EXPECT_EQ(1u, Le16(bytes, 89 + 8));
  EXPECT_EQ(1u, Le16(bytes, 89 + 10));
  EXPECT_EQ(51u, Le32(bytes, 89 + 12));
  EXPECT_EQ(38u, Le32(bytes, 89 + 16));
  EXPECT_EQ(0u, Le16(bytes, 89 + 20));
  EXPECT_ZIP_VALID(dir / "a.zip");
}

TEST(ExactBytesTest, DosDateAndTime) {
  struct Case {
    int64_t time;
    uint16_t date;
    uint16_t dosTime;
  };
  const Case cases[] = {
      {LocalTime(2006, 7, 15, 14, 3, 7), 0x34EF, 0x7063},   // odd seconds round down
      {LocalTime(1980, 1, 1, 0, 0, 0), 0x0021, 0x0000},
      {LocalTime(1979, 12, 31, 23, 59, 59), 0x0021, 0x0000},  // before 1980: the first DOS day
      {LocalTime(2107, 12, 31, 23, 59, 59), 0xFF9F, 0xBF7D},
  };
  for (const Case& c : cases) {
    ZipFileHeader header;
    header.SetTime(c.time);
    EXPECT_EQ(c.date, header.modDate) << c.time;
    EXPECT_EQ(c.dosTime, header.modTime) << c.time;
  }
  ZipFileHeader header;
  header.SetTime(LocalTime(2006, 7, 15, 14, 3, 7));
  EXPECT_EQ(LocalTime(2006, 7, 15, 14, 3, 6), header.GetTime());
}

TEST(ExactBytesTest, ModificationTimeAndAttributesOfAddedEntries) {
  TempDir dir;
  WriteFile(dir / "src/plain.txt", "plain text");
  WriteFile(dir / "src/readonly.txt", "read only");
  WriteFile(dir / "src/.hidden", "hidden");
  WriteFile(dir / "src/stored.txt", "already stored");
  WriteFile(dir / "src/sub/x", "x");
  ASSERT_EQ(0, ::chmod((dir / "src/readonly.txt").c_str(), 0444));
  platform::Env* env = platform::Env::Default();
  platform::FileInfo info;
  ASSERT_EQ(0, env->Stat(dir / "src/stored.txt", &info));
  if (env->MarkArchived(dir / "src/stored.txt", info) != 0) GTEST_SKIP() << "no extended attributes";
  ASSERT_EQ(0, env->SetModificationTime(dir / "src/plain.txt", LocalTime(2006, 7, 15, 14, 3, 7)));

  struct Case {
    const char* path;
    const char* name;
    uint32_t attributes;
  };
  const Case cases[] = {
      {"plain.txt", "plain.txt", 0x81B40020},     // mode 0100664, archive bit
      {"readonly.txt", "readonly.txt", 0x81240021},
      {".hidden", ".hidden", 0x80900022},
      {"stored.txt", "stored.txt", 0x81B40000},   // archive bit cleared by an earlier backup
      {"sub", "sub/", 0x41B40010},
  };
  ZipWriter writer;
  writer.OpenArchive(dir / "t.zip", ZipWriter::CreateNew);
  writer.SetRootDirectory(dir / "src");
  for (const Case& c : cases) ASSERT_TRUE(writer.AddFile(dir / (std::string("src/") + c.path))) << c.path;
  writer.CloseArchive();
  EXPECT_ZIP_VALID(dir / "t.zip");

  auto entries = ExternalEntries(dir / "t.zip");
  for (const Case& c : cases) {
    ASSERT_TRUE(entries.count(c.name)) << c.name;
    EXPECT_EQ(c.attributes, entries[c.name].externalAttr) << c.name;
  }
  EXPECT_TRUE(entries["sub/"].isDirectory);
  std::string bytes = ReadFile(dir / "t.zip");
  EXPECT_EQ(0x34EFu, Le16(bytes, 12));  // plain.txt is the first entry
  EXPECT_EQ(0x7063u, Le16(bytes, 10));
}

TEST(ExactBytesTest, LevelGivesMethodAndFlags) {
  struct Case {
    int level;
    uint16_t method;
    uint16_t flags;
  };
  const Case cases[] = {{0, 0, 0}, {-1, 8, 0}, {1, 8, 6}, {2, 8, 4}, {3, 8, 0},
                        {6, 8, 0}, {7, 8, 0},  {8, 8, 2}, {9, 8, 2}, {42, 8, 0}};
  TempDir dir;
  const std::string content = zip_test::TextBytes(5000);
  for (const Case& c : cases) {
    std::string archive = dir / ("level" + std::to_string(c.level) + ".zip");
    zip_test::MakeArchive(archive, dir / "src", {{"f.txt", content}}, c.level);
    std::string bytes = ReadFile(archive);
    size_t central = OnlyCentralHeader(bytes);
    EXPECT_EQ(c.method, Le16(bytes, 8)) << c.level;
    EXPECT_EQ(c.flags, Le16(bytes, 6)) << c.level;
    EXPECT_EQ(c.method, Le16(bytes, central + 10)) << c.level;
    EXPECT_EQ(c.flags, Le16(bytes, central + 8)) << c.level;
    EXPECT_ZIP_VALID(archive);
    EXPECT_EQ(content, ExternalEntries(archive)["f.txt"].content) << c.level;
  }
}

TEST(ExactBytesTest, TinyAndEmptyFilesAreStored) {
  struct Case {
    const char* content;
    int level;
    uint16_t method;
  };
  const Case cases[] = {{"", -1, 0}, {"abc", 9, 0}, {"abcd", 1, 0}, {"abcde", 9, 8}};
  TempDir dir;
  for (const Case& c : cases) {
    std::string archive = dir / "t.zip";
    zip_test::MakeArchive(archive, dir / "src", {{"f", c.content}}, c.level);
    std::string bytes = ReadFile(archive);
    EXPECT_EQ(c.method, Le16(bytes, 8)) << c.content;
    EXPECT_EQ(std::string(c.content).size(), Le32(bytes, 22)) << c.content;
    EXPECT_ZIP_VALID(archive);
    EXPECT_EQ(c.content, ExternalEntries(archive)["f"].content);
  }
}

TEST(ExactBytesTest, EmptyFileReportsBeginTotalAndEndOnly) {
  TempDir dir;
  WriteFile(dir / "empty", "");
  zip_test::RecordingCallback callback;
  ZipWriter writer;
  writer.OpenArchive(dir / "t.zip", ZipWriter::CreateNew);
  writer.SetProgressCallback(&callback, ZipActionCallback::CallbackAdd);
  ASSERT_TRUE(writer.AddFile(dir / "empty"));
  writer.CloseArchive();
  EXPECT_EQ((std::vector<std::string>{"begin empty", "total 0", "end"}), callback.events);
  EXPECT_ZIP_VALID(dir / "t.zip");
}

TEST(ExactBytesTest, NamesAreUtf8WithFlagBit11AndDirectoriesEndInSlash) {
  struct Case {
    const char* path;   // below the root; a trailing '/' makes a directory
    const char* name;   // as stored
    uint16_t utf8Flag;
    uint16_t versionNeeded;
  };
  const Case cases[] = {
      {"ascii.txt", "ascii.txt", 0, 20},
      {"Größe €.txt", "Größe €.txt", 0x0800, 20},
      {"dir/", "dir/", 0, 10},
      {"Ordner ä/", "Ordner ä/", 0x0800, 10},
      {"back\\slash.txt", "back\\slash.txt", 0, 20},
  };
  TempDir dir;
  for (const Case& c : cases) {
    std::string path = dir / (std::string("src/") + c.path);
    if (path.back() == '/') {
      ASSERT_TRUE(CreateDirectoryPath(path));
    } else {
      WriteFile(path, "content");
    }
    std::string archive = dir / "t.zip";
    ZipWriter writer;
    writer.OpenArchive(archive, ZipWriter::CreateNew);
    writer.SetRootDirectory(dir / "src");
    ASSERT_TRUE(writer.AddFile(path)) << c.path;
    writer.CloseArchive();
    std::string bytes = ReadFile(archive);
    size_t central = OnlyCentralHeader(bytes);
    std::string name(c.name);
    EXPECT_EQ(name, bytes.substr(30, name.size()));
    EXPECT_EQ(c.utf8Flag, Le16(bytes, 6) & 0x0800) << c.path;
    EXPECT_EQ(c.utf8Flag, Le16(bytes, central + 8) & 0x0800) << c.path;
    EXPECT_EQ(c.versionNeeded, Le16(bytes, central + 6)) << c.path;
    if (name.find('\\') == std::string::npos) {
      EXPECT_ZIP_VALID(archive);
    }
    EXPECT_EQ(1u, ExternalEntries(archive).count(name)) << c.path;
  }
}

TEST(ExactBytesTest, EntriesFromOpenFilesWithoutNameAreNumbered) {
  TempDir dir;
  ZipMemFile source;
  source.Write("in memory", 9);
  ZipWriter writer;
  writer.OpenArchive(dir / "t.zip", ZipWriter::CreateNew);
  for (int i = 0; i < 2; ++i) {
    AddFileRequest request;
    request.sourceFile = &source;
    ASSERT_TRUE(writer.AddFile(request));
  }
  writer.CloseArchive();
  EXPECT_ZIP_VALID(dir / "t.zip");
  auto entries = ExternalEntries(dir / "t.zip");
  EXPECT_EQ("in memory", entries["file0"].content);
  EXPECT_EQ("in memory", entries["file1"].content);
  EXPECT_EQ(0x81B40020u, entries["file1"].externalAttr);
}

TEST(ExactBytesTest, LargeFilesDeflateToOneStreamThatReadsBack) {
  TempDir dir;
  // Sizes around the block size of the multi-threaded deflate, and a mix of
  // text and noise so that matches cross block boundaries.
  const size_t sizes[] = {512 * 1024 - 1, 512 * 1024, 3 * 1024 * 1024 + 12345};
  std::vector<std::pair<std::string, std::string>> files;
  for (size_t size : sizes) {
    std::string content = zip_test::TextBytes(size / 2, "large file text ") +
                          zip_test::NoiseBytes(size / 4, static_cast<uint32_t>(size)) +
                          zip_test::TextBytes(size - size / 2 - size / 4, "more text ");
    files.push_back({"f" + std::to_string(size), content});
  }
  for (int level : {-1, 1, 9}) {
    zip_test::MakeArchive(dir / "large.zip", dir / "src", files, level);
    EXPECT_ZIP_VALID(dir / "large.zip");
    auto entries = ExternalEntries(dir / "large.zip");
    for (const auto& file : files) {
      EXPECT_TRUE(file.second == entries[file.first].content) << file.first << " level " << level;
      EXPECT_EQ(8, entries[file.first].compressType);
    }
  }
}
