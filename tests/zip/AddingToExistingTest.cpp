// Opening an existing archive for adding: the old central directory is cut
// and written again, an unchanged archive stays byte for byte the same, the
// archive comment and foreign data in front survive.
#include <gtest/gtest.h>

#include "tests/zip/ZipTestSupport.h"

using testing_support::ExternalEntries;
using testing_support::ReadFile;
using testing_support::RunCommand;
using testing_support::ShellQuote;
using testing_support::TempDir;
using testing_support::WriteFile;
using zip_test::Le16;
using zip_test::Le32;

namespace {

const std::vector<std::pair<std::string, std::string>> kThreeFiles = {
    {"one.txt", "first file, compressible compressible compressible"},
    {"two.bin", zip_test::NoiseBytes(3000, 2)},
    {"three.txt", zip_test::TextBytes(10000)},
};

void AddOne(const std::string& archive, const std::string& root, const std::string& name,
            const std::string& content) {
  WriteFile(root + "/" + name, content);
  ZipWriter writer;
  writer.OpenArchive(archive, ZipWriter::OpenExisting);
  writer.SetRootDirectory(root);
  ASSERT_TRUE(writer.AddFile(root + "/" + name));
  writer.CloseArchive();
}

}  // namespace

TEST(AddingToExistingTest, NewEntryReplacesOldCentralDirectoryWhichIsWrittenAgain) {
  TempDir dir;
  zip_test::MakeArchive(dir / "a.zip", dir / "src", kThreeFiles);
  std::string before = ReadFile(dir / "a.zip");
  uint32_t oldCentralDir = Le32(before, before.size() - 22 + 16);

  AddOne(dir / "a.zip", dir / "src", "four.txt", "fourth");
  std::string after = ReadFile(dir / "a.zip");
  EXPECT_EQ(before.substr(0, oldCentralDir), after.substr(0, oldCentralDir));
  EXPECT_EQ(0x04034b50u, Le32(after, oldCentralDir));
  EXPECT_EQ("four.txt", after.substr(oldCentralDir + 30, 8));
  size_t end = after.size() - 22;
  EXPECT_EQ(4u, Le16(after, end + 10));
  EXPECT_EQ(oldCentralDir + 30 + 8 + Le32(after, oldCentralDir + 18), Le32(after, end + 16));
  EXPECT_ZIP_VALID(dir / "a.zip");
  auto entries = ExternalEntries(dir / "a.zip");
  ASSERT_EQ(4u, entries.size());
  for (const auto& file : kThreeFiles) EXPECT_EQ(file.second, entries[file.first].content);
  EXPECT_EQ("fourth", entries["four.txt"].content);
}

TEST(AddingToExistingTest, OpenAndCloseWithoutChangesKeepsEveryByte) {
  TempDir dir;
  WriteFile(dir / "src/x.txt", zip_test::TextBytes(2000));
  WriteFile(dir / "src/y/z.bin", zip_test::NoiseBytes(500, 1));
  std::string output;
  ASSERT_EQ(0, RunCommand("cd " + ShellQuote(dir / "src") +
                          " && echo 'a comment' | zip -q -r -z ../infozip.zip .", &output))
      << output;
  zip_test::MakeArchive(dir / "ours.zip", dir / "src2", kThreeFiles);
  WriteFile(dir / "empty.zip", std::string("PK\x05\x06", 4) + std::string(18, '\0'));

  for (const char* name : {"infozip.zip", "ours.zip", "empty.zip"}) {
    std::string before = ReadFile(dir / name);
    for (ZipOpenMode mode : {ZipWriter::OpenExisting, ZipWriter::OpenReadOnly}) {
      ZipWriter writer;
      writer.OpenArchive(dir / name, mode);
      writer.CloseArchive();
      EXPECT_EQ(before, ReadFile(dir / name)) << name;
    }
  }
  EXPECT_ZIP_VALID(dir / "ours.zip");
}

TEST(AddingToExistingTest, ArchiveCommentSurvivesAdding) {
  TempDir dir;
  zip_test::MakeArchive(dir / "a.zip", dir / "src", kThreeFiles);
  const std::string comment = "twenty bytes comment";
  ASSERT_EQ(20u, comment.size());
  std::string output;
  ASSERT_EQ(0, RunCommand("printf %s " + ShellQuote(comment) + " | zip -q -z " +
                          ShellQuote(dir / "a.zip"), &output)) << output;

  AddOne(dir / "a.zip", dir / "src", "four.txt", "fourth");
  std::string after = ReadFile(dir / "a.zip");
  ASSERT_GT(after.size(), 42u);
  EXPECT_EQ(comment, after.substr(after.size() - 20));
  EXPECT_EQ(20u, Le16(after, after.size() - 22));
  EXPECT_EQ(0x06054b50u, Le32(after, after.size() - 42));
  EXPECT_ZIP_VALID(dir / "a.zip");
  EXPECT_EQ(4u, ExternalEntries(dir / "a.zip").size());
}

