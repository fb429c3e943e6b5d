// libFuzzer target: arbitrary bytes as the journal beside a real archive,
// then the archive is recovered. The journal's device and inode are made the
// archive's, so the fuzzer reaches the check of its contents; when bit 0 of
// its first device byte is set, the check covers nothing as well, so that the
// records are played back. A journal that is not played back must leave the
// archive byte for byte as it was; one that is must leave it at the length
// its header names. Anything but a ZipException is a failure.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/Env.h"
#include "tests/support/TempDir.h"
#include "zip/ZipException.h"
#include "zip/ZipJournal.h"
#include "zip/ZipLittleEndian.h"

namespace {

constexpr size_t kHeaderSize = 44;

std::string JournalFor(const uint8_t* data, size_t size, const platform::FileInfo& archive) {
  std::string journal(reinterpret_cast<const char*>(data), size);
  if (size < kHeaderSize || journal.compare(0, 4, "AKJ2") != 0) return journal;
  auto* header = reinterpret_cast<unsigned char*>(&journal[0]);
  const bool checkNothing = (header[4] & 1) != 0;
  zip_le::Put64(header + 4, archive.device);
  zip_le::Put64(header + 12, archive.inode);
  if (checkNothing) {
    zip_le::Put64(header + 28, zip_le::Get64(header + 20));
    zip_le::Put32(header + 36, 0);
  }
  zip_le::Put32(header + 40, crc32(0, header, kHeaderSize - 4));
  return journal;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string original = testing_support::ReadFile(ARKIVAULT_FUZZ_ARCHIVE);
  static testing_support::TempDir dir;
  const std::string archive = dir / "a.zip";
  testing_support::WriteFile(archive, original);
  platform::FileInfo info;
  if (platform::Env::Default()->LinkStat(archive, &info) != 0) std::abort();
  testing_support::WriteFile(ZipJournal::PathFor(archive), JournalFor(data, size, info));
  ZipJournal::Recovery recovery = ZipJournal::Recovery::None;
  try {
    recovery = RecoverPendingJournal(archive);
  } catch (const ZipException&) {
    return 0;
  }
  const std::string after = testing_support::ReadFile(archive);
  if (recovery != ZipJournal::Recovery::PlayedBack && after != original) std::abort();
  if (recovery == ZipJournal::Recovery::PlayedBack &&
      after.size() != zip_le::Get64(reinterpret_cast<const unsigned char*>(data) + 20)) {
    std::abort();
  }
  platform::Env::Default()->RemoveFile(ZipJournal::SetAsidePathFor(archive));
  return 0;
}
