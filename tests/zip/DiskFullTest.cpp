// A full disk while writing: code 28 (ENOSPC) with the file's path, the
// unfinished entry dropped, nothing leaked; once there is room again the
// archive closes with the entries finished before.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Env.h"
#include "tests/support/FaultEnv.h"
#include "tests/zip/ZipTestSupport.h"

using testing_support::ExternalEntries;
using testing_support::FaultEnv;
using testing_support::RunCommand;
using testing_support::ShellQuote;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// Installs a FaultEnv for the lifetime of the object.
class InstalledFaultEnv {
 public:
  InstalledFaultEnv() { platform::Env::Install(&env); }
  ~InstalledFaultEnv() { platform::Env::Install(nullptr); }
  FaultEnv env;
};

// Adds each file; returns the code of the first exception (0 if none) and the
// number of files added before it.
int AddAll(ZipWriter& writer, const std::vector<std::string>& paths, int* added,
           std::string* fileName) {
  *added = 0;
  for (const std::string& path : paths) {
    try {
      if (writer.AddFile(path)) ++*added;
    } catch (const ZipException& error) {
      *fileName = error.fileName;
      return error.code;
    }
  }
  return 0;
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
    std::vector<std::string> paths;
    for (int i = 0; i < 4; ++i) {
      paths.push_back(dir / ("src/f" + std::to_string(i)));
      WriteFile(paths.back(), zip_test::NoiseBytes(100000, static_cast<uint32_t>(i)));
    }
    InstalledFaultEnv fault;
    fault.env.FailWritesAfter("a.zip", c.budget);
    ZipWriter writer;
    writer.OpenArchive(dir / "a.zip", ZipWriter::CreateNew);
    writer.SetRootDirectory(dir / "src");
    int added = 0;
    std::string fileName;
    EXPECT_EQ(ENOSPC, AddAll(writer, paths, &added, &fileName));
    EXPECT_EQ(dir / "a.zip", fileName);
    EXPECT_EQ(c.finished, writer.EntryCount());
    fault.env.Heal();  // room again
    writer.CloseArchive();
    EXPECT_ZIP_VALID(dir / "a.zip");
    auto entries = ExternalEntries(dir / "a.zip");
    EXPECT_EQ(static_cast<size_t>(c.finished), entries.size());
  }
}

TEST(DiskFullTest, FullDiskWhileClosingGivesCode28AndClosesTheFile) {
  TempDir dir;
  WriteFile(dir / "src/small.txt", "small");
  InstalledFaultEnv fault;
  fault.env.FailWritesAfter("a.zip", 10);
  ZipWriter writer;
  writer.OpenArchive(dir / "a.zip", ZipWriter::CreateNew);
  ASSERT_TRUE(writer.AddFile(dir / "src/small.txt"));
  try {
    writer.CloseArchive();
    ADD_FAILURE() << "no error";
  } catch (const ZipException& error) {
    EXPECT_EQ(ENOSPC, error.code);
    EXPECT_EQ(dir / "a.zip", error.fileName);
  }
  EXPECT_TRUE(writer.IsClosed());
}

TEST(DiskFullTest, FullDiskForTheTemporaryArchiveKeepsTheReplacedEntry) {
  TempDir dir;
  zip_test::MakeArchive(dir / "a.zip", dir / "src",
                        {{"a.txt", "old a"}, {"b.txt", "old b"}, {"c.txt", "old c"}});
  WriteFile(dir / "src/a.txt", zip_test::TextBytes(200000));
  InstalledFaultEnv fault;
  fault.env.FailWritesAfter("AKZ", 0);
  ZipWriter writer;
  writer.OpenArchive(dir / "a.zip", ZipWriter::OpenExisting);
  writer.SetRootDirectory(dir / "src");
  writer.SetTemporaryDirectory(dir / "src");
  AddFileRequest request(dir / "src/a.txt", false);
  request.replaceIndex = writer.FindDuplicate(dir / "src/a.txt", false);
  try {
    writer.AddFile(request);
    ADD_FAILURE() << "no error";
  } catch (const ZipException& error) {
    EXPECT_EQ(ENOSPC, error.code);
    EXPECT_NE(std::string::npos, error.fileName.find("/AKZ")) << error.fileName;
  }
  writer.CloseArchive();
  EXPECT_ZIP_VALID(dir / "a.zip");
  auto entries = ExternalEntries(dir / "a.zip");
  EXPECT_EQ("old a", entries["a.txt"].content);
  EXPECT_EQ(3u, entries.size());
  std::string listing;
  RunCommand("ls " + ShellQuote(dir / "src"), &listing);
  EXPECT_EQ(std::string::npos, listing.find("AKZ")) << listing;
}

TEST(DiskFullTest, ArchiveThatCannotBeCreatedGivesErrnoAndPath) {
  TempDir dir;
  InstalledFaultEnv fault;
  fault.env.FailOpen("a.zip", EACCES);
  ZipWriter writer;
  try {
    writer.OpenArchive(dir / "a.zip", ZipWriter::CreateNew);
    ADD_FAILURE() << "no error";
  } catch (const ZipException& error) {
    EXPECT_EQ(EACCES, error.code);
    EXPECT_EQ(dir / "a.zip", error.fileName);
  }
  EXPECT_TRUE(writer.IsClosed());
  try {
    writer.OpenArchive(dir / "missing/b.zip", ZipWriter::CreateNew);
    ADD_FAILURE() << "no error";
  } catch (const ZipException& error) {
    EXPECT_EQ(ENOENT, error.code);
  }
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
  std::vector<std::string> paths;
  for (int i = 0; i < 6; ++i) {
    paths.push_back(dir / ("src/f" + std::to_string(i)));
    WriteFile(paths.back(), zip_test::NoiseBytes(70000, static_cast<uint32_t>(i)));
  }
  {
    ZipWriter writer;
    writer.OpenArchive(mountPoint + "/a.zip", ZipWriter::CreateNew);
    writer.SetRootDirectory(dir / "src");
    int added = 0;
    std::string fileName;
    EXPECT_EQ(ENOSPC, AddAll(writer, paths, &added, &fileName));
    EXPECT_EQ(mountPoint + "/a.zip", fileName);
    EXPECT_GT(writer.EntryCount(), 0);
    // The unfinished entry was cut off, which gives room for the directory.
    writer.CloseArchive();
  }
  EXPECT_ZIP_VALID(mountPoint + "/a.zip");
}
