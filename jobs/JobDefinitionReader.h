// Reads a job from its definition file.
#pragma once

#include <string>

#include "jobs/BackupJob.h"
#include "jobs/DefinitionFormat.h"

class wxXmlNode;

class JobDefinitionReader {
 public:
  // Reads the file `path` into `job`, which is blank. False when the file
  // cannot be read (logged as the toolkit logs a file it cannot open), is not
  // well-formed (logged by the XML library), has a root other than
  // `Arkivault` or "DizeRorize", or a first child other than `BackupDef`.
  // Bad values never make the file fail; they fall back to their defaults.
  static bool Read(const std::string& path, BackupJob* job);

 private:
  static bool Parse(const std::string& contents, BackupJob* job);
  static int ReadContents(const std::string& path, std::string* contents);
  static void ReadAttributes(const wxXmlNode& def, BackupJob* job);
  static void ReadChild(const wxXmlNode& child, BackupJob* job);
  static void ReadDescription(const wxXmlNode& element, BackupJob* job);
  static void ReadList(const wxXmlNode& element, const DefinitionFormat::ListElement& format,
                       BackupJob::StringList* entries);
  static void ReadSchedule(const wxXmlNode& element, JobSchedule* schedule);
};
