// What keeps an archive intact besides crash recovery: one writer at a time,
// new archives written under a temporary name and put in place only when
// complete, entries checked on disk before they are overwritten, and damaged
// archives refused with BadArchive or EndRecordMissing (or
// MultiVolumeUnsupported) and left as they were. Randomly changed archives
// are the fuzz target's work (OpenArchiveFuzzer.cpp).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "tests/zip/ZipTestSupport.h"
#include "zip/ZipReader.h"

using namespace testing_support;
using namespace zip_test;

namespace {

const Files kFiles = {{"a.txt", TextBytes(3000, "alpha ")},
                      {"b.bin", NoiseBytes(2000, 5)},
                      {"c.txt", TextBytes(4000, "gamma ")}};

}  // namespace

TEST(ArchiveSafetyTest, SecondWriterIsRefusedAtOnceInThisOrAnotherProcess) {
  TempDir dir;
  MakeArchive(dir / "a.zip", dir / "src", kFiles);
  const std::string before = ReadFile(dir / "a.zip");
  int ready[2], release[2];
  ASSERT_EQ(0, ::pipe(ready));
  ASSERT_EQ(0, ::pipe(release));
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The other run: holds the archive open for adding until released (or
    // the test's end closes the pipe), a minute at most.
    ::alarm(60);
    ::close(ready[0]);
    ::close(release[1]);
    ZipWriter writer;
    writer.OpenArchive(dir / "a.zip", ZipWriter::OpenExisting);
    char byte = 1;
    if (::write(ready[1], &byte, 1) != 1 || ::read(release[0], &byte, 1) != 1) ::_exit(2);
    writer.CloseArchive();
    ::_exit(0);
  }
  ::close(ready[1]);
  ::close(release[0]);
  char byte = 0;
  ASSERT_EQ(1, ::read(ready[0], &byte, 1)) << "the other process did not open the archive";
  for (ZipOpenMode mode : {ZipWriter::OpenExisting, ZipWriter::CreateNew, ZipWriter::OpenReadOnly}) {
    EXPECT_EQ(ZipException::ArchiveInUse, OpenThrown(dir / "a.zip", mode).code) << static_cast<int>(mode);
  }
  ASSERT_EQ(1, ::write(release[1], &byte, 1));
  int status = -1;
  ASSERT_EQ(child, ::waitpid(child, &status, 0));
  EXPECT_EQ(0, status);
  EXPECT_EQ(before, ReadFile(dir / "a.zip"));
  EXPECT_FALSE(testing_support::PathExists(dir / "a.zip.partial"));

  // Within one process too; readers share the archive, but exclude writers.
  ZipWriter first;
  first.OpenArchive(dir / "a.zip", ZipWriter::OpenExisting);
  EXPECT_EQ(ZipException::ArchiveInUse, OpenThrown(dir / "a.zip", ZipWriter::OpenExisting).code);
  first.CloseArchive();
  ZipWriter reader;
  reader.OpenArchive(dir / "a.zip", ZipWriter::OpenReadOnly);
  EXPECT_EQ(0, OpenThrown(dir / "a.zip", ZipWriter::OpenReadOnly).code);
  EXPECT_EQ(ZipException::ArchiveInUse, OpenThrown(dir / "a.zip", ZipWriter::CreateNew).code);
  reader.CloseArchive();
  EXPECT_ARCHIVE_HOLDS(dir / "a.zip", kFiles);
}

