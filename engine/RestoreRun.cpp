#include "engine/RestoreRun.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>

#include <wx/intl.h>

#include "engine/ArchiveCatalogue.h"
#include "engine/JobVersions.h"
#include "engine/PathUtil.h"
#include "engine/ReadCallback.h"
#include "zip/ZipException.h"
#include "zip/ZipReader.h"

namespace {

constexpr uint32_t kPermissionBits = 0777;  // set-id and sticky bits are never restored
constexpr uint32_t kDefaultFileMode = 0644;
constexpr uint32_t kDefaultDirectoryMode = 0755;

std::string Utf8(const wxString& text) { return text.ToStdString(wxConvUTF8); }

RestoreOutcome Outcome(const std::string& path, RestoreStatus status, const std::string& reason) {
  return RestoreOutcome{path, status, reason};
}

// Creates `path` and its missing parents; 0 or the errno value.
int CreateDirectories(platform::Env& env, const std::string& path) {
  platform::FileInfo info;
  if (env.Stat(path, &info) == 0) return info.isDirectory ? 0 : ENOTDIR;
  const std::string::size_type slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    if (const int error = CreateDirectories(env, path.substr(0, slash))) return error;
  }
  const int error = env.CreateDirectory(path);
  return error == EEXIST && env.Stat(path, &info) == 0 && info.isDirectory ? 0 : error;
}

struct Work {
  std::string path;
  const StoredVersion* version;
};

using StoredPaths = std::map<std::string, std::vector<StoredVersion>>;

// Later in the job's history: a later archive, or later in the same one.
bool IsLater(const StoredVersion& a, const StoredVersion& b) {
  return a.archive != b.archive ? a.archive > b.archive : a.entry > b.entry;
}

// A path stored as a file and as a folder was replaced by the other kind in
// between: what the earlier of the two stored was deleted with the change, so
// `path` is left out when a file stored later lies on its way, or when it is
// a file and something was stored below it later.
bool ReplacedByOtherKind(const StoredPaths& paths, const std::string& path,
                         const StoredVersion& version) {
  for (std::string::size_type slash = path.find('/'); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const auto above = paths.find(path.substr(0, slash));
    if (above != paths.end() && !above->second.back().directory &&
        IsLater(above->second.back(), version)) {
      return true;
    }
  }
  if (version.directory) return false;
  // Paths below it sort from "path/" to just before "path0" ('0' follows '/').
  const auto end = paths.lower_bound(path + '0');
  return std::any_of(paths.lower_bound(path + '/'), end, [&](const StoredPaths::value_type& below) {
    return IsLater(below.second.back(), version);
  });
}

}  // namespace

int RestoreResult::ExitStatus() const {
  bool skipped = false;
  for (const RestoreOutcome& outcome : problems) {
    if (outcome.status != RestoreStatus::Skipped) return 1;
    skipped = true;
  }
  if (cancelled) return 1;
  return skipped ? 3 : 0;
}

