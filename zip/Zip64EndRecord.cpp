#include "zip/Zip64EndRecord.h"

#include "zip/Zip64ExtraField.h"
#include "zip/ZipException.h"
#include "zip/ZipLittleEndian.h"
#include "zip/ZipStorage.h"

namespace {

using zip_le::Get;
using zip_le::Put;

}  // namespace

bool Zip64EndRecord::IsNeeded() const {
  return totalEntries >= Zip64ExtraField::kMax16 ||
         Zip64ExtraField::Overflows(centralDirOffset) || Zip64ExtraField::Overflows(centralDirSize);
}

void Zip64EndRecord::Write(ZipStorage& storage, uint64_t recordOffset) const {
  unsigned char record[kSize + kLocatorSize] = {};
  Put(record, kSignature, 4);
  Put(record + 4, kSize - 12, 8);
  Put(record + 12, Zip64ExtraField::kVersionNeeded, 2);
  Put(record + 14, Zip64ExtraField::kVersionNeeded, 2);
  Put(record + 24, totalEntries, 8);
  Put(record + 32, totalEntries, 8);
  Put(record + 40, centralDirSize, 8);
  Put(record + 48, centralDirOffset, 8);
  unsigned char* locator = record + kSize;
  Put(locator, kLocatorSignature, 4);
  Put(locator + 8, recordOffset, 8);
  Put(locator + 16, 1, 4);  // one disk in all
  storage.Write(record, sizeof record);
}

uint64_t Zip64EndRecord::Read(ZipStorage& storage, uint64_t endRecordPosition) {
  if (endRecordPosition < kLocatorSize + kSize) return UINT64_MAX;
  unsigned char locator[kLocatorSize];
  storage.SeekTo(endRecordPosition - kLocatorSize);
  storage.ReadExact(locator, sizeof locator);
  if (Get(locator, 4) != kLocatorSignature) return UINT64_MAX;
  if (Get(locator + 4, 4) != 0 || Get(locator + 16, 4) > 1) {
    throw ZipException(ZipException::MultiVolumeUnsupported, storage.ArchivePath());
  }
  // The record lies right before its locator, unless it carries extensible
  // data; then the locator's offset (from the start of the file) finds it.
  uint64_t position = endRecordPosition - kLocatorSize - kSize;
  unsigned char record[kSize];
  storage.SeekTo(position);
  storage.ReadExact(record, sizeof record);
  if (Get(record, 4) != kSignature) {
    position = Get(locator + 8, 8);
    if (position + kSize > endRecordPosition) {
      throw ZipException(ZipException::BadArchive, storage.ArchivePath());
    }
    storage.SeekTo(position);
    storage.ReadExact(record, sizeof record);
    if (Get(record, 4) != kSignature) {
      throw ZipException(ZipException::BadArchive, storage.ArchivePath());
    }
  }
  if (Get(record + 16, 4) != 0 || Get(record + 20, 4) != 0) {
    throw ZipException(ZipException::MultiVolumeUnsupported, storage.ArchivePath());
  }
  if (Get(record + 24, 8) != Get(record + 32, 8)) {
    throw ZipException(ZipException::BadArchive, storage.ArchivePath());
  }
  totalEntries = Get(record + 32, 8);
  centralDirSize = Get(record + 40, 8);
  centralDirOffset = Get(record + 48, 8);
  return position;
}
