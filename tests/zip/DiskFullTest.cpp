// A full disk while writing: code 28 (ENOSPC) with the file's path, the
// unfinished entry dropped, nothing leaked; once there is room again the
// archive closes with the entries finished before.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>

#include "tests/zip/ZipTestSupport.h"

using namespace testing_support;
using namespace zip_test;

namespace {

// Writes `count` files of poorly compressible bytes below `root`.
Files NoiseFiles(const std::string& root, int count, size_t size) {
  Files files;
  for (int i = 0; i < count; ++i) {
    files.push_back({"f" + std::to_string(i), NoiseBytes(size, static_cast<uint32_t>(i))});
    WriteFile(root + "/" + files.back().first, files.back().second);
  }
  return files;
}

// Adds each file until one throws.
Thrown AddAll(ZipWriter& writer, const std::string& root, const Files& files) {
  return ThrownBy([&] {
    for (const auto& file : files) writer.AddFile(root + "/" + file.first);
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
    Files files = NoiseFiles(dir / "src", 4, 100000);
    InstalledFaultEnv fault;
    fault.env.FailWritesAfter("a.zip", c.budget);
    ZipWriter writer;
    Open(writer, dir / "a.zip", ZipWriter::CreateNew, dir / "src");
    Thrown thrown = AddAll(writer, dir / "src", files);
    EXPECT_EQ(ENOSPC, thrown.code);
    EXPECT_EQ(dir / "a.zip", thrown.fileName);
    EXPECT_EQ(c.finished, writer.EntryCount());
    fault.env.Heal();  // room again
    writer.CloseArchive();
    EXPECT_ARCHIVE_HOLDS(dir / "a.zip", Files(files.begin(), files.begin() + c.finished));
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
  thrown = ThrownBy([&] { writer.OpenArchive(dir / "b.zip", ZipWriter::CreateNew); });
  EXPECT_EQ(EACCES, thrown.code);
  EXPECT_EQ(dir / "b.zip", thrown.fileName);
  EXPECT_TRUE(writer.IsClosed());
  thrown = ThrownBy([&] { writer.OpenArchive(dir / "missing/c.zip", ZipWriter::CreateNew); });
  EXPECT_EQ(ENOENT, thrown.code);
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
  Files files = NoiseFiles(dir / "src", 6, 70000);
  {
    ZipWriter writer;
    Open(writer, mountPoint + "/a.zip", ZipWriter::CreateNew, dir / "src");
    Thrown thrown = AddAll(writer, dir / "src", files);
    EXPECT_EQ(ENOSPC, thrown.code);
    EXPECT_EQ(mountPoint + "/a.zip", thrown.fileName);
    EXPECT_GT(writer.EntryCount(), 0);
    // The unfinished entry was cut off, which gives room for the directory.
    writer.CloseArchive();
  }
  EXPECT_ZIP_VALID(mountPoint + "/a.zip");
  const std::string archive = mountPoint + "/a.zip";
  const std::string before = ReadFile(archive);
  Files held;
  for (const auto& file : ExternalEntries(archive)) held.push_back({file.first, file.second.content});
  // Adding when the disk fills in the new entry, its journal or the central
  // directory: the previous archive stays, or the new one is complete.
  WriteFile(dir / "src/new.bin", NoiseBytes(3000, 42));
  for (uint64_t room : {0, 200, 2000, 3500, 5000, 12000}) {
    SCOPED_TRACE("room " + std::to_string(room));
    WriteFile(archive, before);
    RunCommand("rm -f " + ShellQuote(mountPoint) + "/fill*");
    const uint64_t free = FreeSpaceOnVolume(mountPoint);
    if (free > room) {
      RunCommand("head -c " + std::to_string(free - room) + " /dev/zero > " +
                 ShellQuote(mountPoint + "/fill"));
    }
    ZipWriter writer;
    Open(writer, archive, ZipWriter::OpenExisting, dir / "src");
    Thrown thrown = ThrownBy([&] {
      writer.AddFile(dir / "src/new.bin");
      writer.CloseArchive();
    });
    EXPECT_TRUE(thrown.code == 0 || thrown.code == ENOSPC) << thrown.code;
    writer.CloseArchive(true);
    RunCommand("rm -f " + ShellQuote(mountPoint) + "/fill*");
    ZipWriter next;
    next.OpenArchive(archive, ZipWriter::OpenExisting);
    next.CloseArchive();
    if (ReadFile(archive) != before) {
      Files grown = held;
      grown.push_back({"new.bin", ReadFile(dir / "src/new.bin")});
      EXPECT_ARCHIVE_HOLDS(archive, grown);
    }
  }
}

// A disk that fills at any point of an add or a replacement, the central
// directory included: once closed (and opened again once there is room), the
// archive is the one before or the one after, byte for byte.
TEST(DiskFullTest, FullDiskAnywhereLeavesTheArchiveBeforeOrAfter) {
  struct Case {
    const char* label;
    const char* name;
    int level;
  };
  const Case cases[] = {{"add", "new.bin", -1},
                        {"replace an earlier entry in place", "f1", 0},
                        {"replace an earlier entry through a temporary archive", "f1", -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    Files files = NoiseFiles(dir / "src", 3, 40000);
    MakeArchive(dir / "base.zip", dir / "src", files, c.level);
    const std::string before = ReadFile(dir / "base.zip");
    WriteFile(dir / (std::string("src/") + c.name), NoiseBytes(60000, 9));
    ASSERT_TRUE(CreateDirectoryPath(dir / "tmp"));
    const auto addAndClose = [&](InstalledFaultEnv& fault, uint64_t budget) {
      WriteFile(dir / "a.zip", before);
      fault.env.Heal();
      fault.env.FailWritesAfter("a.zip", budget);
      ZipWriter writer;
      Thrown thrown = ThrownBy([&] {
        Open(writer, dir / "a.zip", ZipWriter::OpenExisting, dir / "src", dir / "tmp");
        writer.AddFile(ReplacingRequest(writer, dir / (std::string("src/") + c.name), c.level));
      });
      Thrown closing = ThrownBy([&] { writer.CloseArchive(); });
      if (thrown.code == 0) thrown = closing;
      EXPECT_TRUE(thrown.code == 0 || thrown.code == ENOSPC) << thrown.code;
      // Room again: the next run's open finishes what a full disk stopped.
      fault.env.Heal();
      ZipWriter next;
      next.OpenArchive(dir / "a.zip", ZipWriter::OpenExisting);
      next.CloseArchive();
      return ReadFile(dir / "a.zip");
    };
    InstalledFaultEnv fault;
    const std::string after = addAndClose(fault, UINT64_MAX / 2);
    EXPECT_ZIP_VALID(dir / "a.zip");
    for (uint64_t budget = 0; budget < after.size() + 70000; budget += 4099) {
      SCOPED_TRACE("budget " + std::to_string(budget));
      const std::string result = addAndClose(fault, budget);
      EXPECT_TRUE(result == before || result == after);
    }
  }
}
