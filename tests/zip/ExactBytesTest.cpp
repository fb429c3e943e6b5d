// The bytes the writer puts on disk: record layout, DOS time, attributes,
// method and flags per level, names.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <iterator>
#include <zlib.h>

#include "tests/zip/ZipTestSupport.h"
#include "zip/ZipMemFile.h"

using namespace testing_support;
using namespace zip_test;

namespace {

int64_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm local{};
  local.tm_year = year - 1900, local.tm_mon = month - 1, local.tm_mday = day;
  local.tm_hour = hour, local.tm_min = minute, local.tm_sec = second, local.tm_isdst = -1;
  return static_cast<int64_t>(std::mktime(&local));
}

}  // namespace

TEST(ExactBytesTest, StoredThreeByteFileIsA111ByteArchive) {
  TempDir dir;
  WriteFile(dir / "src/a.txt", "abc");
  ASSERT_EQ(0, ::chmod((dir / "src/a.txt").c_str(), 0644));
  ASSERT_EQ(0, platform::Env::Default()->SetModificationTime(dir / "src/a.txt",
                                                              LocalTime(2006, 7, 15, 14, 3, 7)));
  ZipWriter writer;
  Open(writer, dir / "a.zip", ZipWriter::CreateNew, dir / "src");
  ASSERT_TRUE(writer.AddFile(dir / "src/a.txt", -1, false, AddFileRequest::OptDefault, 65536));
  writer.CloseArchive();

  // DOS time and date of 2006-07-15 14:03:07 (odd seconds round down), CRC, sizes.
  uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>("abc"), 3));
  const std::string timeCrcSizes = Le(0x7063, 2) + Le(0x34EF, 2) + Le(crc, 4) + Le(3, 4) + Le(3, 4);
  // Version 2.0, no flags, stored; name length 5, no extra field.
  const std::string local = Le(0x04034b50, 4) + Le(20, 2) + Le(0, 4) + timeCrcSizes + Le(5, 2) +
                            Le(0, 2) + "a.txt" + "abc";
  // Made by 2.0 on Unix; no extra field or comment, disk 0, internal
  // attributes 0; mode 0100644 and the archive bit; local header at 0.
  const std::string central = Le(0x02014b50, 4) + Le(0x0314, 2) + Le(20, 2) + Le(0, 4) +
                              timeCrcSizes + Le(5, 2) + Le(0, 8) + Le(0x81A40020, 4) + Le(0, 4) +
                              "a.txt";
  // One entry, a 51-byte directory at offset 38, no comment.
  const std::string end = Le(0x06054b50, 4) + Le(0, 4) + Le(1, 2) + Le(1, 2) + Le(51, 4) +
                          Le(38, 4) + Le(0, 2);
  EXPECT_EQ(local + central + end, ReadFile(dir / "a.zip"));
  EXPECT_ZIP_VALID(dir / "a.zip");
}

// Times outside the DOS range are clamped to its first or last second. Every
// half hour of a year, in zones with summer time, written as a DOS time and
// read back: the same local time, at most the repeated hour away.
TEST(ExactBytesTest, DosTimesClampAndReadBackAsTheLocalTimeWritten) {
  // DOS date and time words of the first DOS second, and of the last.
  const std::pair<int64_t, uint32_t> cases[] = {
      {LocalTime(1980, 1, 1, 0, 0, 0), 0x00210000}, {LocalTime(1979, 12, 31, 23, 59, 59), 0x00210000},
      {0, 0x00210000}, {LocalTime(2107, 12, 31, 23, 59, 59), 0xFF9FBF7D},
      {LocalTime(2150, 6, 1, 12, 0, 0), 0xFF9FBF7D}};
  for (const auto& [time, dateAndTime] : cases) {
    ZipFileHeader header;
    header.SetTime(time);
    EXPECT_EQ(dateAndTime, (static_cast<uint32_t>(header.modDate) << 16) | header.modTime) << time;
  }
  for (const char* zone : {"Europe/Berlin", "America/New_York", "Australia/Sydney", "UTC"}) {
    setenv("TZ", zone, 1);
    tzset();
    for (time_t t = LocalTime(2026, 1, 1, 0, 0, 0); t < LocalTime(2027, 1, 1, 0, 0, 0); t += 1800) {
      ZipFileHeader header;
      header.SetTime(t);
      const time_t read = static_cast<time_t>(header.GetTime());
      std::tm expected{}, got{};
      localtime_r(&t, &expected);
      localtime_r(&read, &got);
      ASSERT_TRUE(expected.tm_yday == got.tm_yday && expected.tm_hour == got.tm_hour &&
                  expected.tm_min == got.tm_min && std::abs(read - t) <= 3600)
          << zone << " " << t << " read back as " << read;
    }
  }
}

