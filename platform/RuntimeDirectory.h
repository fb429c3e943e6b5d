// The per-user directory for files that live only while the program runs (the
// single-instance socket and its lock). Only its owner may enter it, so
// nothing placed in it can be reached by another user.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// $XDG_RUNTIME_DIR when it is a directory of this user that nobody else may
// enter; otherwise "arkivault-<uid>" in the system's temporary directory,
// created with mode 0700 when missing. A directory found there that is not
// ours, is a link or is open to others is refused. Empty when no private
// directory can be had; `*error` (if given) then holds a reason.
std::string PrivateRuntimeDirectory(std::string* error = nullptr);

// The longest path a Unix-domain socket can be bound to.
size_t MaxSocketPathLength();

}  // namespace platform
