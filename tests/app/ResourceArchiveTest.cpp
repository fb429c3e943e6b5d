// The built resource archive and icon files as other programs see them: a
// valid ZIP file with the layout and every image under the names the program
// opens, and icon files of the right sizes.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>

#include "tests/app/AppTestSupport.h"
#include "tests/support/ExternalZip.h"

namespace {

const char* const kImages[] = {
    "file_new.png",  "file_copy.png",  "file_delete.png", "file_edit.png",
    "file_full.png", "file_inc.png",   "file_cancel.png", "file_close.png",
    "file_exit.png", "file_open.png",  "help_contents.png", "help_about.png",
};

uint32_t BigEndian32(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

std::string ResourceDir() { return app_test::BinaryDir() + "/res"; }

TEST(ResourceArchiveTest, HoldsTheLayoutAndEveryImage) {
  const std::string archive = ResourceDir() + "/Arkivault.xrs";
  EXPECT_ZIP_VALID(archive);
  const auto entries = testing_support::ExternalEntries(archive);

  std::set<std::string> expected = {"Arkivault.xrc"};
  for (const char* image : kImages) expected.insert(std::string("Arkivault.xrs$") + image);
  std::set<std::string> names;
  for (const auto& entry : entries) names.insert(entry.first);
  EXPECT_EQ(expected, names);

  const std::string sourceDir = std::getenv("ARKIVAULT_SOURCE_DIR");
  EXPECT_EQ(testing_support::ReadFile(sourceDir + "/res/Arkivault.xrc"),
            entries.at("Arkivault.xrc").content);
  for (const char* image : kImages) {
    SCOPED_TRACE(image);
    const std::string& png = entries.at(std::string("Arkivault.xrs$") + image).content;
    EXPECT_EQ(testing_support::ReadFile(sourceDir + "/res/images/" + image), png);
    ASSERT_GE(png.size(), 33u);
    EXPECT_EQ(std::string("\x89PNG\r\n\x1a\n", 8), png.substr(0, 8));
    EXPECT_EQ(16u, BigEndian32(png, 16));  // IHDR width
    EXPECT_EQ(16u, BigEndian32(png, 20));  // IHDR height
  }
}

TEST(ResourceArchiveTest, IconFilesBesideTheArchive) {
  struct Icon {
    std::string name;
    int size;
  };
  const Icon icons[] = {
      {"Backup.ico", 16},     {"BackupRun1.ico", 16}, {"BackupRun2.ico", 16},
      {"BackupRun3.ico", 16}, {"BackupRun4.ico", 16}, {"job.ico", 32},
      {"jobRun1.ico", 32},    {"jobRun2.ico", 32},    {"jobRun3.ico", 32},
      {"jobRun4.ico", 32},
  };
  std::set<std::string> pictures;
  for (const Icon& icon : icons) {
    SCOPED_TRACE(icon.name);
    const std::string bytes = testing_support::ReadFile(ResourceDir() + "/" + icon.name);
    ASSERT_GE(bytes.size(), 22u);
    EXPECT_EQ(std::string("\0\0\1\0\1\0", 6), bytes.substr(0, 6));  // an icon file, one image
    EXPECT_EQ(icon.size, static_cast<unsigned char>(bytes[6]));      // width
    EXPECT_EQ(icon.size, static_cast<unsigned char>(bytes[7]));      // height
    pictures.insert(bytes);
  }
  // Every animation frame differs from the others.
  EXPECT_EQ(std::size(icons), pictures.size());
}

}  // namespace