TEST(AddingToExistingTest, ArchiveWithStubInFrontStaysValid) {
  TempDir dir;
  zip_test::MakeArchive(dir / "plain.zip", dir / "src", kThreeFiles);
  const std::string stub = "#!/bin/sh\necho self-extractor stub\nexit 0\n";
  // A self-extractor: offsets adjusted to count the stub ("zip -A"), and the
  // raw concatenation whose offsets count from the start of the archive.
  WriteFile(dir / "adjusted.zip", stub + ReadFile(dir / "plain.zip"));
  std::string output;
  ASSERT_EQ(0, RunCommand("zip -q -A " + ShellQuote(dir / "adjusted.zip"), &output)) << output;
  WriteFile(dir / "concatenated.zip", stub + ReadFile(dir / "plain.zip"));

  for (const char* name : {"adjusted.zip", "concatenated.zip"}) {
    AddOne(dir / name, dir / "src", "four.txt", "fourth");
    std::string after = ReadFile(dir / name);
    EXPECT_EQ(stub, after.substr(0, stub.size())) << name;
    auto entries = ExternalEntries(dir / name);
    ASSERT_EQ(4u, entries.size()) << name;
    for (const auto& file : kThreeFiles) EXPECT_EQ(file.second, entries[file.first].content);
    EXPECT_EQ("fourth", entries["four.txt"].content);
  }
  // Outside readers accept the self-extractor form without complaint.
  EXPECT_ZIP_VALID(dir / "adjusted.zip");
  // The concatenated form keeps offsets relative to the archive: the end record
  // still says where the central directory starts after the stub.
  std::string concatenated = ReadFile(dir / "concatenated.zip");
  uint32_t centralDir = Le32(concatenated, concatenated.size() - 22 + 16);
  EXPECT_EQ(0x02014b50u, Le32(concatenated, stub.size() + centralDir));
}

TEST(AddingToExistingTest, InfoZipArchiveGetsEntriesInItsSystemsForm) {
  TempDir dir;
  WriteFile(dir / "src/a.txt", "from info-zip");
  std::string output;
  ASSERT_EQ(0, RunCommand("cd " + ShellQuote(dir / "src") + " && zip -q ../i.zip a.txt", &output))
      << output;
  AddOne(dir / "i.zip", dir / "src", "b.txt", "from arkivault");
  EXPECT_ZIP_VALID(dir / "i.zip");
  auto entries = ExternalEntries(dir / "i.zip");
  EXPECT_EQ("from info-zip", entries["a.txt"].content);
  EXPECT_EQ("from arkivault", entries["b.txt"].content);
  // Info-ZIP marks its entries as made on Unix; new entries follow that system,
  // with the Unix mode in the high word.
  EXPECT_EQ(0x81B40000u, entries["b.txt"].externalAttr);
}

TEST(AddingToExistingTest, NamesWithoutUtf8FlagAreReadAsCodePage437) {
  TempDir dir;
  zip_test::MakeArchive(dir / "a.zip", dir / "src", {{"Y.txt", "cp437"}});
  // Turn the name into the code page 437 byte 0x84 ('ä') in both headers.
  std::string bytes = ReadFile(dir / "a.zip");
  for (size_t at = bytes.find("Y.txt"); at != std::string::npos; at = bytes.find("Y.txt", at)) {
    bytes[at] = '\x84';
  }
  WriteFile(dir / "a.zip", bytes);

  ZipWriter writer;
  writer.OpenArchive(dir / "a.zip", ZipWriter::OpenExisting);
  writer.SetRootDirectory(dir / "src");
  EXPECT_EQ(0, writer.FindDuplicate(dir / "src/\xC3\xA4.txt", false));
  EXPECT_EQ(-1, writer.FindDuplicate(dir / "src/Y.txt", false));
  writer.CloseArchive();
  EXPECT_EQ(bytes, ReadFile(dir / "a.zip"));
  EXPECT_ZIP_VALID(dir / "a.zip");
}
