#include "jobs/ScheduleCalendar.h"

#include <algorithm>
#include <ctime>
#include <vector>

#include "jobs/BackupJob.h"

namespace {
constexpr int64_t kSecondsPerDay = 86400;

int64_t FloorDiv(int64_t value, int64_t divisor) {
  int64_t quotient = value / divisor;
  return (value % divisor < 0) ? quotient - 1 : quotient;
}
}  // namespace

wxDateTime ScheduleCalendar::NextRun(uint32_t days, int hour, int minute, int64_t now) {
  const int64_t today = FloorDiv(WallSecondsAt(now), kSecondsPerDay);
  const int64_t timeOfDay = hour * 3600 + minute * 60;
  // Eight days reach the same weekday again after today's time has passed.
  for (int64_t day = today; day <= today + 7; ++day) {
    if ((days & WeekdayBit(day)) == 0) continue;
    const int64_t due = FirstInstantAt(day * kSecondsPerDay + timeOfDay);
    if (due >= now) return wxDateTime(static_cast<time_t>(due));
  }
  return wxDateTime();
}

wxDateTime ScheduleCalendar::PreviousRun(uint32_t days, int hour, int minute, int64_t now) {
  // A weekly schedule is due at least once in the eight days before now.
  wxDateTime previous;
  for (wxDateTime due = NextRun(days, hour, minute, now - 8 * kSecondsPerDay);
       due.IsValid() && due.GetTicks() < now;
       due = NextRun(days, hour, minute, static_cast<int64_t>(due.GetTicks()) + 1)) {
    previous = due;
  }
  return previous;
}

int64_t ScheduleCalendar::WallSecondsAt(int64_t instant) {
  const wxDateTime::Tm tm = wxDateTime(static_cast<time_t>(instant)).GetTm(wxDateTime::Local);
  const int64_t day = DaysFromCivil(tm.year, tm.mon + 1, tm.mday);
  return day * kSecondsPerDay + tm.hour * 3600 + tm.min * 60 + tm.sec;
}

int64_t ScheduleCalendar::FirstInstantAt(int64_t wallSeconds) {
  // The offsets in effect around that day: a day earlier, a day later, and
  // those found at the instants they suggest.
  std::vector<int64_t> offsets = {OffsetAt(wallSeconds - kSecondsPerDay),
                                  OffsetAt(wallSeconds + kSecondsPerDay)};
  offsets.push_back(OffsetAt(wallSeconds - offsets[0]));
  offsets.push_back(OffsetAt(wallSeconds - offsets[1]));

  std::vector<int64_t> candidates;
  bool found = false;
  int64_t first = 0;
  for (int64_t offset : offsets) {
    const int64_t instant = wallSeconds - offset;
    candidates.push_back(instant);
    if (WallSecondsAt(instant) == wallSeconds && (!found || instant < first)) {
      first = instant;
      found = true;
    }
  }
  if (found) return first;

  // The wall time falls into a gap where the clocks jump forward: the clock
  // reaches it at the moment of the jump, which lies between the candidates.
  const auto [lo, hi] = std::minmax_element(candidates.begin(), candidates.end());
  if (WallSecondsAt(*lo) < wallSeconds && WallSecondsAt(*hi) >= wallSeconds) {
    return SearchFirstInstant(*lo, *hi, wallSeconds);
  }
  return *hi;
}

int64_t ScheduleCalendar::SearchFirstInstant(int64_t lo, int64_t hi, int64_t wallSeconds) {
  while (hi - lo > 1) {
    const int64_t middle = lo + (hi - lo) / 2;
    if (WallSecondsAt(middle) >= wallSeconds) {
      hi = middle;
    } else {
      lo = middle;
    }
  }
  return hi;
}

int64_t ScheduleCalendar::OffsetAt(int64_t instant) {
  return WallSecondsAt(instant) - instant;
}

uint32_t ScheduleCalendar::WeekdayBit(int64_t day) {
  // 1970-01-01 was a Thursday; counted from Monday (bit 0x01) it is day 3.
  const int64_t fromMonday = ((day + 3) % 7 + 7) % 7;
  return JobSchedule::Mon << fromMonday;
}

int64_t ScheduleCalendar::DaysFromCivil(int64_t year, unsigned month, unsigned day) {
  // Counts in eras of 400 years starting on 1 March, so leap days come last.
  year -= month <= 2 ? 1 : 0;
  const int64_t era = FloorDiv(year, 400);
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}
