#include "jobs/JobDefinitionWriter.h"

#include <wx/mstream.h>
#include <wx/xml/xml.h>

#include "jobs/DefinitionFormat.h"
#include "jobs/XmlText.h"

namespace {

const char* YesNo(bool value) { return value ? "yes" : "no"; }

wxXmlNode* Element(const char* name) { return new wxXmlNode(wxXML_ELEMENT_NODE, name); }

}  // namespace

std::string JobDefinitionWriter::ToXml(const BackupJob& job) {
  wxXmlDocument document;
  document.SetFileEncoding("UTF-8");
  wxXmlNode* root = Element("Arkivault");
  document.SetRoot(root);
  root->AddChild(DefinitionNode(job));

  wxMemoryOutputStream stream;
  document.Save(stream, 1);
  std::string bytes(stream.GetLength(), '\0');
  if (!bytes.empty()) stream.CopyTo(&bytes[0], bytes.size());
  return bytes;
}

wxXmlNode* JobDefinitionWriter::DefinitionNode(const BackupJob& job) {
  wxXmlNode* def = Element("BackupDef");
  def->AddAttribute("BackupTitle", XmlText::ToXml(job.BackupTitle));
  def->AddAttribute("BackupName", XmlText::ToXml(job.BackupName));
  def->AddAttribute("Suffix", job.SuffixText());
  def->AddAttribute("Active", YesNo(job.Active));
  def->AddAttribute("SourceRootPath", XmlText::ToXml(job.SourceRootPath));
  def->AddAttribute("TargetPath", XmlText::ToXml(job.TargetPath));
  def->AddAttribute("ExcludeHiddenDirs", YesNo(job.ExcludeHiddenDirs));
  def->AddAttribute("ExcludeHiddenFiles", YesNo(job.ExcludeHiddenFiles));
  def->AddAttribute("NoOverwrite", YesNo(job.NoOverwrite));
  def->AddAttribute("SubDirIndividual", YesNo(job.SubDirIndividual));
  def->AddAttribute("NoEmpty", YesNo(job.NoEmpty));
  def->AddAttribute("Priority", job.PriorityText());
  def->AddAttribute("KeepOld", std::to_string(job.KeepOld));
  def->AddAttribute("KeepDays", std::to_string(job.KeepDays));
  def->AddAttribute("CatchUp", YesNo(job.CatchUp));

  def->AddChild(DescriptionNode(job.Description));
  for (const DefinitionFormat::ListElement& list : DefinitionFormat::kLists) {
    def->AddChild(ListNode(list, job.*list.list));
  }
  def->AddChild(ScheduleNode("ScheduleFull", job.ScheduleFull));
  def->AddChild(ScheduleNode("ScheduleIncremental", job.ScheduleIncremental));
  return def;
}

wxXmlNode* JobDefinitionWriter::DescriptionNode(const std::string& description) {
  wxXmlNode* node = Element("Description");
  if (!description.empty()) {
    node->AddChild(new wxXmlNode(wxXML_TEXT_NODE, wxString(), XmlText::ToXml(description)));
  }
  return node;
}

wxXmlNode* JobDefinitionWriter::ListNode(const DefinitionFormat::ListElement& format,
                                         const BackupJob::StringList& entries) {
  wxXmlNode* list = Element(format.name);
  for (const std::string& entry : entries) {
    wxXmlNode* item = Element(format.itemName);
    item->AddAttribute(format.attribute, XmlText::ToXml(entry));
    list->AddChild(item);
  }
  return list;
}

wxXmlNode* JobDefinitionWriter::ScheduleNode(const char* name, const JobSchedule& schedule) {
  wxXmlNode* node = Element(name);
  node->AddAttribute("Time", schedule.TimeText());
  for (const DefinitionFormat::DayAttribute& day : DefinitionFormat::kDays) {
    if ((schedule.Days & day.bit) != 0) node->AddAttribute(day.name, "1");
  }
  return node;
}
