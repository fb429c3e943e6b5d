// Names of the definition file shared by its reader and writer.
#pragma once

#include <cstdint>

#include "jobs/BackupJob.h"

namespace DefinitionFormat {

struct DayAttribute {
  uint32_t bit;
  const char* name;
};

// The weekday attributes of a schedule element, in the order they are written.
constexpr DayAttribute kDays[] = {
    {JobSchedule::Mon, "Mon"}, {JobSchedule::Tue, "Tue"}, {JobSchedule::Wed, "Wed"},
    {JobSchedule::Thu, "Thu"}, {JobSchedule::Fri, "Fri"}, {JobSchedule::Sat, "Sat"},
    {JobSchedule::Sun, "Sun"},
};

struct ListElement {
  const char* name;       // the list element below BackupDef
  const char* itemName;   // its entries
  const char* attribute;  // the attribute that holds an entry
  BackupJob::StringList BackupJob::*list;
};

// The list elements of BackupDef, in the order they are written.
constexpr ListElement kLists[] = {
    {"Archives", "Archive", "Path", &BackupJob::Archives},
    {"ExcludePaths", "Path", "Path", &BackupJob::ExcludePaths},
    {"IncludeFilePatterns", "Pattern", "Pattern", &BackupJob::IncludeFilePatterns},
    {"ExcludeFilePatterns", "Pattern", "Pattern", &BackupJob::ExcludeFilePatterns},
    {"IncludeDirPatterns", "Pattern", "Pattern", &BackupJob::IncludeDirPatterns},
    {"ExcludeDirPatterns", "Pattern", "Pattern", &BackupJob::ExcludeDirPatterns},
};

}  // namespace DefinitionFormat
