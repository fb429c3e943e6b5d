// File attributes between the platform's attribute word (read-only 0x01,
// hidden 0x02, directory 0x10, archive 0x20) and the forms of the systems an
// archive entry can be made by.
#pragma once

#include <cstdint>

// System compatibility codes (high byte of an entry's versionMadeBy).
enum ZipSystem : int {
  ZipSystemDos = 0,
  ZipSystemUnix = 3,
  ZipSystemOs2 = 6,
  ZipSystemMacintosh = 7,
  ZipSystemNtfs = 10,
  ZipSystemPlatform = ZipSystemDos,  // the running platform's own code
};

// Value of a directory / file whose entry says nothing usable about itself.
constexpr uint32_t kDefaultDirectoryAttributes = 0x41FF0010;
constexpr uint32_t kDefaultFileAttributes = 0x81A40020;

// True for the codes the writer knows: 0, 3, 6, 7 and 10.
bool IsKnownSystem(int system);

// Converts `value` from the form of system `from` to that of system `to`.
// Unchanged when both are equal or either is above 10; throws
// ZipException(SystemUnsupported) when a system in between has no converter.
uint32_t ConvertAttributes(uint32_t value, int from, int to);