// One archive with an entry per row: text at every level, files too small to
// deflate, and large files around the block size of the multi-threaded
// deflate (text and noise mixed, so that matches cross block boundaries).
TEST(ExactBytesTest, LevelGivesMethodAndFlags) {
  struct Case { int level; size_t size; uint16_t method, flags; };
  std::vector<Case> cases = {{0, 5000, 0, 0}, {-1, 5000, 8, 0}, {1, 5000, 8, 6}, {2, 5000, 8, 4},
                             {3, 5000, 8, 0}, {6, 5000, 8, 0},  {7, 5000, 8, 0}, {8, 5000, 8, 2},
                             {9, 5000, 8, 2}, {42, 5000, 8, 0},
                             {-1, 0, 0, 0},   {9, 3, 0, 0},     {1, 4, 0, 0},    {9, 5, 8, 2}};
  // More small files than are compressed ahead at once, then large ones between them.
  for (size_t size = 3000; size < 3300; ++size) cases.push_back({9, size, 8, 2});
  for (const Case& large : {Case{-1, 0, 8, 0}, Case{1, 0, 8, 6}, Case{9, 0, 8, 2}}) {
    for (size_t size : {512 * 1024 - 1, 512 * 1024, 3 * 1024 * 1024 + 12345}) {
      cases.push_back({large.level, size, large.method, large.flags});
    }
  }
  TempDir dir;
  Files files;
  ZipWriter writer;
  Open(writer, dir / "t.zip", ZipWriter::CreateNew, dir / "src");
  for (const Case& c : cases) {
    std::string name = "f" + std::to_string(files.size());
    const size_t half = c.size / 2, quarter = c.size / 4;
    files.push_back({name, c.size < 100000 ? TextBytes(c.size)
                                           : TextBytes(half, "large file text ") +
                                                 NoiseBytes(quarter, static_cast<uint32_t>(c.size)) +
                                                 TextBytes(c.size - half - quarter, "more ")});
    WriteFile(dir / ("src/" + name), files.back().second);
    // An empty file is begun, given its total and ended, with no progress.
    RecordingCallback callback;
    writer.SetProgressCallback(&callback, ZipActionCallback::CallbackAdd);
    ASSERT_TRUE(writer.AddFile(dir / ("src/" + name), c.level)) << name;
    writer.SetProgressCallback(nullptr, ZipActionCallback::CallbackAdd);
    if (c.size == 0) {
      EXPECT_EQ((std::vector<std::string>{"begin " + name, "total 0", "end"}), callback.events);
    }
  }
  writer.CloseArchive();

  std::string bytes = ReadFile(dir / "t.zip");
  std::vector<size_t> central = CentralHeaders(bytes);
  ASSERT_EQ(cases.size(), central.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE("level " + std::to_string(c.level) + " size " + std::to_string(c.size));
    size_t local = Le32(bytes, central[i] + 42);
    // The flags word, then the method, in both headers.
    EXPECT_EQ(c.flags | c.method << 16u, Le32(bytes, local + 6));
    EXPECT_EQ(c.flags | c.method << 16u, Le32(bytes, central[i] + 8));
    if (c.method == 0) {
      EXPECT_EQ(c.size, Le32(bytes, local + 18));
    }
  }
  EXPECT_ARCHIVE_HOLDS(dir / "t.zip", files);
}

