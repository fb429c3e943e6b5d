// How an archive file is opened, for the writer and its storage alike.
#pragma once

enum class ZipOpenMode {
  OpenExisting = 0,       // read-write, contents kept: entries are added
  OpenReadOnly = 1,       // read only
  CreateNew = 2,          // created, or truncated when it exists
  CreateMultiVolume = 3,  // a multi-volume archive: refused on this platform
};
