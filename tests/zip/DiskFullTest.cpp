// A full disk while writing: code 28 (ENOSPC) with the file's path, the
// unfinished entry dropped, nothing leaked; once there is room again the
// archive closes with the entries finished before.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>

#include "tests/zip/ZipTestSupport.h"

using testing_support::RunCommand;
using testing_support::ShellQuote;
using testing_support::TempDir;
using testing_support::WriteFile;
using zip_test::Thrown;
using zip_test::ThrownBy;

namespace {

// Writes `count` files of poorly compressible bytes below `root`; returns their paths.
std::vector<std::string> NoiseFiles(const std::string& root, int count, size_t size) {
  std::vector<std::string> paths;
  for (int i = 0; i < count; ++i) {
    paths.push_back(root + "/f" + std::to_string(i));
    WriteFile(paths.back(), zip_test::NoiseBytes(size, static_cast<uint32_t>(i)));
  }
  return paths;
}

// Adds each file until one throws.
Thrown AddAll(ZipWriter& writer, const std::vector<std::string>& paths) {
  return ThrownBy([&] {
    for (const std::string& path : paths) writer.AddFile(path);
  });
}

}  // namespace

TEST(DiskFullTest, FullDiskWhileAddingGivesCode28AndKeepsFinishedEntries) {
  // Write budgets that run out in the second file's data, in the third
  // file's data and while the second file's sizes are written into its header.
  struct Case {
    uint64_t budget;
    int finished;
  };
  const Case cases[] = {{150000, 1}, {250000, 2}, {65536 * 3 + 12 + 5, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE("budget " + std::to_string(c.budget));
    TempDir dir;
    std::vector<std::string> paths = NoiseFiles(dir / "src", 4, 100000);
    zip_test::InstalledFaultEnv fault;
    fault.env.FailWritesAfter("a.zip", c.budget);
    ZipWriter writer;
    zip_test::Open(writer, dir / "a.zip", ZipWriter::CreateNew, dir / "src");
    Thrown thrown = AddAll(writer, paths);
    EXPECT_EQ(ENOSPC, thrown.code);
    EXPECT_EQ(dir / "a.zip", thrown.fileName);
    EXPECT_EQ(c.finished, writer.EntryCount());
    fault.env.Heal();  // room again
    writer.CloseArchive();
    zip_test::Files finished;
    for (int i = 0; i < c.finished; ++i) {
      finished.push_back({"f" + std::to_string(i), zip_test::NoiseBytes(100000, i)});
    }
    EXPECT_ARCHIVE_HOLDS(dir / "a.zip", finished);
  }
}

TEST(DiskFullTest, FailuresOutsideAnEntryGiveErrnoAndPath) {
  TempDir dir;
  WriteFile(dir / "src/small.txt", "small");
  zip_test::InstalledFaultEnv fault;
  // The central directory does not fit: the file is closed all the same.
  fault.env.FailWritesAfter("a.zip", 10);
  ZipWriter writer;
  writer.OpenArchive(dir / "a.zip", ZipWriter::CreateNew);
  ASSERT_TRUE(writer.AddFile(dir / "src/small.txt"));
  Thrown thrown = ThrownBy([&] { writer.CloseArchive(); });
  EXPECT_EQ(ENOSPC, thrown.code);
  EXPECT_EQ(dir / "a.zip", thrown.fileName);
  EXPECT_TRUE(writer.IsClosed());
  // The archive cannot be created.
  fault.env.FailOpen("b.zip", EACCES);
  thrown = ThrownBy([&] { writer.OpenArchive(dir / "b.zip", ZipWriter::CreateNew); });
  EXPECT_EQ(EACCES, thrown.code);
  EXPECT_EQ(dir / "b.zip", thrown.fileName);
  EXPECT_TRUE(writer.IsClosed());
  thrown = ThrownBy([&] { writer.OpenArchive(dir / "missing/c.zip", ZipWriter::CreateNew); });
  EXPECT_EQ(ENOENT, thrown.code);
}

TEST(DiskFullTest, FullDiskForTheTemporaryArchiveKeepsTheReplacedEntry) {
  TempDir dir;
  const zip_test::Files files = {{"a.txt", "old a"}, {"b.txt", "old b"}, {"c.txt", "old c"}};
  zip_test::MakeArchive(dir / "a.zip", dir / "src", files);
  WriteFile(dir / "src/a.txt", zip_test::TextBytes(200000));
  {
    zip_test::InstalledFaultEnv fault;
    fault.env.FailWritesAfter("AKZ", 0);
    ZipWriter writer;
    zip_test::Open(writer, dir / "a.zip", ZipWriter::OpenExisting, dir / "src");
    writer.SetTemporaryDirectory(dir / "src");
    AddFileRequest request(dir / "src/a.txt", false);
    request.replaceIndex = writer.FindDuplicate(dir / "src/a.txt", false);
    Thrown thrown = ThrownBy([&] { writer.AddFile(request); });
    EXPECT_EQ(ENOSPC, thrown.code);
    EXPECT_NE(std::string::npos, thrown.fileName.find("/AKZ")) << thrown.fileName;
    writer.CloseArchive();
  }
  EXPECT_ARCHIVE_HOLDS(dir / "a.zip", files);
  std::string listing;
  RunCommand("ls " + ShellQuote(dir / "src"), &listing);
  EXPECT_EQ(std::string::npos, listing.find("AKZ")) << listing;
}

TEST(DiskFullTest, RealSmallFileSystemFillsUp) {
  TempDir dir;
  std::string mountPoint = dir / "small";
  ASSERT_TRUE(CreateDirectoryPath(mountPoint));
  if (::geteuid() != 0 ||
      RunCommand("mount -t tmpfs -o size=256k tmpfs " + ShellQuote(mountPoint)) != 0) {
    GTEST_SKIP() << "cannot mount a small tmpfs here";
  }
  struct Unmount {
    std::string path;
    ~Unmount() { RunCommand("umount " + ShellQuote(path)); }
  } unmount{mountPoint};
  std::vector<std::string> paths = NoiseFiles(dir / "src", 6, 70000);
  {
    ZipWriter writer;
    zip_test::Open(writer, mountPoint + "/a.zip", ZipWriter::CreateNew, dir / "src");
    Thrown thrown = AddAll(writer, paths);
    EXPECT_EQ(ENOSPC, thrown.code);
    EXPECT_EQ(mountPoint + "/a.zip", thrown.fileName);
    EXPECT_GT(writer.EntryCount(), 0);
    // The unfinished entry was cut off, which gives room for the directory.
    writer.CloseArchive();
  }
  EXPECT_ZIP_VALID(mountPoint + "/a.zip");
}