// Entries are made by Unix with the file's mode in the high word and the
// attribute word in the low byte; a name gets flag bit 11 only when it is
// UTF-8 and not ASCII.
TEST(ExactBytesTest, NamesAndModesOfAddedEntries) {
  TempDir dir;
  // A file an earlier backup stored has its archive bit cleared, where the
  // file system has extended attributes.
  WriteFile(dir / "src/stored.txt", "stored.txt");
  platform::Env* env = platform::Env::Default();
  platform::FileInfo info;
  ASSERT_EQ(0, env->Stat(dir / "src/stored.txt", &info));
  bool marked = env->MarkArchived(dir / "src/stored.txt", info) == 0;

  // The path below the root and as stored (a trailing '/' makes a directory).
  struct Case { const char* path; mode_t mode; uint16_t utf8Flag, versionNeeded; uint32_t attributes; };
  const Case cases[] = {
      {"plain.txt", 0644, 0, 20, 0x81A40020},  // archive bit
      {"Größe €.txt", 0644, 0x0800, 20, 0x81A40020},
      {"run.sh", 0755, 0, 20, 0x81ED0020},
      {"dir/", 0755, 0, 10, 0x41ED0010},
      {"Ordner ä/", 0700, 0x0800, 10, 0x41C00010},
      {"readonly.txt", 0444, 0, 20, 0x81240021},
      {".hidden", 0600, 0, 20, 0x81800022},
      {"stored.txt", 0644, 0, 20, marked ? 0x81A40000u : 0x81A40020u},
  };
  Files files;
  ZipWriter writer;
  Open(writer, dir / "t.zip", ZipWriter::CreateNew, dir / "src");
  for (const Case& c : cases) {
    std::string path = dir / (std::string("src/") + c.path);
    bool directory = path.back() == '/';
    files.push_back({c.path, directory ? "" : c.path});
    if (directory) {
      ASSERT_TRUE(CreateDirectoryPath(path));
    } else if (!testing_support::PathExists(path)) {
      WriteFile(path, c.path);
    }
    ASSERT_EQ(0, ::chmod(path.c_str(), c.mode));
    ASSERT_TRUE(writer.AddFile(path)) << c.path;
  }
  // An entry from an open file without a name is numbered.
  ZipMemFile source;
  source.Write("in memory", 9);
  AddFileRequest request;
  request.sourceFile = &source;
  ASSERT_TRUE(writer.AddFile(request));
  files.push_back({"file8", "in memory"});
  writer.CloseArchive();

  std::string bytes = ReadFile(dir / "t.zip");
  std::vector<size_t> central = CentralHeaders(bytes);
  ASSERT_EQ(files.size(), central.size());
  auto entries = EXPECT_ARCHIVE_HOLDS(dir / "t.zip", files);
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    size_t local = Le32(bytes, central[i] + 42);
    EXPECT_EQ(c.path, bytes.substr(local + 30, std::string(c.path).size()));
    EXPECT_EQ(c.utf8Flag, Le16(bytes, local + 6) & 0x0800) << c.path;
    EXPECT_EQ(c.utf8Flag, Le16(bytes, central[i] + 8) & 0x0800) << c.path;
    EXPECT_EQ(0x0314u, Le16(bytes, central[i] + 4)) << c.path;  // made by Unix, 2.0
    EXPECT_EQ(c.versionNeeded, Le16(bytes, central[i] + 6)) << c.path;
    EXPECT_EQ(c.attributes, entries[c.path].externalAttr) << c.path;
  }
  EXPECT_EQ(0x81A40020u, entries["file8"].externalAttr);
}
