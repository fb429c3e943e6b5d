#include "engine/RunRecord.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <wx/datetime.h>

#include "platform/Env.h"

namespace {

constexpr const char* kKinds[] = {"incremental", "full"};
constexpr const char* kTriggers[] = {"window", "scheduled", "catch-up", "batch"};
constexpr const char* kOutcomes[] = {"succeeded", "failed", "cancelled"};
constexpr size_t kFields = 11;

std::string Escape(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    if (c == '\t') {
      escaped += "\\t";
    } else if (c == '\n') {
      escaped += "\\n";
    } else if (c == '\\') {
      escaped += "\\\\";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

std::string Unescape(const std::string& text) {
  std::string plain;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      const char next = text[++i];
      plain += next == 't' ? '\t' : next == 'n' ? '\n' : next;
    } else {
      plain += text[i];
    }
  }
  return plain;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

bool ParseTime(const std::string& text, int64_t* seconds) {
  int year, month, day, hour, minute, second, offset;
  char end;
  if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d %d%c", &year, &month, &day, &hour, &minute,
                  &second, &offset, &end) != 7) {
    return false;
  }
  const int64_t offsetSeconds = (offset / 100) * 3600 + (offset % 100) * 60;
  *seconds = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second -
             offsetSeconds;
  return true;
}

// A number followed by `unit`, e.g. "12 files".
template <typename Number>
bool ParseCount(const std::string& text, const char* unit, Number* value) {
  const std::string suffix = std::string(" ") + unit;
  if (text.size() <= suffix.size() || text.compare(text.size() - suffix.size(), suffix.size(),
                                                   suffix) != 0) {
    return false;
  }
  const std::string digits = text.substr(0, text.size() - suffix.size());
  if (digits.find_first_not_of("0123456789") != std::string::npos) return false;
  *value = static_cast<Number>(std::strtoull(digits.c_str(), nullptr, 10));
  return true;
}

template <size_t N>
bool ParseName(const std::string& text, const char* const (&names)[N], size_t* index) {
  for (size_t i = 0; i < N; ++i) {
    if (text == names[i]) {
      *index = i;
      return true;
    }
  }
  return false;
}

}  // namespace

std::string RecordTime(int64_t seconds) {
  const wxDateTime::Tm tm = wxDateTime(static_cast<time_t>(seconds)).GetTm(wxDateTime::Local);
  const int64_t wall = DaysFromCivil(tm.year, tm.mon + 1, tm.mday) * 86400 + tm.hour * 3600 +
                       tm.min * 60 + tm.sec;
  const int64_t offset = (wall - seconds) / 60;
  const int64_t magnitude = offset < 0 ? -offset : offset;
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d %c%02d%02d", tm.year,
                tm.mon + 1, tm.mday, tm.hour, tm.min, tm.sec, offset < 0 ? '-' : '+',
                static_cast<int>(magnitude / 60), static_cast<int>(magnitude % 60));
  return text;
}

const char* RunRecord::KindText() const { return kKinds[full ? 1 : 0]; }
const char* RunRecord::TriggerText() const { return kTriggers[static_cast<int>(trigger)]; }
const char* RunRecord::OutcomeText() const { return kOutcomes[static_cast<int>(outcome)]; }

std::string RunRecord::ToLine() const {
  return RecordTime(start) + "\t" + RecordTime(end) + "\t" + KindText() + "\t" + TriggerText() +
         "\t" + OutcomeText() + "\t" + Escape(job) + "\t" + Escape(definition) + "\t" +
         Escape(reason) + "\t" + std::to_string(files) + " files\t" + std::to_string(bytes) +
         " bytes\t" + std::to_string(archives) + " archives\n";
}

bool RunRecord::FromLine(const std::string& line, RunRecord* record) {
  std::vector<std::string> fields(1);
  for (const char c : line) {
    if (c == '\t') {
      fields.emplace_back();
    } else if (c != '\n') {
      fields.back() += c;
    }
  }
  if (fields.size() != kFields) return false;
  size_t kind, trigger, outcome;
  if (!ParseTime(fields[0], &record->start) || !ParseTime(fields[1], &record->end) ||
      !ParseName(fields[2], kKinds, &kind) || !ParseName(fields[3], kTriggers, &trigger) ||
      !ParseName(fields[4], kOutcomes, &outcome) ||
      !ParseCount(fields[8], "files", &record->files) ||
      !ParseCount(fields[9], "bytes", &record->bytes) ||
      !ParseCount(fields[10], "archives", &record->archives)) {
    return false;
  }
  record->full = kind == 1;
  record->trigger = static_cast<RunTrigger>(trigger);
  record->outcome = static_cast<Outcome>(outcome);
  record->job = Unescape(fields[5]);
  record->definition = Unescape(fields[6]);
  record->reason = Unescape(fields[7]);
  return true;
}

std::string RecordedDefinition(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  const std::string relative = path.compare(0, 2, "./") == 0 ? path.substr(2) : path;
  return platform::Env::Current()->CurrentDirectory() + "/" + relative;
}
