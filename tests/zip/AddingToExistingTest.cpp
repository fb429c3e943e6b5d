// Opening an existing archive for adding: the old central directory is cut
// and written again, an unchanged archive stays byte for byte the same, the
// archive comment and a stub in front survive; names without the UTF-8 flag
// are found again.
#include <gtest/gtest.h>

#include "tests/zip/ZipTestSupport.h"

using namespace testing_support;
using namespace zip_test;

namespace {

const Files kThreeFiles = {
    {"one.txt", "first file, compressible compressible compressible"},
    {"two.bin", NoiseBytes(3000, 2)},
    {"three.txt", TextBytes(10000)},
};

// Adds `name` with `content` to the existing archive; returns what it should hold.
Files AddOne(const std::string& archive, const std::string& root, Files files,
             const std::string& name, const std::string& content) {
  WriteFile(root + "/" + name, content);
  ZipWriter writer;
  Open(writer, archive, ZipWriter::OpenExisting, root);
  EXPECT_TRUE(writer.AddFile(root + "/" + name));
  writer.CloseArchive();
  files.push_back({name, content});
  return files;
}

void ZipCommand(const std::string& command) {
  std::string output;
  ASSERT_EQ(0, RunCommand(command, &output)) << command << "\n" << output;
}

}  // namespace

TEST(AddingToExistingTest, NewEntryTakesTheOldDirectorysPlaceStubAndCommentSurvive) {
  TempDir dir;
  MakeArchive(dir / "plain.zip", dir / "src", kThreeFiles);
  const std::string comment = "twenty bytes comment";
  ZipCommand("printf %s " + ShellQuote(comment) + " | zip -q -z " + ShellQuote(dir / "plain.zip"));
  // A self-extractor: offsets adjusted to count the stub ("zip -A"), and the
  // raw concatenation whose offsets count from the start of the archive.
  const std::string stub = "#!/bin/sh\necho self-extractor stub\nexit 0\n";
  WriteFile(dir / "adjusted.zip", stub + ReadFile(dir / "plain.zip"));
  ZipCommand("zip -q -A " + ShellQuote(dir / "adjusted.zip"));
  WriteFile(dir / "concatenated.zip", stub + ReadFile(dir / "plain.zip"));
  const std::string before = ReadFile(dir / "adjusted.zip");
  const uint32_t oldCentralDir = Le32(before, before.size() - 42 + 16);

  Files files;
  for (const char* name : {"adjusted.zip", "concatenated.zip"}) {
    files = AddOne(dir / name, dir / "src", kThreeFiles, "four.txt", "fourth");
  }
  // The new entry starts where the old directory did; everything before it,
  // the stub included, is unchanged; the comment is written again.
  std::string after = ReadFile(dir / "adjusted.zip");
  EXPECT_EQ(before.substr(0, oldCentralDir), after.substr(0, oldCentralDir));
  EXPECT_EQ(0x04034b50u, Le32(after, oldCentralDir));
  EXPECT_EQ("four.txt", after.substr(oldCentralDir + 30, 8));
  size_t end = after.size() - 42;
  EXPECT_EQ(oldCentralDir + 30 + 8 + Le32(after, oldCentralDir + 18), Le32(after, end + 16));
  EXPECT_EQ(20u, Le16(after, end + 20));
  EXPECT_EQ(comment, after.substr(end + 22));
  EXPECT_ARCHIVE_HOLDS(dir / "adjusted.zip", files);
  // unzip warns about the concatenated form, Python reads it; its end record
  // still says where the central directory starts after the stub.
  std::string concatenated = ReadFile(dir / "concatenated.zip");
  uint32_t centralDir = Le32(concatenated, concatenated.size() - 42 + 16);
  EXPECT_EQ(stub, concatenated.substr(0, stub.size()));
  EXPECT_EQ(0x02014b50u, Le32(concatenated, stub.size() + centralDir));
  EXPECT_ARCHIVE_HOLDS(dir / "concatenated.zip", files, false);
}

