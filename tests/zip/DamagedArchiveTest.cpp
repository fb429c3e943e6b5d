// Damaged archives opened for adding are refused with BadArchive or
// EndRecordMissing (or MultiVolumeUnsupported) and are left as they were;
// multi-volume archives are not created either. Randomly changed archives are
// the fuzz target's work (OpenArchiveFuzzer.cpp).
#include <gtest/gtest.h>

#include "tests/zip/ZipTestSupport.h"

using namespace testing_support;
using namespace zip_test;

TEST(DamagedArchiveTest, DamagedArchivesAreRefusedAndLeftAsTheyWere) {
  TempDir dir;
  MakeArchive(dir / "good.zip", dir / "src",
              {{"a.txt", "first"}, {"b.txt", TextBytes(500)}, {"c/d.bin", NoiseBytes(300, 4)}});
  EXPECT_ZIP_VALID(dir / "good.zip");
  const std::string good = ReadFile(dir / "good.zip");
  const size_t end = good.size() - 22;
  const size_t central = Le32(good, end + 16);
  const size_t secondCentral = central + 46 + 5;

  struct Case {
    const char* label;
    std::string bytes;
    int code;
  };
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
  }
  // Nor is a multi-volume archive created.
  EXPECT_EQ(kVolumes, OpenThrown(dir / "volumes.zip", ZipWriter::CreateMultiVolume).code);
  EXPECT_FALSE(testing_support::PathExists(dir / "volumes.zip"));
}
