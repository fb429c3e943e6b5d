// The value of the archived stamp, the extended attribute that marks a source
// file as stored. It names the file's identity and state when it was listed
// (device, inode, modification time in nanoseconds, size) and the path it was
// stored under, by one 64-bit hash of them all, and the moment the stamp was
// written:
//   v3 <state hash, 16 hex digits> <stamped at: seconds.nanoseconds>
// A file matches its stamp only while all of these still hold and its status
// change time (which every write, time reset, chmod, new link or restore
// moves, and which nobody can set back) is no later than the stamp's own
// writing. A copy, a restore by another tool, a rename, a new link or an edit
// whose time was reset therefore no longer matches. Stamps of any other form
// never match. The stamp is kept short (at most 50 bytes) so that ext4 keeps
// it inside a 256-byte inode: a longer one costs a block of its own per file,
// read again by every run that asks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/Env.h"

namespace platform {

class ArchiveStamp {
 public:
  // Room for the longest stamp.
  static constexpr size_t kCapacity = 160;

  // The stamp of the file at `path` in the state `seen`, written at
  // `stampedAtNanoseconds` (since the epoch). Returns its length.
  static size_t Format(const std::string& path, const FileInfo& seen,
                       int64_t stampedAtNanoseconds, char (&text)[kCapacity]);

  // A path in pieces, as they are joined: {directory, "/", name} spares
  // joining them.
  using PathPieces = std::initializer_list<std::string_view>;

  // True when `value` (`length` bytes; negative for no stamp) is a stamp of
  // the file at `path` that still holds for its current state `info`.
  static bool Matches(const char* value, ptrdiff_t length, PathPieces path,
                      const FileInfo& info);

  // Nanoseconds after a stamp's writing within which the write of the stamp
  // itself sets the status change time; a later change is a change.
  static constexpr int64_t kWriteAllowance = 1000000000;
};

}  // namespace platform
