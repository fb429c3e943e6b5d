#include "jobs/BackupJob.h"

#include <cstdio>

#include "jobs/DefinitionFileName.h"
#include "jobs/JobDefinitionReader.h"
#include "jobs/JobDefinitionWriter.h"
#include "jobs/ScheduleCalendar.h"
#include "platform/Clock.h"
#include "platform/Env.h"

#include <wx/intl.h>
#include <wx/log.h>

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads a decimal number from the start of `text` as atoi does: leading blanks
// and a sign are allowed, reading stops at the first non-digit, no digits give
// 0. Large values are capped; they are out of range either way.
long LeadingNumber(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (value < 1000000) value = value * 10 + (text[i] - '0');
  }
  return negative ? -value : value;
}

}  // namespace

wxDateTime JobSchedule::TimeOfDay(int hour, int minute) {
  // A fixed winter date keeps daylight-saving changes away from the clock time.
  return wxDateTime(1, wxDateTime::Jan, 2000, static_cast<wxDateTime::wxDateTime_t>(hour),
                    static_cast<wxDateTime::wxDateTime_t>(minute));
}

wxDateTime JobSchedule::ParseTime(const std::string& text) {
  const size_t colon = text.find(':');
  if (colon == std::string::npos) return wxDateTime();
  const long hour = LeadingNumber(text.substr(0, colon));
  const long minute = LeadingNumber(text.substr(colon + 1));
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59) return wxDateTime();
  return TimeOfDay(static_cast<int>(hour), static_cast<int>(minute));
}

int JobSchedule::Hour() const { return HasTime() ? Time.GetHour() : 0; }

int JobSchedule::Minute() const { return HasTime() ? Time.GetMinute() : 0; }

std::string JobSchedule::TimeText() const {
  char text[16];
  std::snprintf(text, sizeof text, "%02i:%02i", Hour(), Minute());
  return text;
}

BackupJob::BackupJob(const std::string& name)
    : BackupTitle(name), BackupName(name), IncludeFilePatterns{"*"}, IncludeDirPatterns{"*"} {
  ScheduleFull.Time = wxDateTime();
  ScheduleIncremental.Time = wxDateTime();
  NoEmpty = true;
  KeepOld = 4;
}

std::unique_ptr<BackupJob> BackupJob::Clone() const { return std::make_unique<BackupJob>(*this); }

void BackupJob::SetFullTime(const std::string& text) { SetTime(ScheduleFull, text); }

void BackupJob::SetIncrementalTime(const std::string& text) { SetTime(ScheduleIncremental, text); }

void BackupJob::SetTime(JobSchedule& schedule, const std::string& text) {
  const wxDateTime parsed = JobSchedule::ParseTime(text);
  if (schedule.HasTime() && parsed.IsValid() && schedule.Hour() == parsed.GetHour() &&
      schedule.Minute() == parsed.GetMinute()) {
    return;
  }
  schedule.Time = parsed;
  Modified = true;
}

void BackupJob::SetFullDay(uint32_t dayBit, bool on) { SetDay(ScheduleFull, dayBit, on); }

void BackupJob::SetIncrementalDay(uint32_t dayBit, bool on) {
  SetDay(ScheduleIncremental, dayBit, on);
}

void BackupJob::SetDay(JobSchedule& schedule, uint32_t dayBit, bool on) {
  if (((schedule.Days & dayBit) != 0) == on) return;
  if (on) {
    schedule.Days |= dayBit;
  } else {
    schedule.Days &= ~dayBit;
  }
  Modified = true;
}

std::string BackupJob::SuffixText() const {
  switch (Suffix) {
    case SuffixKind::Weekday: return "Weekday";
    case SuffixKind::YearWeek: return "YearWeek";
    case SuffixKind::Date: return "Date";
    default: return "None";
  }
}

void BackupJob::SetSuffixText(const std::string& text) {
  if (text == "Weekday") {
    Suffix = SuffixKind::Weekday;
  } else if (text == "YearWeek") {
    Suffix = SuffixKind::YearWeek;
  } else if (text == "Date") {
    Suffix = SuffixKind::Date;
  } else {
    Suffix = SuffixKind::None;
  }
}

std::string BackupJob::PriorityText() const {
  switch (Priority) {
    case JobPriority::Min: return "Min";
    case JobPriority::Max: return "Max";
    default: return "Default";
  }
}

void BackupJob::SetPriorityText(const std::string& text) {
  if (text == "Min") {
    Priority = JobPriority::Min;
  } else if (text == "Max") {
    Priority = JobPriority::Max;
  } else {
    Priority = JobPriority::Default;
  }
}

wxDateTime BackupJob::NextFullBackupTime() { return NextBackupTime(ScheduleFull); }

wxDateTime BackupJob::NextIncrementalBackupTime() { return NextBackupTime(ScheduleIncremental); }

wxDateTime BackupJob::NextBackupTime(JobSchedule& schedule) {
  const int64_t now = platform::Clock::Current()->Now();
  if (!schedule.NextRun.IsValid() || Modified || schedule.NextRun.GetTicks() < now) {
    schedule.NextRun = ComputeNextRun(schedule, now);
  }
  return schedule.NextRun;
}

wxDateTime BackupJob::ComputeNextRun(const JobSchedule& schedule, int64_t now) {
  // An unset time (only a malformed file gives one together with days) runs
  // at 00:00, the time its text form shows and a save writes.
  return ScheduleCalendar::NextRun(schedule.Days, schedule.Hour(), schedule.Minute(), now);
}

bool BackupJob::Load(const std::string& path) {
  *this = BackupJob();
  DefinitionPath = path;
  return JobDefinitionReader::Read(path, this);
}

bool BackupJob::Save(const std::string& path) {
  const std::string contents = JobDefinitionWriter::ToXml(*this);
  std::string target = path.empty() ? DefinitionPath : path;
  const bool claimedNewName = target.empty();
  if (claimedNewName) {
    const int error = DefinitionFileName::ClaimFree(BackupTitle, &target);
    if (error != 0) {
      wxLogSysError(error, _("can't create file '%s'"), wxString::FromUTF8(target));
      return false;
    }
  }
  platform::Env* env = platform::Env::Current();
  const int error = env->WriteFileAtomically(target, contents);
  if (error != 0) {
    // A name claimed for this save is given back, so no empty file is left
    // behind and the next save picks a free name again.
    if (claimedNewName) env->RemoveFile(target);
    wxLogSysError(error, _("can't create file '%s'"), wxString::FromUTF8(target));
    return false;
  }
  if (DefinitionPath.empty()) DefinitionPath = target;
  const int64_t now = platform::Clock::Current()->Now();
  ScheduleFull.NextRun = ComputeNextRun(ScheduleFull, now);
  ScheduleIncremental.NextRun = ComputeNextRun(ScheduleIncremental, now);
  Modified = false;
  return true;
}
