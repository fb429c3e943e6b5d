// What one backup run of one job did, as kept in the run history: one line of
// text per run, tab-separated, readable by a person:
//   2026-12-08 10:00:02 +0100 <TAB> 2026-12-08 10:03:41 +0100 <TAB> full <TAB>
//   scheduled <TAB> succeeded <TAB> Docs <TAB> /home/me/BackupDef/Docs.xml <TAB>
//   reason <TAB> 1203 files <TAB> 52011004 bytes <TAB> 2 archives
// A tab, a newline or a backslash inside a text field is written as \t, \n
// or \\, so a record is always one line. The line ends in a count with its
// unit, so a line cut short anywhere never reads as a record.
#pragma once

#include <cstdint>
#include <string>

// What started a run.
enum class RunTrigger { Window, Scheduled, CatchUp, Batch };

struct RunRecord {
  enum class Outcome { Succeeded, Failed, Cancelled };

  int64_t start = 0;  // seconds since the epoch
  int64_t end = 0;
  bool full = true;
  RunTrigger trigger = RunTrigger::Window;
  Outcome outcome = Outcome::Succeeded;
  std::string reason;      // why it failed, or which files could not be read
  uint64_t files = 0;      // files stored
  uint64_t bytes = 0;      // bytes read from source files
  uint32_t archives = 0;   // archives committed
  std::string job;         // the job's title
  std::string definition;  // the job's definition file, an absolute path

  // The record as one line, ending in a newline.
  std::string ToLine() const;
  // Reads a line written by ToLine (with or without its newline); false, with
  // `*record` unspecified, for anything else (a line cut short by a crash).
  static bool FromLine(const std::string& line, RunRecord* record);

  // "full" or "incremental".
  const char* KindText() const;
  // "window", "scheduled", "catch-up" or "batch".
  const char* TriggerText() const;
  // "succeeded", "failed" or "cancelled".
  const char* OutcomeText() const;
};

// "2026-12-08 10:00:02 +0100": the local time of `seconds` with its offset.
std::string RecordTime(int64_t seconds);

// How a record names the definition file `path`: absolute, so records of
// runs started from any directory name the same file alike; "" stays "".
std::string RecordedDefinition(const std::string& path);
