// A full disk while writing: code 28 (ENOSPC) with the file's path, the
// unfinished entries dropped, nothing leaked; once there is room again the
// archive closes with the entries finished before. (A full disk at any point
// of an add or a replacement: CrashTest.)
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>

#include "tests/zip/ZipTestSupport.h"

using namespace testing_support;
using namespace zip_test;

TEST(DiskFullTest, FullDiskWhileAddingGivesCode28AndKeepsFinishedEntries) {
  // Write budgets that run out in the second file's data, in the third
  // file's data and near the second file's end; last a real file
  // system of 256 KiB (budget 0), where cutting the unfinished entries off
  // gives room for the directory.
  const std::pair<uint64_t, int> cases[] = {{150000, 1}, {280000, 2}, {65536 * 3 + 12 + 5, 1}, {0, 2}};
  for (const auto& [budget, finished] : cases) {
    SCOPED_TRACE("budget " + std::to_string(budget));
    TempDir dir;
    Files files = NoiseFiles(dir / "src", "f", 4, 100000);
    const std::string archive = dir / (budget > 0 ? "a.zip" : "small/a.zip");
    ASSERT_TRUE(CreateDirectoryPath(dir / "small"));
    if (budget == 0 && (::geteuid() != 0 || RunCommand("mount -t tmpfs -o size=256k tmpfs " +
                                                       ShellQuote(dir / "small")) != 0)) {
      GTEST_SKIP() << "cannot mount a small tmpfs here";
    }
    struct Unmount {
      std::string path;
      ~Unmount() { RunCommand("umount " + ShellQuote(path) + " 2>/dev/null"); }
    } unmount{dir / "small"};
    InstalledFaultEnv fault;
    if (budget > 0) fault.env.FailWritesAfter("a.zip", budget);
    ZipWriter writer;
    Open(writer, archive, ZipWriter::CreateNew, dir / "src");
    Thrown thrown = ThrownBy([&] {
      for (const auto& file : files) writer.AddFile(dir / ("src/" + file.first));
      writer.CloseArchive();  // at the latest for an entry still being compressed
    });
    EXPECT_EQ(ENOSPC, thrown.code);
    EXPECT_EQ(archive, thrown.fileName);
    EXPECT_EQ(finished, writer.EntryCount());
    fault.env.Heal();  // room again, but for the real file system
    writer.CloseArchive();
    EXPECT_ARCHIVE_HOLDS(archive, Files(files.begin(), files.begin() + finished));
  }
}

TEST(DiskFullTest, FailuresOutsideAnEntryGiveErrnoAndPath) {
  TempDir dir;
  WriteFile(dir / "src/small.txt", "small");
  InstalledFaultEnv fault;
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
  EXPECT_EQ(EACCES, OpenThrown(dir / "b.zip", ZipWriter::CreateNew).code);
  EXPECT_EQ(ENOENT, OpenThrown(dir / "missing/c.zip", ZipWriter::CreateNew).code);
}
