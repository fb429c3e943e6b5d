#include "tests/jobs/record/JobTestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace job_test {

void UseTimeZone(const char* zone) {
  setenv("TZ", zone, 1);
  tzset();
}

int64_t Utc(int year, int month, int day, int hour, int minute, int second) {
  // Days since 1970-01-01, counting years from March so leap days come last.
  const int y = month <= 2 ? year - 1 : year;
  const int era = y / 400;
  const int yearOfEra = y - era * 400;
  const int dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  const int64_t days = int64_t{era} * 146097 + dayOfEra - 719468;
  return days * 86400 + hour * 3600 + minute * 60 + second;
}

std::string LocalText(const wxDateTime& moment) {
  if (!moment.IsValid()) return "unset";
  return moment.Format("%Y-%m-%d %H:%M:%S %Z").ToStdString(wxConvUTF8);
}

DefinitionsDir::DefinitionsDir() : previous_(std::filesystem::current_path()) {
  std::filesystem::create_directory(temp_ / "BackupDef");
  std::filesystem::current_path(temp_.path());
}

DefinitionsDir::~DefinitionsDir() { std::filesystem::current_path(previous_); }

std::string DefinitionsDir::ListDefinitions() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(temp_ / "BackupDef")) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  std::string list;
  for (const std::string& name : names) list += (list.empty() ? "" : "|") + name;
  return list;
}

}  // namespace job_test
