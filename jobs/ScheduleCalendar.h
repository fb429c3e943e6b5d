// Finds the next moment at which a weekly schedule is due, in local time.
//
// Works on "wall seconds": the local calendar date and clock time counted as
// seconds since 1970-01-01 00:00 without any daylight-saving shifts, so adding
// a day keeps the clock time. Each wall time is then mapped to the instant at
// which the local clock first shows it:
// - on a day when the clocks go back, a time that occurs twice is due at its
//   first occurrence, so the job runs once;
// - on a day when the clocks go forward, a time that does not exist is due at
//   the moment of the change (02:30 becomes 03:00 when 02:00 jumps to 03:00),
//   so the day is neither skipped nor counted twice.
#pragma once

#include <cstdint>

#include <wx/datetime.h>

class ScheduleCalendar {
 public:
  // The first moment at or after `now` (seconds since the epoch) at which the
  // local clock shows `hour`:`minute`:00 on a weekday in `days` (JobSchedule
  // bits); an invalid date-time when `days` holds no weekday bit.
  static wxDateTime NextRun(uint32_t days, int hour, int minute, int64_t now);
  // The last moment before `now` at which the schedule was due; an invalid
  // date-time when `days` holds no weekday bit.
  static wxDateTime PreviousRun(uint32_t days, int hour, int minute, int64_t now);

 private:
  // Local wall seconds of the instant `instant`.
  static int64_t WallSecondsAt(int64_t instant);
  // The first instant at which the local clock shows `wallSeconds` or a later
  // time.
  static int64_t FirstInstantAt(int64_t wallSeconds);
  // The JobSchedule weekday bit of the day `day` (days since 1970-01-01).
  static uint32_t WeekdayBit(int64_t day);
  // Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
  static int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day);
  // The local clock's offset from UTC at `instant`, in seconds.
  static int64_t OffsetAt(int64_t instant);
  // Binary search for the first instant in (lo, hi] whose wall time reaches
  // `wallSeconds`; the wall time at `lo` is before it, at `hi` not.
  static int64_t SearchFirstInstant(int64_t lo, int64_t hi, int64_t wallSeconds);
};
