// Checks archives with readers nobody here wrote: Info-ZIP unzip, 7-Zip,
// libarchive's bsdtar and Python's zipfile.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace testing_support {

// One entry as Python's zipfile sees it.
struct ExternalEntry {
  std::string content;  // the decompressed bytes (CRC-checked by the reader)
  uint32_t externalAttr = 0;
};

// The command for Python 3: the system's own interpreter where there is one,
// since a version manager's shim on the path costs a dozen processes a call.
std::string Python();

// Runs every available outside tester on `archivePath` ("unzip -t", "7zz t",
// "bsdtar -tf" and Python's zipfile testzip). Returns an empty string when all
// of them accept it, else their complaints.
std::string ExternalCheck(const std::string& archivePath);

// Reads every entry through Python's zipfile (which checks each CRC), keyed by
// the stored name. Fails the current test when the archive does not read.
std::map<std::string, ExternalEntry> ExternalEntries(const std::string& archivePath);

}  // namespace testing_support

// Asserts inside a test that every outside reader accepts the archive.
#define EXPECT_ZIP_VALID(path) EXPECT_EQ("", ::testing_support::ExternalCheck(path)) << (path)
