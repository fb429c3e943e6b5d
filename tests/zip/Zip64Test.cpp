// ZIP64: entries over 4 GiB and an archive whose entries lie past 4 GiB.
// (More than 65,535 entries: NamesAndLookupTest; archives with ZIP64 records
// made by Info-ZIP, added to and replaced in: ReaderTest.)
#include <gtest/gtest.h>

#include "tests/zip/ZipTestSupport.h"

using namespace testing_support;
using namespace zip_test;

namespace {

constexpr uint64_t kGiB = 1ull << 30;

// A sparse file of `size` bytes that begins and ends with `mark`.
void MakeSparseFile(const std::string& path, uint64_t size, const std::string& mark) {
  WriteFile(path, mark);
  ASSERT_EQ(0, RunCommand("truncate -s " + std::to_string(size - mark.size()) + " " +
                          ShellQuote(path) + " && printf %s " + ShellQuote(mark) + " >> " +
                          ShellQuote(path)));
}

// Name, size and CRC-32 of every entry as Python's zipfile reads them, and
// the content of `small` (the large entries are not read here).
std::string Listing(const std::string& archive, const std::string& small) {
  std::string output;
  EXPECT_EQ(0, RunCommand(Python() + " -c 'import sys, zipfile\n"
                          "z = zipfile.ZipFile(sys.argv[1])\n"
                          "for i in z.infolist(): print(i.filename, i.file_size, \"%08x\" % i.CRC)\n"
                          "print(z.read(sys.argv[2]).decode())' " +
                              ShellQuote(archive) + " " + ShellQuote(small), &output));
  return output;
}

}  // namespace

// One archive: an entry just over 4 GiB deflated (ZIP64 sizes in both
// headers), three stored entries of 1.375 GiB that carry the archive past
// 4 GiB (ZIP64 offsets and end record), a small entry after them; reopened,
// a file is added at the end and the small entry replaced. 7-Zip checks every
// CRC (the other readers check the smaller ZIP64 archives of ReaderTest: each
// of them would spend half a minute here).
TEST(Zip64Test, EntriesAndArchivesOverFourGiB) {
#ifdef ARKIVAULT_SANITIZED_BUILD
  GTEST_SKIP() << "reads and checks 9 GiB: left to the normal build";
#endif
  TempDir dir;
  if (platform::Env::Default()->FreeSpace(dir.path()) < 5 * kGiB) {
    GTEST_SKIP() << "needs 5 GiB free in " << dir.path();
  }
  const uint64_t hugeSize = 4 * kGiB + 65536;
  MakeSparseFile(dir / "src/huge.bin", hugeSize, "head and tail of the huge file");
  for (const char* name : {"s1.bin", "s2.bin", "s3.bin"}) {
    MakeSparseFile(dir / (std::string("src/") + name), 11 * kGiB / 8, name);
  }
  WriteFile(dir / "src/small.txt", "small file after 4 GiB");
  WriteFile(dir / "src/later.txt", "added to the ZIP64 archive");
  {
    ZipWriter writer;
    Open(writer, dir / "big.zip", ZipWriter::CreateNew, dir / "src");
    ASSERT_TRUE(writer.AddFile(dir / "src/huge.bin", 1));
    for (const char* name : {"s1.bin", "s2.bin", "s3.bin"}) {
      ASSERT_TRUE(writer.AddFile(dir / (std::string("src/") + name), 0));
    }
    ASSERT_TRUE(writer.AddFile(dir / "src/small.txt", 0));
    writer.CloseArchive();
  }
  {
    WriteFile(dir / "src/small.txt", "replaced");
    ZipWriter writer;
    Open(writer, dir / "big.zip", ZipWriter::OpenExisting, dir / "src");
    ASSERT_EQ(5, writer.EntryCount());
    EXPECT_EQ(hugeSize, Entry(writer, 0).uncompressedSize);
    EXPECT_GT(Entry(writer, 4).localHeaderOffset, 4 * kGiB);
    ASSERT_TRUE(writer.AddFile(dir / "src/later.txt"));
    AddFileRequest request = ReplacingRequest(writer, dir / "src/small.txt", 0);
    ASSERT_EQ(4, request.replaceIndex);
    ASSERT_TRUE(writer.AddFile(request));
    writer.CloseArchive();
  }
  std::string complaints;
  EXPECT_EQ(0, RunCommand("7zz t -bd -bso0 -bsp0 " + ShellQuote(dir / "big.zip"), &complaints))
      << complaints;
  const std::string listing = Listing(dir / "big.zip", "small.txt");
  EXPECT_NE(std::string::npos, listing.find("huge.bin " + std::to_string(hugeSize))) << listing;
  EXPECT_NE(std::string::npos, listing.find("later.txt 26")) << listing;
  EXPECT_NE(std::string::npos, listing.find("\nreplaced")) << listing;
}