// A new archive over an existing one appears only at commit; until then, and
// whenever the commit does not happen, the existing archive stays as it was.
TEST(ArchiveSafetyTest, NewArchiveTakesThePlaceOfTheOldOneOnlyWhenCommitted) {
  struct Case { const char* label; bool retire, failRename, afterError, committed; };
  const Case cases[] = {{"replaced", false, false, false, true},
                        {"retired", true, false, false, true},
                        {"closed after an error", true, false, true, false},
                        {"retire name refused", true, true, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    MakeArchive(dir / "a.zip", dir / "old", kFiles);
    const std::string old = ReadFile(dir / "a.zip");
    WriteFile(dir / "new/n.txt", "new archive");
    InstalledFaultEnv fault;
    if (c.failRename) fault.env.FailRename("(old 1)", EACCES);
    ZipWriter writer;
    Open(writer, dir / "a.zip", ZipWriter::CreateNew, dir / "new");
    if (c.retire) writer.SetRetirePath(dir / "a (old 1).zip");
    ASSERT_TRUE(writer.AddFile(dir / "new/n.txt"));
    EXPECT_EQ(old, ReadFile(dir / "a.zip"));
    Thrown thrown = ThrownBy([&] { writer.CloseArchive(c.afterError); });
    EXPECT_EQ(c.failRename ? ZipException::RenameFailed : 0, thrown.code);
    EXPECT_FALSE(testing_support::PathExists(dir / "a.zip.partial"));
    if (c.committed) {
      EXPECT_ARCHIVE_HOLDS(dir / "a.zip", (Files{{"n.txt", "new archive"}}));
    } else {
      EXPECT_EQ(old, ReadFile(dir / "a.zip"));
    }
    EXPECT_EQ(c.retire && c.committed ? old : "", ReadFile(dir / "a (old 1).zip"));
  }
}

// Before an entry is overwritten, moved or cut off, its local header and the
// next entry's must agree with the central directory; a damaged offset is
// refused with BadArchive and nothing is written.
TEST(ArchiveSafetyTest, DamagedOffsetIsRefusedBeforeAnythingIsOverwritten) {
  // `damaged`: the entry whose central offset is moved into its predecessor's data.
  struct Case { const char* label; int damaged, replaced, level; };
  const Case cases[] = {{"replaced entry, stored in place", 1, 1, 0},
                        {"replaced entry, through a temporary archive", 1, 1, -1},
                        {"entry after the replaced one", 2, 1, 0},
                        {"last entry, cut off", 2, 2, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    MakeArchive(dir / "a.zip", dir / "src", kFiles);
    std::string bytes = ReadFile(dir / "a.zip");
    const size_t offsetField = CentralHeaders(bytes)[c.damaged] + 42;
    bytes = Patched(bytes, offsetField, 4, Le32(bytes, offsetField) - 10);
    WriteFile(dir / "a.zip", bytes);
    WriteFile(dir / ("src/" + kFiles[c.replaced].first), "replacement");
    ZipWriter writer;
    Open(writer, dir / "a.zip", ZipWriter::OpenExisting, dir / "src", dir.path());
    Thrown thrown = ThrownBy([&] {
      writer.AddFile(ReplacingRequest(writer, dir / ("src/" + kFiles[c.replaced].first), c.level));
    });
    EXPECT_EQ(ZipException::BadArchive, thrown.code);
    EXPECT_EQ(dir / "a.zip", thrown.fileName);
    writer.CloseArchive();
    EXPECT_EQ(bytes, ReadFile(dir / "a.zip"));
  }
}

TEST(DamagedArchiveTest, DamagedArchivesAreRefusedAndLeftAsTheyWere) {
  TempDir dir;
  MakeArchive(dir / "good.zip", dir / "src", kFiles);
  const std::string good = ReadFile(dir / "good.zip");
  const size_t end = good.size() - 22;
  const size_t central = Le32(good, end + 16);
  const size_t secondCentral = central + 46 + 5;

  struct Case { const char* label; std::string bytes; int code; };
  const int kBad = ZipException::BadArchive;
  const int kNoEnd = ZipException::EndRecordMissing;
  const int kVolumes = ZipException::MultiVolumeUnsupported;
  const Case cases[] = {
      {"empty file", "", kNoEnd},
      {"random bytes", NoiseBytes(70000, 11), kNoEnd},
      {"cut before the end record", good.substr(0, central + 10), kNoEnd},
      {"end record cut short", good.substr(0, good.size() - 5), kBad},
      {"ends with the signature only", "junkPK\x05\x06", kBad},
      {"directory offset past the end record", Patched(good, end + 16, 4, end), kBad},
      {"directory size past the end record", Patched(good, end + 12, 4, 0x7FFFFFFF), kBad},
      {"counts disagree", Patched(good, end + 8, 2, 1), kBad},
      {"more entries than headers", Patched(Patched(good, end + 8, 2, 4), end + 10, 2, 4), kBad},
      {"entries but no directory", Patched(Patched(good, end + 12, 4, 0), end + 16, 4, end), kBad},
      {"two entries at one offset", Patched(good, secondCentral + 42, 4, 0), kBad},
      {"entry offset inside the directory", Patched(good, secondCentral + 42, 4, central), kBad},
      {"bad central header signature", Patched(good, secondCentral, 1, 'X'), kBad},
      {"name longer than the directory", Patched(good, secondCentral + 28, 2, 0xFFFF), kBad},
      {"multi-volume end record", Patched(good, end + 4, 2, 1), kVolumes},
      {"entry on another volume", Patched(good, secondCentral + 34, 2, 2), kVolumes},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    WriteFile(dir / "damaged.zip", c.bytes);
    EXPECT_EQ(c.code, OpenThrown(dir / "damaged.zip", ZipWriter::OpenExisting).code);
    EXPECT_TRUE(c.bytes == ReadFile(dir / "damaged.zip"));
    ZipReader reader;
    EXPECT_EQ(c.code, ThrownBy([&] { reader.Open(dir / "damaged.zip"); }).code);
  }
  // Nor is a multi-volume archive created.
  EXPECT_EQ(kVolumes, OpenThrown(dir / "volumes.zip", ZipWriter::CreateMultiVolume).code);
  EXPECT_FALSE(testing_support::PathExists(dir / "volumes.zip"));
}
