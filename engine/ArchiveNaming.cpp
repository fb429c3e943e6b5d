#include "engine/ArchiveNaming.h"

#include <cctype>
#include <cstdio>

#include <wx/intl.h>

#include "engine/PathUtil.h"
#include "jobs/BackupJob.h"
#include "platform/Clock.h"

namespace {

std::string ToUtf8(const wxString& text) { return text.ToStdString(wxConvUTF8); }

std::string WeekdaySuffix(const wxDateTime& when) {
  const wxString day = wxDateTime::GetWeekDayName(when.GetWeekDay(), wxDateTime::Name_Abbr);
  return ToUtf8(wxString::Format(_("-%s"), day));
}

std::string YearWeekSuffix(const wxDateTime& when) {
  const unsigned short week = when.GetWeekOfYear(wxDateTime::Monday_First);
  return ToUtf8(wxString::Format(_("-%i-%hu"), when.GetYear(), week));
}

std::string DateSuffix(const wxDateTime& when) {
  return ToUtf8(wxString::Format(_("-%d-%02d-%02d"), when.GetYear(),
                                 static_cast<int>(when.GetMonth()) + 1,
                                 static_cast<int>(when.GetDay())));
}

// A leading drive such as "C:" followed by '/', as in a path written on Windows.
bool HasDriveLetter(const std::string& path) {
  return path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
         path[1] == ':' && path[2] == '/';
}

// A component of an archive name. ".." would lead the archive out of the
// backup directory (and a full run would delete or replace whatever file is
// there), so it becomes "__"; the source side keeps the path as written.
std::string ArchiveNameComponent(const std::string& component) {
  return component == ".." ? std::string("__") : component;
}

// The non-empty components of `path` joined by '/', with ".." made harmless.
std::string JoinedDirectories(const std::string& path) {
  std::string joined;
  std::string::size_type start = 0;
  while (start < path.size()) {
    std::string::size_type end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) {
      if (!joined.empty()) joined += '/';
      joined += ArchiveNameComponent(path.substr(start, end - start));
    }
    start = end + 1;
  }
  return joined;
}

// `name` with every ".." component made harmless; separators and every other
// component stay as written.
std::string WithoutParentSteps(const std::string& name) {
  std::string result;
  std::string::size_type start = 0;
  for (;;) {
    const std::string::size_type end = name.find('/', start);
    result += ArchiveNameComponent(name.substr(start, end - start));
    if (end == std::string::npos) return result;
    result += '/';
    start = end + 1;
  }
}

}  // namespace

wxDateTime LocalNow() {
  return wxDateTime(static_cast<time_t>(platform::Clock::Current()->Now()));
}

std::string BackupSuffix(const BackupJob& job, const wxDateTime& when) {
  switch (job.Suffix) {
    case SuffixKind::Weekday: return WeekdaySuffix(when);
    case SuffixKind::YearWeek: return YearWeekSuffix(when);
    case SuffixKind::Date: return DateSuffix(when);
    case SuffixKind::None: break;
  }
  return std::string();
}

size_t DatedSuffixLength(const BackupJob& job, const std::string& text) {
  int year = 0;
  int length = 0;
  if (job.Suffix == SuffixKind::Date) {
    int month = 0;
    int day = 0;
    if (std::sscanf(text.c_str(), "-%4d-%2d-%2d%n", &year, &month, &day, &length) != 3 ||
        year < 1 || month < 1 || month > 12 || day < 1 ||
        day > wxDateTime::GetNumberOfDays(static_cast<wxDateTime::Month>(month - 1), year)) {
      return 0;
    }
    const wxDateTime date(static_cast<wxDateTime::wxDateTime_t>(day),
                          static_cast<wxDateTime::Month>(month - 1), year);
    return DateSuffix(date) == text.substr(0, length) ? static_cast<size_t>(length) : 0;
  }
  if (job.Suffix == SuffixKind::YearWeek) {
    unsigned short week = 0;
    if (std::sscanf(text.c_str(), "-%4d-%2hu%n", &year, &week, &length) != 2 || week < 1 ||
        week > 53) {
      return 0;
    }
    const std::string suffix = ToUtf8(wxString::Format(_("-%i-%hu"), year, week));
    return suffix == text.substr(0, length) ? static_cast<size_t>(length) : 0;
  }
  return 0;
}

std::string BackupDirectoryPath(const BackupJob& job, const wxDateTime& when) {
  return JoinPath(job.TargetPath, WithoutParentSteps(job.BackupName)) + BackupSuffix(job, when);
}

std::string ArchiveRelativePath(const std::string& path) {
  std::string directory = path;
  if (directory.empty() || directory.back() != '/') directory += '/';
  std::string result;
  if (HasDriveLetter(directory)) {
    result = ToNativeSeparators(std::string("vol_") + directory[0] + '/');
    directory.erase(0, 2);
  }
  if (directory.front() == '/') result += '/';
  return result + JoinedDirectories(directory);
}
