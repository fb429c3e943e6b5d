// Writes a job as the XML document of its definition file.
#pragma once

#include <string>

#include "jobs/BackupJob.h"
#include "jobs/DefinitionFormat.h"

class wxXmlNode;

class JobDefinitionWriter {
 public:
  // The whole file: an XML 1.0 declaration naming UTF-8, the root `Arkivault`
  // and one `BackupDef` element, indented by one space per level.
  static std::string ToXml(const BackupJob& job);

 private:
  static wxXmlNode* DefinitionNode(const BackupJob& job);
  static wxXmlNode* DescriptionNode(const std::string& description);
  static wxXmlNode* ListNode(const DefinitionFormat::ListElement& format,
                             const BackupJob::StringList& entries);
  static wxXmlNode* ScheduleNode(const char* name, const JobSchedule& schedule);
};
