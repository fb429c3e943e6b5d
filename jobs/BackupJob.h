// One backup job in memory: what to save, where to, how the archives are named
// and when the job runs, plus the path of its definition file, two cached
// next-run times for the scheduler and a mark for unsaved changes.
//
// A plain class: the editing dialog, the job store and the backup run read and
// assign the fields directly. Field names are the names the definition file
// uses. Strings are UTF-8; paths use '/' as separator.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <wx/datetime.h>

// Which suffix the backup directory gets.
enum class SuffixKind : int32_t {
  None = 0,
  Weekday = 1,
  YearWeek = 2,
  Date = 3,
};

// Priority of the worker thread that runs the job.
enum class JobPriority : int32_t {
  Min = 0,      // thread priority 0
  Default = 1,  // thread priority 50
  Max = 2,      // thread priority 100
};

// When one kind of backup (full or incremental) runs: on the weekdays in
// `Days` at the time of day in `Time`.
struct JobSchedule {
  // Weekday bits of `Days`.
  static constexpr uint32_t Mon = 0x01;
  static constexpr uint32_t Tue = 0x02;
  static constexpr uint32_t Wed = 0x04;
  static constexpr uint32_t Thu = 0x08;
  static constexpr uint32_t Fri = 0x10;
  static constexpr uint32_t Sat = 0x20;
  static constexpr uint32_t Sun = 0x40;
  static constexpr uint32_t AllDays = 0x7f;

  uint32_t Days = 0;
  // Time of day: only its local hour and minute count (seconds are 0).
  // Invalid (!IsValid()) when unset. Build it with TimeOfDay().
  wxDateTime Time = TimeOfDay(0, 0);
  // Cache of the next run at or after now; invalid when unset.
  wxDateTime NextRun;

  // A time-of-day value for `Time` (hour 0-23, minute 0-59).
  static wxDateTime TimeOfDay(int hour, int minute);
  // Parses a time text: "8:5" gives 08:05, "7:30pm" 07:30; "24:00", "0730"
  // and anything else out of range give an unset (invalid) time.
  static wxDateTime ParseTime(const std::string& text);

  bool HasTime() const { return Time.IsValid(); }
  // Hour and minute of `Time`; 0 when it is unset.
  int Hour() const;
  int Minute() const;
  // "%02i:%02i"; "00:00" when unset.
  std::string TimeText() const;
};

class BackupJob {
 public:
  using StringList = std::vector<std::string>;

  // A blank job: the state in which a definition file is loaded.
  BackupJob() = default;
  // A new job created by the user: title and archive base name are `name`,
  // both include-pattern lists hold "*", both schedule times are unset, and
  // an archive that would hold nothing is not written (NoEmpty), and the 4
  // newest "(old n)" archives of each archive name are kept (KeepOld).
  explicit BackupJob(const std::string& name);

  // A heap copy equal in every field, DefinitionPath, caches and Modified included.
  std::unique_ptr<BackupJob> Clone() const;

  // Schedule times as text ("%02i:%02i", "00:00" when unset).
  std::string FullTimeText() const { return ScheduleFull.TimeText(); }
  std::string IncrementalTimeText() const { return ScheduleIncremental.TimeText(); }
  // Parse `text` (see JobSchedule::ParseTime) and store it; sets Modified
  // unless the stored time is set and already has that hour and minute.
  void SetFullTime(const std::string& text);
  void SetIncrementalTime(const std::string& text);
  // Set or clear one weekday bit; sets Modified only when the bit changes.
  void SetFullDay(uint32_t dayBit, bool on);
  void SetIncrementalDay(uint32_t dayBit, bool on);

  // "None", "Weekday", "YearWeek", "Date"; out-of-range values give "None".
  std::string SuffixText() const;
  // Exact, case-sensitive; any other text gives None. Leaves Modified alone.
  void SetSuffixText(const std::string& text);
  // "Min", "Default", "Max"; out-of-range values give "Default".
  std::string PriorityText() const;
  // Exact, case-sensitive; any other text gives Default. Leaves Modified alone.
  void SetPriorityText(const std::string& text);

  // Next run at or after now (platform::Clock), or an invalid date-time when
  // the schedule has no days. Recomputes the cache when it is unset, before
  // now, or the job is modified.
  wxDateTime NextFullBackupTime();
  wxDateTime NextIncrementalBackupTime();

  // Fills the job from the definition file `path` after resetting it to the
  // blank state; DefinitionPath becomes `path` whatever follows. False when the
  // file cannot be read, is not well-formed XML or is not a job definition.
  bool Load(const std::string& path);
  // Writes the definition file atomically to `path`, or to DefinitionPath when
  // `path` is empty. A job without DefinitionPath gets a free file name in
  // "BackupDef/" made from its title. On success recomputes both next-run
  // caches and clears Modified; on failure the previous file stays as it was
  // and Modified stays set.
  bool Save(const std::string& path = std::string());

  std::string DefinitionPath;
  std::string BackupTitle;
  std::string BackupName;
  std::string Description;
  bool Active = true;
  std::string TargetPath;
  SuffixKind Suffix = SuffixKind::None;
  std::string SourceRootPath;
  int32_t CompressionLevel = -1;
  StringList Archives;
  StringList ExcludePaths;
  StringList IncludeFilePatterns;
  StringList ExcludeFilePatterns;
  StringList IncludeDirPatterns;
  StringList ExcludeDirPatterns;
  bool ExcludeHiddenDirs = false;
  bool ExcludeHiddenFiles = false;
  JobSchedule ScheduleFull;
  JobSchedule ScheduleIncremental;
  // A run missed while the program was not running (or the machine slept) is
  // made up; false in files written before the attribute existed.
  bool CatchUp = false;
  bool NoOverwrite = true;
  bool SubDirIndividual = false;
  bool NoEmpty = false;
  JobPriority Priority = JobPriority::Default;
  // Retention: how many "(old n)" archives to keep per archive name, and
  // after how many days retired archives and dated backups go; 0 keeps all.
  uint32_t KeepOld = 0;
  uint32_t KeepDays = 0;
  bool Modified = false;

 private:
  void SetTime(JobSchedule& schedule, const std::string& text);
  void SetDay(JobSchedule& schedule, uint32_t dayBit, bool on);
  wxDateTime NextBackupTime(JobSchedule& schedule);
  static wxDateTime ComputeNextRun(const JobSchedule& schedule, int64_t now);
};
