#include "jobs/JobDefinitionReader.h"

#include <cerrno>
#include <memory>

#include <wx/intl.h>
#include <wx/log.h>
#include <wx/mstream.h>
#include <wx/xml/xml.h>

#include "jobs/XmlText.h"
#include "platform/Env.h"

namespace {

std::string TextAttribute(const wxXmlNode& node, const char* name) {
  wxString value;
  return node.GetAttribute(name, &value) ? XmlText::FromXml(value) : std::string();
}

// True only for exactly "yes"; `absent` gives the value of a missing attribute.
bool BoolAttribute(const wxXmlNode& node, const char* name, bool absent) {
  wxString value;
  return node.GetAttribute(name, &value) ? value == "yes" : absent;
}

}  // namespace

bool JobDefinitionReader::Read(const std::string& path, BackupJob* job) {
  std::string contents;
  const int error = ReadContents(path, &contents);
  if (error != 0) {
    wxLogSysError(error, _("can't open file '%s'"), wxString::FromUTF8(path));
    return false;
  }
  return Parse(contents, job);
}

bool JobDefinitionReader::Parse(const std::string& contents, BackupJob* job) {
  wxMemoryInputStream stream(contents.data(), contents.size());
  wxXmlDocument document;
  if (!document.Load(stream, "UTF-8", wxXMLDOC_NONE)) return false;
  const wxXmlNode* root = document.GetRoot();
  if (root == nullptr) return false;
  if (root->GetName() != "Arkivault" && root->GetName() != "DizeRorize") return false;
  const wxXmlNode* def = root->GetChildren();
  if (def == nullptr || def->GetType() != wxXML_ELEMENT_NODE || def->GetName() != "BackupDef") {
    return false;
  }
  ReadAttributes(*def, job);
  for (const wxXmlNode* child = def->GetChildren(); child; child = child->GetNext()) {
    if (child->GetType() == wxXML_ELEMENT_NODE) ReadChild(*child, job);
  }
  return true;
}

int JobDefinitionReader::ReadContents(const std::string& path, std::string* contents) {
  platform::Env* env = platform::Env::Current();
  platform::FileInfo info;
  int error = env->Stat(path, &info);
  if (error != 0) return error;
  // Only a regular file is opened: a FIFO or device could block or never end.
  if (!info.isRegular) return info.isDirectory ? EISDIR : EINVAL;
  std::unique_ptr<platform::File> file;
  error = env->OpenFile(path, platform::OpenMode::ReadOnly, &file);
  if (error != 0) return error;
  char buffer[65536];
  size_t bytesRead = 0;
  do {
    error = file->Read(buffer, sizeof buffer, &bytesRead);
    if (error != 0) return error;
    contents->append(buffer, bytesRead);
  } while (bytesRead == sizeof buffer);
  return 0;
}

void JobDefinitionReader::ReadAttributes(const wxXmlNode& def, BackupJob* job) {
  job->BackupTitle = TextAttribute(def, "BackupTitle");
  job->BackupName = TextAttribute(def, "BackupName");
  job->SetSuffixText(TextAttribute(def, "Suffix"));
  job->Description = TextAttribute(def, "BackupDescription");
  job->Active = BoolAttribute(def, "Active", true);
  job->SourceRootPath = TextAttribute(def, "SourceRootPath");
  job->TargetPath = TextAttribute(def, "TargetPath");
  job->ExcludeHiddenDirs = BoolAttribute(def, "ExcludeHiddenDirs", false);
  job->ExcludeHiddenFiles = BoolAttribute(def, "ExcludeHiddenFiles", false);
  job->NoOverwrite = BoolAttribute(def, "NoOverwrite", false);
  job->SubDirIndividual = BoolAttribute(def, "SubDirIndividual", false);
  job->NoEmpty = BoolAttribute(def, "NoEmpty", false);
  job->SetPriorityText(TextAttribute(def, "Priority"));
}

void JobDefinitionReader::ReadChild(const wxXmlNode& child, BackupJob* job) {
  const wxString& name = child.GetName();
  if (name == "Description") {
    ReadDescription(child, job);
  } else if (name == "ScheduleFull") {
    ReadSchedule(child, &job->ScheduleFull);
  } else if (name == "ScheduleIncremental") {
    ReadSchedule(child, &job->ScheduleIncremental);
  } else {
    for (const DefinitionFormat::ListElement& list : DefinitionFormat::kLists) {
      if (name == list.name) ReadList(child, list, &(job->*list.list));
    }
  }
}

void JobDefinitionReader::ReadDescription(const wxXmlNode& element, BackupJob* job) {
  // The first piece of text counts; a comment is never taken for the text.
  for (const wxXmlNode* node = element.GetChildren(); node; node = node->GetNext()) {
    if (node->GetType() == wxXML_TEXT_NODE || node->GetType() == wxXML_CDATA_SECTION_NODE) {
      job->Description = XmlText::FromXml(node->GetContent());
      return;
    }
  }
}

void JobDefinitionReader::ReadList(const wxXmlNode& element,
                                   const DefinitionFormat::ListElement& format,
                                   BackupJob::StringList* entries) {
  for (const wxXmlNode* item = element.GetChildren(); item; item = item->GetNext()) {
    wxString value;
    if (item->GetType() == wxXML_ELEMENT_NODE && item->GetName() == format.itemName &&
        item->GetAttribute(format.attribute, &value)) {
      entries->push_back(XmlText::FromXml(value));
    }
  }
}

void JobDefinitionReader::ReadSchedule(const wxXmlNode& element, JobSchedule* schedule) {
  wxString time;
  if (element.GetAttribute("Time", &time)) {
    schedule->Time = JobSchedule::ParseTime(XmlText::FromXml(time));
  }
  for (const DefinitionFormat::DayAttribute& day : DefinitionFormat::kDays) {
    wxString value;
    if (element.GetAttribute(day.name, &value) && value != "0") schedule->Days |= day.bit;
  }
}
