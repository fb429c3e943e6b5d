// The one exception the ZIP writer throws. It carries a number and the file it
// concerns, no text: whoever reports the error to a user makes the words.
#pragma once

#include <exception>
#include <string>

class ZipException : public std::exception {
 public:
  // The writer's own codes. Any code below 100 is an errno value (ENOENT 2,
  // EACCES 13, ENOSPC 28, ...) from a failed file operation.
  enum Code {
    GenericError = 100,           // a zlib result without a mapping below
    BadArchive = 101,             // an existing archive is inconsistent
    BadChecksum = 102,            // CRC mismatch of an entry read back
    NoVolumeCallback = 103,       // a removable-disk multi-volume archive without a volume callback
    VolumeChangeCancelled = 104,  // the volume callback refused the next disk
    CancelledUnfinished = 105,    // cancelled; the archive may hold an unfinished entry or unmoved data
    CancelledFinished = 106,      // cancelled; the archive is consistent
    NotRemovableDrive = 107,      // a removable-disk multi-volume archive on a fixed drive
    TooManyVolumes = 108,         // a multi-volume archive would need too many volumes
    EntryTooLong = 109,           // a name, extra field or comment longer than 65535 bytes
    MoveSizeMismatch = 112,       // moving data for a replacement did not move the whole range
    DeleteFailed = 113,           // a file that must be deleted could not be deleted
    RenameFailed = 114,           // a file that must be renamed could not be renamed
    SystemUnsupported = 115,      // attributes of a system without a converter
    EndRecordMissing = 116,       // no end-of-central-directory record in an archive being opened
    MultiVolumeUnsupported = 117, // multi-volume archives are neither created nor opened
    ArchiveInUse = 118,           // another writer (another run) has the archive open
    LinkRefused = 119,            // a file to write is a symbolic link, or behind another account's link
    NotOwnFile = 120,             // a file to write is not a regular file of the running user's own
    ZlibStreamEnd = 500,          // zlib returned Z_STREAM_END where it is an error
    ZlibNeedDictionary = 501,     // zlib returned Z_NEED_DICT
    ZlibErrno = 502,              // zlib returned Z_ERRNO
    ZlibStreamError = 503,        // zlib returned Z_STREAM_ERROR
    ZlibDataError = 504,          // zlib returned Z_DATA_ERROR
    ZlibMemoryError = 505,        // zlib returned Z_MEM_ERROR, or a memory file could not grow
    ZlibBufferError = 506,        // zlib returned Z_BUF_ERROR
    ZlibVersionError = 507,       // zlib returned Z_VERSION_ERROR
  };

  ZipException(int code, std::string fileName);

  // The code of a zlib result (Z_OK and friends) as thrown by the writer.
  static int CodeOfZlibResult(int zlibResult);

  const char* what() const noexcept override;

  int code;              // a Code above, or an errno value below 100
  std::string fileName;  // the file the error concerns; may be empty
};
