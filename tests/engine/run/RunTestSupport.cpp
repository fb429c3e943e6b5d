#include "tests/engine/run/RunTestSupport.h"

#include <filesystem>
#include <random>

#include <gtest/gtest.h>
#include <wx/init.h>

#include "platform/Env.h"

namespace run_test {

namespace {

// Threads, translations and the log need an initialised toolkit; no display.
class ToolkitEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_TRUE(wxInitialize()); }
  void TearDown() override { wxUninitialize(); }
};

const ::testing::Environment* const kToolkit =
    ::testing::AddGlobalTestEnvironment(new ToolkitEnvironment);

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string YesNo(bool value) { return value ? "yes" : "no"; }

std::string ListElement(const std::string& list, const std::string& item,
                        const std::string& attribute, const BackupJob::StringList& values) {
  std::string xml = "  <" + list + ">\n";
  for (const std::string& value : values) {
    xml += "   <" + item + " " + attribute + "=\"" + Escape(value) + "\"/>\n";
  }
  return xml + "  </" + list + ">\n";
}

}  // namespace

BackupJob MakeJob(const std::string& source, const std::string& target) {
  BackupJob job("Docs");
  job.SourceRootPath = source;
  job.TargetPath = target;
  job.NoOverwrite = false;
  return job;
}

std::string DefinitionXml(const BackupJob& job) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Arkivault>\n <BackupDef";
  xml += " BackupTitle=\"" + Escape(job.BackupTitle) + "\"";
  xml += " BackupName=\"" + Escape(job.BackupName) + "\"";
  xml += " Suffix=\"" + job.SuffixText() + "\"";
  xml += " SourceRootPath=\"" + Escape(job.SourceRootPath) + "\"";
  xml += " TargetPath=\"" + Escape(job.TargetPath) + "\"";
  xml += " ExcludeHiddenDirs=\"" + YesNo(job.ExcludeHiddenDirs) + "\"";
  xml += " ExcludeHiddenFiles=\"" + YesNo(job.ExcludeHiddenFiles) + "\"";
  xml += " NoOverwrite=\"" + YesNo(job.NoOverwrite) + "\"";
  xml += " SubDirIndividual=\"" + YesNo(job.SubDirIndividual) + "\"";
  xml += " NoEmpty=\"" + YesNo(job.NoEmpty) + "\"";
  xml += " Priority=\"" + job.PriorityText() + "\">\n";
  xml += ListElement("Archives", "Archive", "Path", job.Archives);
  xml += ListElement("ExcludePaths", "Path", "Path", job.ExcludePaths);
  xml += ListElement("IncludeFilePatterns", "Pattern", "Pattern", job.IncludeFilePatterns);
  xml += ListElement("ExcludeFilePatterns", "Pattern", "Pattern", job.ExcludeFilePatterns);
  xml += ListElement("IncludeDirPatterns", "Pattern", "Pattern", job.IncludeDirPatterns);
  xml += ListElement("ExcludeDirPatterns", "Pattern", "Pattern", job.ExcludeDirPatterns);
  return xml + " </BackupDef>\n</Arkivault>\n";
}

std::set<std::string> ZipFilesBelow(const std::string& directory) {
  std::set<std::string> found;
  std::error_code error;
  for (auto it = std::filesystem::recursive_directory_iterator(directory, error);
       it != std::filesystem::recursive_directory_iterator(); ++it) {
    if (it->is_regular_file() && it->path().extension() == ".zip") {
      found.insert(std::filesystem::relative(it->path(), directory).string());
    }
  }
  return found;
}

std::set<std::string> EntryNames(const std::string& archivePath) {
  std::set<std::string> names;
  for (const auto& entry : testing_support::ExternalEntries(archivePath)) names.insert(entry.first);
  return names;
}

std::map<std::string, std::string> EntryContents(const std::string& archivePath) {
  std::map<std::string, std::string> contents;
  for (const auto& entry : testing_support::ExternalEntries(archivePath)) {
    if (!entry.second.isDirectory) contents[entry.first] = entry.second.content;
  }
  return contents;
}

bool HasArchiveBit(const std::string& path) {
  platform::Env* env = platform::Env::Default();
  platform::FileInfo info;
  if (env->Stat(path, &info) != 0) return false;
  return env->IsArchiveBitSet(path, info);
}

std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator() & 0xFF);
  return bytes;
}

void Touch(const std::string& path, int seconds) {
  platform::Env* env = platform::Env::Default();
  platform::FileInfo info;
  ASSERT_EQ(0, env->Stat(path, &info)) << path;
  ASSERT_EQ(0, env->SetModificationTime(path, info.mtimeSeconds + seconds)) << path;
}

LogCapture::LogCapture() : previous_(wxLog::SetActiveTarget(this)) {}

LogCapture::~LogCapture() { wxLog::SetActiveTarget(previous_); }

void LogCapture::DoLogRecord(wxLogLevel level, const wxString& message,
                             const wxLogRecordInfo&) {
  const std::string prefix = level <= wxLOG_Error ? "E:" : "M:";
  lines.push_back(prefix + message.utf8_string());
}

}  // namespace run_test
