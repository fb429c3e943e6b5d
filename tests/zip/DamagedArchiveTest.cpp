// Damaged archives opened for adding are refused with BadArchive or
// EndRecordMissing (or MultiVolumeUnsupported), are left as they were, and
// never crash the writer.
#include <gtest/gtest.h>

#include <functional>

#include "tests/zip/ZipTestSupport.h"

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;
using zip_test::Le32;

namespace {

void Put16(std::string* bytes, size_t offset, uint32_t value) {
  (*bytes)[offset] = static_cast<char>(value);
  (*bytes)[offset + 1] = static_cast<char>(value >> 8);
}

void Put32(std::string* bytes, size_t offset, uint32_t value) {
  Put16(bytes, offset, value & 0xFFFF);
  Put16(bytes, offset + 2, value >> 16);
}

// Opens `path` for adding; returns the exception's code, or 0.
int OpenCode(const std::string& path) {
  ZipWriter writer;
  try {
    writer.OpenArchive(path, ZipWriter::OpenExisting);
  } catch (const ZipException& error) {
    EXPECT_TRUE(writer.IsClosed());
    EXPECT_EQ(path, error.fileName);
    return error.code;
  }
  writer.CloseArchive();
  return 0;
}

}  // namespace

TEST(DamagedArchiveTest, DamagedArchivesAreRefusedAndLeftAsTheyWere) {
  TempDir dir;
  zip_test::MakeArchive(dir / "good.zip", dir / "src",
                        {{"a.txt", "first entry"}, {"b.txt", zip_test::TextBytes(500)}});
  EXPECT_ZIP_VALID(dir / "good.zip");
  const std::string good = ReadFile(dir / "good.zip");
  const size_t end = good.size() - 22;
  const size_t central = Le32(good, end + 16);
  const size_t secondCentral = central + 46 + 5;

  struct Case {
    const char* label;
    std::function<std::string()> make;
    int code;
  };
  const Case cases[] = {
      {"empty file", [] { return std::string(); }, ZipException::EndRecordMissing},
      {"random bytes", [] { return zip_test::NoiseBytes(70000, 11); }, ZipException::EndRecordMissing},
      {"cut before the end record", [&] { return good.substr(0, central + 10); },
       ZipException::EndRecordMissing},
      {"end record cut short", [&] { return good.substr(0, good.size() - 5); },
       ZipException::BadArchive},
      {"ends with the signature only", [] { return std::string("junk") + "PK\x05\x06"; },
       ZipException::BadArchive},
      {"directory offset past the end record",
       [&] { std::string b = good; Put32(&b, end + 16, static_cast<uint32_t>(end)); return b; },
       ZipException::BadArchive},
      {"directory size past the end record",
       [&] { std::string b = good; Put32(&b, end + 12, 0x7FFFFFFF); return b; },
       ZipException::BadArchive},
      {"counts disagree",
       [&] { std::string b = good; Put16(&b, end + 8, 1); return b; }, ZipException::BadArchive},
      {"more entries than headers",
       [&] { std::string b = good; Put16(&b, end + 8, 3); Put16(&b, end + 10, 3); return b; },
       ZipException::BadArchive},
      {"entries but no directory",
       [&] { std::string b = good; Put32(&b, end + 12, 0); Put32(&b, end + 16, static_cast<uint32_t>(end)); return b; },
       ZipException::BadArchive},
      {"two entries at one offset",
       [&] { std::string b = good; Put32(&b, secondCentral + 42, 0); return b; },
       ZipException::BadArchive},
      {"entry offset inside the directory",
       [&] { std::string b = good; Put32(&b, secondCentral + 42, static_cast<uint32_t>(central)); return b; },
       ZipException::BadArchive},
      {"bad central header signature",
       [&] { std::string b = good; b[secondCentral] = 'X'; return b; }, ZipException::BadArchive},
      {"name longer than the directory",
       [&] { std::string b = good; Put16(&b, secondCentral + 28, 0xFFFF); return b; },
       ZipException::BadArchive},
      {"multi-volume end record",
       [&] { std::string b = good; Put16(&b, end + 4, 1); return b; },
       ZipException::MultiVolumeUnsupported},
      {"entry on another volume",
       [&] { std::string b = good; Put16(&b, secondCentral + 34, 2); return b; },
       ZipException::MultiVolumeUnsupported},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::string bytes = c.make();
    WriteFile(dir / "damaged.zip", bytes);
    EXPECT_EQ(c.code, OpenCode(dir / "damaged.zip"));
    EXPECT_TRUE(bytes == ReadFile(dir / "damaged.zip"));
  }
}

TEST(DamagedArchiveTest, MutatedArchivesNeverCrashTheWriter) {
  TempDir dir;
  zip_test::MakeArchive(dir / "good.zip", dir / "src",
                        {{"a.txt", "first entry"}, {"b.txt", zip_test::TextBytes(500)},
                         {"c/d.bin", zip_test::NoiseBytes(300, 4)}});
  EXPECT_ZIP_VALID(dir / "good.zip");
  const std::string good = ReadFile(dir / "good.zip");
  WriteFile(dir / "src/new.txt", "added to a mutated archive");
  uint32_t state = 12345;
  auto next = [&state] { return state = state * 1664525u + 1013904223u; };
  for (int round = 0; round < 300; ++round) {
    std::string bytes = good;
    int flips = 1 + next() % 4;
    for (int i = 0; i < flips; ++i) bytes[next() % bytes.size()] = static_cast<char>(next() >> 24);
    WriteFile(dir / "m.zip", bytes);
    ZipWriter writer;
    try {
      writer.OpenArchive(dir / "m.zip", ZipWriter::OpenExisting);
      writer.SetRootDirectory(dir / "src");
      writer.AddFile(dir / "src/new.txt");
      writer.CloseArchive();
    } catch (const ZipException& error) {
      EXPECT_TRUE(error.code == ZipException::BadArchive ||
                  error.code == ZipException::EndRecordMissing ||
                  error.code == ZipException::MultiVolumeUnsupported)
          << "round " << round << " code " << error.code;
    }
  }
}

TEST(DamagedArchiveTest, MultiVolumeArchivesAreNotCreated) {
  TempDir dir;
  ZipWriter writer;
  try {
    writer.OpenArchive(dir / "volumes.zip", ZipWriter::CreateMultiVolume, 1000000);
    ADD_FAILURE() << "a multi-volume archive was created";
  } catch (const ZipException& error) {
    EXPECT_EQ(ZipException::MultiVolumeUnsupported, error.code);
    EXPECT_EQ(dir / "volumes.zip", error.fileName);
  }
  EXPECT_TRUE(writer.IsClosed());
  EXPECT_FALSE(testing_support::PathExists(dir / "volumes.zip"));
}