RestoreResult RestoreRun::Run(const ArchiveCatalogue& catalogue, const RestoreRequest& request) {
  request_ = request;
  directoriesReady_.clear();
  directoriesMade_.clear();
  RestoreResult result;
  std::vector<EntryProblem> unreadable;
  const JobVersions versions = JobVersions::Read(catalogue, request.asOf, &unreadable);
  for (const EntryProblem& problem : unreadable) {
    result.problems.push_back(Outcome(problem.archive, RestoreStatus::Failed, problem.reason));
  }
  std::vector<Work> work;
  for (const auto& stored : versions.Paths()) {
    const std::string& path = stored.first;
    // An entry such as "./" stands for the destination itself, which keeps its mode and time.
    if (path.empty()) continue;
    const bool wanted = request.paths.empty() ||
                        std::any_of(request.paths.begin(), request.paths.end(),
                                    [&](const std::string& p) { return IsSelected(path, p); });
    if (wanted && !ReplacedByOtherKind(versions.Paths(), path, stored.second.back())) {
      work.push_back({path, &stored.second.back()});
    }
  }
  for (const std::string& requested : request.paths) {
    if (std::none_of(work.begin(), work.end(),
                     [&](const Work& w) { return IsSelected(w.path, requested); })) {
      result.problems.push_back(Outcome(requested, RestoreStatus::Failed,
                                        Utf8(_("not in the archives as of that time"))));
    }
  }
  // Each archive is opened once and read front to back.
  std::sort(work.begin(), work.end(), [](const Work& a, const Work& b) {
    return a.version->archive != b.version->archive ? a.version->archive < b.version->archive
                                                     : a.version->entry < b.version->entry;
  });
  callback_.SetTotal(work.size());
  const RestoreOutcome destination = PrepareDirectories("", true);
  if (destination.status != RestoreStatus::Restored) {
    result.problems.push_back(destination);
    return result;
  }
  std::unique_ptr<ZipReader> reader;
  size_t openArchive = SIZE_MAX;
  std::vector<const Work*> directories;
  for (const Work& item : work) {
    if (callback_.StopRequested()) {
      result.cancelled = true;
      break;
    }
    const StoredVersion& version = *item.version;
    RestoreOutcome outcome = Outcome(item.path, RestoreStatus::Restored, "");
    if (!version.unsafe.empty()) {
      outcome = Outcome(item.path, RestoreStatus::Refused, version.unsafe);
    } else if (version.symlink) {
      outcome = Outcome(item.path, RestoreStatus::Refused, Utf8(_("symbolic links are not restored")));
    } else if (version.directory) {
      outcome = PrepareDirectories(item.path, true);
      if (outcome.status == RestoreStatus::Restored) directories.push_back(&item);
    } else {
      if (openArchive != version.archive) {
        openArchive = version.archive;
        reader = std::make_unique<ZipReader>();
        try {
          reader->Open(catalogue.Archives()[version.archive].path);
        } catch (const ZipException&) {
          reader.reset();
        }
      }
      outcome = reader ? RestoreFile(*reader, item.path, version)
                       : Outcome(item.path, RestoreStatus::Failed, Utf8(_("the archive cannot be read")));
      if (outcome.status == RestoreStatus::Failed && callback_.StopRequested()) {
        result.cancelled = true;
        break;
      }
    }
    callback_.EndEntry();
    if (outcome.status == RestoreStatus::Restored) {
      ++result.restored;
    } else {
      result.problems.push_back(std::move(outcome));
    }
  }
  // Directories get their times last, deepest first, as writing into them
  // changed them; one that was there already is left as it is unless
  // overwriting was asked for.
  for (auto it = directories.rbegin(); it != directories.rend(); ++it) {
    if (!request_.overwrite && directoriesMade_.count((*it)->path) == 0) continue;
    const std::string path = JoinPath(request_.destination, (*it)->path);
    const uint32_t mode = (*it)->version->mode & kPermissionBits;
    env_.SetPermissions(path, mode != 0 ? mode | 0700 : kDefaultDirectoryMode);
    env_.SetModificationTime(path, (*it)->version->modified);
  }
  return result;
}

