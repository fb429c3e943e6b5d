#include "jobs/JobDefinitionReader.h"

#include <cerrno>
#include <cstdint>
#include <memory>

#include <wx/intl.h>
#include <wx/log.h>

#include "jobs/XmlText.h"
#include "jobs/XmlTree.h"
#include "platform/Env.h"

namespace {

std::string TextAttribute(const XmlNode& node, const char* name) {
  const std::string* value = node.Attribute(name);
  return value != nullptr ? XmlText::FromXml(*value) : std::string();
}

// True only for exactly "yes"; `absent` gives the value of a missing attribute.
bool BoolAttribute(const XmlNode& node, const char* name, bool absent) {
  const std::string* value = node.Attribute(name);
  return value != nullptr ? *value == "yes" : absent;
}

// A count written as plain decimal digits (at most 9); anything else, and a
// missing attribute, gives 0.
uint32_t CountAttribute(const XmlNode& node, const char* name) {
  const std::string* value = node.Attribute(name);
  if (value == nullptr || value->empty() || value->size() > 9 ||
      value->find_first_not_of("0123456789") != std::string::npos) {
    return 0;
  }
  return static_cast<uint32_t>(std::stoul(*value));
}

bool IsElement(const XmlNode& node, const char* name) {
  return node.kind == XmlNode::Kind::Element && node.name == name;
}

}  // namespace

bool JobDefinitionReader::Read(const std::string& path, BackupJob* job) {
  std::string contents;
  const int error = ReadContents(path, &contents);
  if (error == EFBIG) {
    wxLogError(_("Definition file '%s' is larger than %llu MiB; it is not read."),
               wxString::FromUTF8(path), static_cast<unsigned long long>(kMaxFileSize >> 20));
    return false;
  }
  if (error != 0) {
    wxLogSysError(error, _("can't open file '%s'"), wxString::FromUTF8(path));
    return false;
  }
  std::string parseError;
  const std::unique_ptr<XmlNode> root = ParseXml(contents, &parseError);
  if (root == nullptr) {
    wxLogError(_("XML parsing error: '%s' in '%s'"), wxString::FromUTF8(parseError),
               wxString::FromUTF8(path));
    return false;
  }
  return Parse(*root, job);
}

bool JobDefinitionReader::Parse(const XmlNode& root, BackupJob* job) {
  if (root.name != "Arkivault" && root.name != "DizeRorize") return false;
  if (root.children.empty() || !IsElement(*root.children.front(), "BackupDef")) return false;
  const XmlNode& def = *root.children.front();
  ReadAttributes(def, job);
  for (const auto& child : def.children) {
    if (child->kind == XmlNode::Kind::Element) ReadChild(*child, job);
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
  if (info.size > kMaxFileSize) return EFBIG;
  std::unique_ptr<platform::File> file;
  error = env->OpenFile(path, platform::OpenMode::ReadOnly, &file);
  if (error != 0) return error;
  contents->reserve(info.size);
  char buffer[65536];
  size_t bytesRead = 0;
  do {
    error = file->Read(buffer, sizeof buffer, &bytesRead);
    if (error != 0) return error;
    contents->append(buffer, bytesRead);
    // A file that grew since it was examined is held to the same limit.
    if (contents->size() > kMaxFileSize) return EFBIG;
  } while (bytesRead == sizeof buffer);
  return 0;
}

void JobDefinitionReader::ReadAttributes(const XmlNode& def, BackupJob* job) {
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
  job->KeepOld = CountAttribute(def, "KeepOld");
  job->KeepDays = CountAttribute(def, "KeepDays");
  job->CatchUp = BoolAttribute(def, "CatchUp", false);
}

void JobDefinitionReader::ReadChild(const XmlNode& child, BackupJob* job) {
  const std::string& name = child.name;
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

void JobDefinitionReader::ReadDescription(const XmlNode& element, BackupJob* job) {
  // The first piece of text counts; a comment is never taken for the text.
  for (const auto& node : element.children) {
    if (node->kind == XmlNode::Kind::Text) {
      job->Description = XmlText::FromXml(node->text);
      return;
    }
  }
}

void JobDefinitionReader::ReadList(const XmlNode& element,
                                   const DefinitionFormat::ListElement& format,
                                   BackupJob::StringList* entries) {
  for (const auto& item : element.children) {
    if (!IsElement(*item, format.itemName)) continue;
    if (const std::string* value = item->Attribute(format.attribute)) {
      entries->push_back(XmlText::FromXml(*value));
    }
  }
}

void JobDefinitionReader::ReadSchedule(const XmlNode& element, JobSchedule* schedule) {
  if (const std::string* time = element.Attribute("Time")) {
    schedule->Time = JobSchedule::ParseTime(*time);
  }
  for (const DefinitionFormat::DayAttribute& day : DefinitionFormat::kDays) {
    const std::string* value = element.Attribute(day.name);
    if (value != nullptr && *value != "0") schedule->Days |= day.bit;
  }
}
