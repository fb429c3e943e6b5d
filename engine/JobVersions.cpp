#include "engine/JobVersions.h"

#include <cctype>

#include <wx/intl.h>

#include "engine/ArchiveErrorText.h"
#include "engine/PathUtil.h"
#include "zip/ZipAttributes.h"
#include "zip/ZipException.h"
#include "zip/ZipReader.h"

namespace {

constexpr uint32_t kFileTypeMask = 0170000;
constexpr uint32_t kSymlinkType = 0120000;

std::string Utf8(const wxString& text) { return text.ToStdString(wxConvUTF8); }

// `name` without "." and empty components and trailing '/', built in place:
// an archive of many entries calls this once for each.
std::string Normalized(const std::string& name) {
  std::string result;
  result.reserve(name.size());
  std::string::size_type start = 0;
  while (start <= name.size()) {
    std::string::size_type end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    const std::string::size_type length = end - start;
    if (length != 0 && !(length == 1 && name[start] == '.')) {
      if (!result.empty()) result += '/';
      result.append(name, start, length);
    }
    start = end + 1;
  }
  return result;
}

}  // namespace

std::string UnsafeNameReason(const std::string& name) {
  if (name.find('\0') != std::string::npos) return Utf8(_("the name holds a NUL byte"));
  if (name.empty() || name[0] == '/' ||
      (name.size() >= 2 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':')) {
    return Utf8(_("the name is absolute"));
  }
  std::string::size_type start = 0;
  while (start <= name.size()) {
    std::string::size_type end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    if (name.compare(start, end - start, "..") == 0) {
      return Utf8(_("the name leads out of the destination"));
    }
    start = end + 1;
  }
  return "";
}

bool IsSelected(const std::string& path, const std::string& selected) {
  const std::string wanted = Normalized(selected);
  return wanted.empty() || path == wanted ||
         (path.size() > wanted.size() && path.compare(0, wanted.size(), wanted) == 0 &&
          path[wanted.size()] == '/');
}

JobVersions JobVersions::Read(const ArchiveCatalogue& catalogue, const wxDateTime& asOf,
                              std::vector<EntryProblem>* problems) {
  JobVersions versions;
  const std::vector<CatalogueArchive>& archives = catalogue.Archives();
  for (size_t a = 0; a < archives.size(); ++a) {
    if (asOf.IsValid() && archives[a].committed.IsLaterThan(asOf)) continue;
    ZipReader reader;
    try {
      reader.Open(archives[a].path);
    } catch (const ZipException& error) {
      problems->push_back({archives[a].path, "", Utf8(ZipErrorReason(error))});
      continue;
    }
    for (int i = 0; i < reader.Count(); ++i) {
      StoredVersion version;
      version.archive = a;
      version.entry = i;
      const std::string name = reader.Name(i);
      version.unsafe = UnsafeNameReason(name);
      version.directory = reader.IsDirectory(i);
      version.size = reader.Entry(i).uncompressedSize;
      version.modified = reader.ModificationTime(i);
      version.mode = reader.UnixMode(i);
      version.symlink = reader.Entry(i).System() == ZipSystemUnix &&
                        ((reader.Entry(i).externalAttributes >> 16) & kFileTypeMask) == kSymlinkType;
      // An unsafe name is kept under its own spelling so it is reported, never joined.
      std::string path = version.unsafe.empty()
                             ? Normalized(JoinPath(archives[a].sourcePrefix, name))
                             : name;
      versions.paths_.try_emplace(std::move(path)).first->second.push_back(std::move(version));
    }
  }
  return versions;
}