TEST(AddingToExistingTest, OpenAndCloseWithoutChangesKeepsEveryByte) {
  TempDir dir;
  const Files infoZipFiles = {{"x.txt", TextBytes(2000)}, {"y/", ""},
                              {"y/z.bin", NoiseBytes(500, 1)}};
  WriteFile(dir / "src/x.txt", infoZipFiles[0].second);
  WriteFile(dir / "src/y/z.bin", infoZipFiles[2].second);
  ZipCommand("cd " + ShellQuote(dir / "src") + " && echo comment | zip -q -r -z ../infozip.zip . && " +
             "printf 'one\\ntwo\\nthree\\n' | zip -q -c ../infozip.zip x.txt y/ y/z.bin");
  MakeArchive(dir / "ours.zip", dir / "src2", kThreeFiles);
  WriteFile(dir / "empty.zip", std::string("PK\x05\x06", 4) + std::string(18, '\0'));

  // Nothing is forced to disk either: only a changed archive is synced.
  FaultEnv env;
  ScopedEnv installed(&env);
  for (const char* name : {"infozip.zip", "ours.zip", "empty.zip"}) {
    std::string before = ReadFile(dir / name);
    for (ZipOpenMode mode : {ZipWriter::OpenExisting, ZipWriter::OpenReadOnly}) {
      ZipWriter writer;
      writer.OpenArchive(dir / name, mode);
      EXPECT_EQ(name == std::string("empty.zip") ? 0 : 3, writer.EntryCount()) << name;
      writer.CloseArchive();
      EXPECT_EQ(before, ReadFile(dir / name)) << name;
    }
  }
  EXPECT_EQ(0, env.SyncCount() + env.DirectorySyncCount());
  EXPECT_ZIP_VALID(dir / "ours.zip");
  // Adding syncs the journal of the bytes it overwrites and its directory
  // (the journal's name is on disk before the archive changes), then the
  // archive, then the directory once the journal is removed.
  const auto centralDir = [&dir] {
    const std::string bytes = ReadFile(dir / "infozip.zip");
    const size_t end = bytes.rfind("PK\5\6");
    return bytes.substr(Le32(bytes, end + 16), Le32(bytes, end + 12));
  };
  const std::string oldDir = centralDir();
  Files files = AddOne(dir / "infozip.zip", dir / "src", infoZipFiles, "b.txt", "from arkivault");
  EXPECT_EQ(2, env.SyncCount());
  EXPECT_EQ(2, env.DirectorySyncCount());
  // The old entries' central headers, with their extra fields and comments,
  // are written again as they were.
  EXPECT_EQ(oldDir, centralDir().substr(0, oldDir.size()));
  EXPECT_ARCHIVE_HOLDS(dir / "infozip.zip", files);
}

// A name that is not UTF-8 is stored as it is, without flag bit 11, so every
// reader opens the archive; it is found again by the same bytes. A name
// without the flag in an entry made on MS-DOS is read as code page 437.
TEST(AddingToExistingTest, NamesWithoutTheUtf8Flag) {
  TempDir dir;
  const std::string latin1 = "caf\xE9 \xFF.txt";
  MakeArchive(dir / "a.zip", dir / "src", {{"Y.txt", "cp437"}, {latin1, "latin-1 name"}});
  std::string bytes = ReadFile(dir / "a.zip");
  const std::vector<size_t> central = CentralHeaders(bytes);
  const size_t latin1Local = Le32(bytes, central[1] + 42);
  EXPECT_EQ(latin1, bytes.substr(latin1Local + 30, latin1.size()));
  EXPECT_EQ(0u, (Le16(bytes, latin1Local + 6) | Le16(bytes, central[1] + 8)) & 0x0800);
  // Turn "Y" into the code page 437 byte 0x84 ('ä') in both headers, in an
  // entry made on MS-DOS.
  bytes[central[0] + 5] = 0;
  for (size_t at = bytes.find("Y.txt"); at != std::string::npos; at = bytes.find("Y.txt", at)) {
    bytes[at] = '\x84';
  }
  WriteFile(dir / "a.zip", bytes);

  ZipWriter writer;
  Open(writer, dir / "a.zip", ZipWriter::OpenExisting, dir / "src");
  EXPECT_EQ(0, writer.FindDuplicate(dir / "src/\xC3\xA4.txt", false));
  EXPECT_EQ(-1, writer.FindDuplicate(dir / "src/Y.txt", false));
  EXPECT_EQ(1, writer.FindDuplicate(dir / ("src/" + latin1), false));
  writer.CloseArchive();
  EXPECT_EQ(bytes, ReadFile(dir / "a.zip"));
  EXPECT_ZIP_VALID(dir / "a.zip");
}