RestoreOutcome RestoreRun::PrepareDirectories(const std::string& relative, bool includingLast) {
  std::string current;
  std::string::size_type start = 0;
  for (;;) {
    const std::string::size_type slash = relative.find('/', start);
    if (slash == std::string::npos && !includingLast) break;
    current = relative.substr(0, slash);
    if (directoriesReady_.count(current) == 0) {
      const std::string path = current.empty() ? request_.destination
                                               : JoinPath(request_.destination, current);
      platform::FileInfo info;
      int error = env_.Stat(path, &info);
      if (error == ENOENT && current.empty()) {
        // The destination itself, and what leads to it, may be made freely.
        error = CreateDirectories(env_, path);
        if (error != 0) return Outcome(relative, RestoreStatus::Failed, platform::ErrorText(error));
      } else if (error == ENOENT) {
        error = env_.CreateDirectory(path);
        if (error == 0) directoriesMade_.insert(current);
        if (error == EEXIST) {
          return Outcome(relative, RestoreStatus::Refused,
                         Utf8(_("a symbolic link in the destination lies on its path")));
        }
        if (error != 0) return Outcome(relative, RestoreStatus::Failed, platform::ErrorText(error));
      } else if (error != 0) {
        return Outcome(relative, RestoreStatus::Failed, platform::ErrorText(error));
      } else if (info.isSymlink && !current.empty()) {
        return Outcome(relative, RestoreStatus::Refused,
                       Utf8(_("a symbolic link in the destination lies on its path")));
      } else if (!info.isDirectory) {
        return Outcome(relative, RestoreStatus::Failed, platform::ErrorText(ENOTDIR));
      }
      directoriesReady_.insert(current);
    }
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return Outcome(relative, RestoreStatus::Restored, "");
}

RestoreOutcome RestoreRun::RestoreFile(ZipReader& reader, const std::string& relative,
                                       const StoredVersion& version) {
  RestoreOutcome outcome = PrepareDirectories(relative, false);
  if (outcome.status != RestoreStatus::Restored) return outcome;
  const std::string finalPath = JoinPath(request_.destination, relative);
  platform::FileInfo existing;
  if (env_.Stat(finalPath, &existing) == 0) {
    if (existing.isDirectory) {
      return Outcome(relative, RestoreStatus::Failed, platform::ErrorText(EISDIR));
    }
    if (!request_.overwrite) return Outcome(relative, RestoreStatus::Skipped, Utf8(_("the file exists")));
  }
  const std::string::size_type slash = finalPath.rfind('/');
  const std::string directory = slash == std::string::npos ? "." : finalPath.substr(0, slash);
  std::string temporary;
  int error = env_.CreateTempFile(directory, ".arkivault-restore-", &temporary);
  if (error != 0) return Outcome(relative, RestoreStatus::Failed, platform::ErrorText(error));
  std::unique_ptr<platform::File> file;
  error = env_.OpenFile(temporary, platform::OpenMode::ReadWrite, &file);
  ZipReadResult read;
  if (error == 0) {
    read = reader.Extract(version.entry, [&](const char* data, size_t size) {
      error = file->Write(data, size);
      return error == 0 && callback_.OnBytes(size);
    });
    const int closeError = file->Close();
    if (error == 0 && read.ok()) error = closeError;
  }
  if (error == 0 && read.ok()) {
    const uint32_t mode = version.mode & kPermissionBits;
    error = env_.SetPermissions(temporary, mode != 0 ? mode : kDefaultFileMode);
    if (error == 0) error = env_.SetModificationTime(temporary, version.modified);
  }
  if (error == 0 && read.ok()) {
    if (request_.overwrite) {
      error = env_.RenameFile(temporary, finalPath);
    } else {
      // A link never replaces a file that appeared meanwhile.
      error = env_.LinkFile(temporary, finalPath);
      if (error == EEXIST) {
        env_.RemoveFile(temporary);
        return Outcome(relative, RestoreStatus::Skipped, Utf8(_("the file exists")));
      }
      if (error == 0) {
        env_.RemoveFile(temporary);
      } else if (error == EPERM || error == EXDEV || error == ENOTSUP) {
        error = env_.RenameFile(temporary, finalPath);
      }
    }
  }
  if (error == 0 && read.ok()) return Outcome(relative, RestoreStatus::Restored, "");
  env_.RemoveFile(temporary);
  if (error != 0) return Outcome(relative, RestoreStatus::Failed, platform::ErrorText(error));
  return Outcome(relative, RestoreStatus::Failed, ZipReadStatusText(read.status, reader.Entry(version.entry)));
}
