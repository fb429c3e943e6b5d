#include "zip/ZipAttributes.h"

#include "zip/ZipException.h"

namespace {

constexpr int kHighestSystem = 10;

uint32_t Unchanged(uint32_t value) { return value; }

uint32_t PlatformToUnix(uint32_t value) {
  uint32_t result = 0;
  if ((value & 0x02) == 0) result |= 0x01240000;  // r--r--r--
  if ((value & 0x01) == 0) result |= 0x00900000;  // -w--w----
  result |= (value & 0x10) != 0 ? 0x40000010 : 0x80000000;
  return result;
}

uint32_t UnixToPlatform(uint32_t value) {
  uint32_t result = 0;
  if ((value & 0x40000000) != 0) result |= 0x10;
  if ((value & 0x00400000) == 0) result |= 0x20;  // owner cannot execute
  if ((value & 0x00800000) == 0) result |= 0x01;  // owner cannot write
  if ((value & 0x01000000) == 0) result |= 0x02;  // owner cannot read
  return result;
}

uint32_t MacintoshBits(uint32_t value) { return value & 0x11; }

using Converter = uint32_t (*)(uint32_t);
struct ConverterPair {
  Converter toPlatform;
  Converter fromPlatform;
};

// Indexed by system code; null where the system has no converter.
const ConverterPair kConverters[kHighestSystem + 1] = {
    {Unchanged, Unchanged},            // 0 MS-DOS
    {nullptr, nullptr},                // 1 Amiga
    {nullptr, nullptr},                // 2 OpenVMS
    {UnixToPlatform, PlatformToUnix},  // 3 Unix
    {nullptr, nullptr},                // 4 VM/CMS
    {nullptr, nullptr},                // 5 Atari
    {Unchanged, Unchanged},            // 6 OS/2 HPFS
    {MacintoshBits, MacintoshBits},    // 7 Macintosh
    {nullptr, nullptr},                // 8 Z-System
    {nullptr, nullptr},                // 9 CP/M
    {Unchanged, Unchanged},            // 10 Windows NTFS
};

}  // namespace

bool IsKnownSystem(int system) {
  return system == ZipSystemDos || system == ZipSystemUnix || system == ZipSystemOs2 ||
         system == ZipSystemMacintosh || system == ZipSystemNtfs;
}

uint32_t ConvertAttributes(uint32_t value, int from, int to) {
  if (from == to || from < 0 || to < 0 || from > kHighestSystem || to > kHighestSystem) {
    return value;
  }
  Converter toPlatform = kConverters[from].toPlatform;
  Converter fromPlatform = kConverters[to].fromPlatform;
  if (toPlatform == nullptr || fromPlatform == nullptr) {
    throw ZipException(ZipException::SystemUnsupported, "");
  }
  return fromPlatform(toPlatform(value));
}
