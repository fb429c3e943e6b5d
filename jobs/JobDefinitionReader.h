// Reads a job from its definition file.
#pragma once

#include <cstdint>
#include <string>

#include "jobs/BackupJob.h"
#include "jobs/DefinitionFormat.h"

struct XmlNode;

class JobDefinitionReader {
 public:
  // The largest definition file that is read; a larger one is refused before
  // anything is parsed.
  static constexpr uint64_t kMaxFileSize = 16 * 1024 * 1024;

  // Reads the file `path` into `job`, which is blank. False when the file
  // cannot be read (logged as the toolkit logs a file it cannot open), is
  // larger than kMaxFileSize or not well-formed (both logged), has a root
  // other than `Arkivault` or "DizeRorize", or a first child other than
  // `BackupDef` (white space aside; a comment counts).
  // Bad values never make the file fail; they fall back to their defaults.
  static bool Read(const std::string& path, BackupJob* job);

 private:
  static bool Parse(const XmlNode& root, BackupJob* job);
  static int ReadContents(const std::string& path, std::string* contents);
  static void ReadAttributes(const XmlNode& def, BackupJob* job);
  static void ReadChild(const XmlNode& child, BackupJob* job);
  static void ReadDescription(const XmlNode& element, BackupJob* job);
  static void ReadList(const XmlNode& element, const DefinitionFormat::ListElement& format,
                       BackupJob::StringList* entries);
  static void ReadSchedule(const XmlNode& element, JobSchedule* schedule);
};
