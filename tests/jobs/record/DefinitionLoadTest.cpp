// Reading definition files: the accepted and refused documents and the odd
// values that fall back to their defaults.
#include <filesystem>
#include <functional>

#include <gtest/gtest.h>
#include <wx/log.h>

#include "jobs/BackupJob.h"
#include "tests/support/TempDir.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteFile;

const char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

std::string Document(const std::string& body) { return kDeclaration + body; }

struct LoadCase {
  const char* name;
  std::string contents;
  bool accepted;
  std::function<void(const BackupJob&)> check;
};

void ExpectBlank(const BackupJob& job) {
  EXPECT_EQ(job.BackupTitle, "");
  EXPECT_TRUE(job.Active);
  EXPECT_TRUE(job.NoOverwrite);
  EXPECT_TRUE(job.Archives.empty());
  EXPECT_EQ(job.ScheduleFull.Days, 0u);
}

TEST(JobDefinitionLoad, AcceptsAndRefusesDocuments) {
  const LoadCase cases[] = {
      {"root Arkivault", Document("<Arkivault><BackupDef BackupTitle=\"A\"/></Arkivault>"), true,
       [](const BackupJob& j) { EXPECT_EQ(j.BackupTitle, "A"); }},
      {"root DizeRorize", Document("<DizeRorize><BackupDef BackupTitle=\"D\"/></DizeRorize>"),
       true, [](const BackupJob& j) { EXPECT_EQ(j.BackupTitle, "D"); }},
      {"white space before BackupDef",
       Document("<Arkivault>\n \t\n  <BackupDef BackupTitle=\"W\"/>\n</Arkivault>\n"), true,
       [](const BackupJob& j) { EXPECT_EQ(j.BackupTitle, "W"); }},
      {"later children of the root are ignored",
       Document("<Arkivault><BackupDef BackupTitle=\"1\"/><BackupDef BackupTitle=\"2\"/>"
                "<Other/></Arkivault>"),
       true, [](const BackupJob& j) { EXPECT_EQ(j.BackupTitle, "1"); }},
      {"other root name", Document("<Arkivaults><BackupDef BackupTitle=\"X\"/></Arkivaults>"),
       false, ExpectBlank},
      {"root name in other case", Document("<arkivault><BackupDef/></arkivault>"), false,
       ExpectBlank},
      {"first child is another element",
       Document("<Arkivault><Other/><BackupDef BackupTitle=\"X\"/></Arkivault>"), false,
       ExpectBlank},
      {"first child is text", Document("<Arkivault>text<BackupDef/></Arkivault>"), false,
       ExpectBlank},
      {"root without children", Document("<Arkivault/>"), false, ExpectBlank},
      {"not well-formed", Document("<Arkivault><BackupDef BackupTitle=\"X\"></Arkivault>"),
       false, ExpectBlank},
      {"not XML", "BackupTitle=X", false, ExpectBlank},
      {"empty file", "", false, ExpectBlank},
  };
  TempDir dir;
  for (const LoadCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir / "job.xml";
    WriteFile(path, c.contents);
    wxLogNull quiet;
    BackupJob job;
    job.Modified = true;
    EXPECT_EQ(job.Load(path), c.accepted);
    EXPECT_EQ(job.DefinitionPath, path);
    EXPECT_FALSE(job.Modified);
    c.check(job);
  }
}

TEST(JobDefinitionLoad, ReadsValuesAndFallsBackOnBadOnes) {
  const auto def = [](const std::string& attributes, const std::string& children = "") {
    return Document("<Arkivault><BackupDef " + attributes + ">" + children +
                    "</BackupDef></Arkivault>");
  };
  const LoadCase cases[] = {
      {"bare BackupDef", Document("<Arkivault><BackupDef/></Arkivault>"), true,
       [](const BackupJob& j) {
         EXPECT_TRUE(j.Active);
         EXPECT_FALSE(j.NoOverwrite);
         EXPECT_FALSE(j.ExcludeHiddenDirs);
         EXPECT_EQ(j.Suffix, SuffixKind::None);
         EXPECT_EQ(j.Priority, JobPriority::Default);
         EXPECT_TRUE(j.IncludeFilePatterns.empty());
         EXPECT_EQ(j.ScheduleFull.Days | j.ScheduleIncremental.Days, 0u);
         EXPECT_TRUE(j.ScheduleFull.HasTime());
         EXPECT_EQ(j.FullTimeText(), "00:00");
         EXPECT_EQ(j.IncrementalTimeText(), "00:00");
         EXPECT_EQ(j.CompressionLevel, -1);
       }},
      {"every attribute",
       def("BackupTitle=\"T\" BackupName=\"N\" Suffix=\"YearWeek\" Active=\"no\" "
           "SourceRootPath=\"/src\" TargetPath=\"/dst\" ExcludeHiddenDirs=\"yes\" "
           "ExcludeHiddenFiles=\"yes\" NoOverwrite=\"yes\" SubDirIndividual=\"yes\" "
           "NoEmpty=\"yes\" Priority=\"Min\" Unknown=\"x\""),
       true,
       [](const BackupJob& j) {
         EXPECT_EQ(j.BackupName, "N");
         EXPECT_EQ(j.Suffix, SuffixKind::YearWeek);
         EXPECT_FALSE(j.Active);
         EXPECT_EQ(j.SourceRootPath, "/src");
         EXPECT_EQ(j.TargetPath, "/dst");
         EXPECT_TRUE(j.ExcludeHiddenDirs && j.ExcludeHiddenFiles && j.NoOverwrite &&
                     j.SubDirIndividual && j.NoEmpty);
         EXPECT_EQ(j.Priority, JobPriority::Min);
       }},
      {"booleans other than exactly yes",
       def("Active=\"Yes\" NoOverwrite=\"1\" NoEmpty=\"YES\" SubDirIndividual=\"true\""), true,
       [](const BackupJob& j) {
         EXPECT_FALSE(j.Active);
         EXPECT_FALSE(j.NoOverwrite);
         EXPECT_FALSE(j.NoEmpty);
         EXPECT_FALSE(j.SubDirIndividual);
       }},
      {"unknown suffix and priority", def("Suffix=\"date\" Priority=\"\""), true,
       [](const BackupJob& j) {
         EXPECT_EQ(j.Suffix, SuffixKind::None);
         EXPECT_EQ(j.Priority, JobPriority::Default);
       }},
      {"times 7:5 and 25:00",
       def("", "<ScheduleFull Time=\"7:5\"/><ScheduleIncremental Time=\"25:00\"/>"), true,
       [](const BackupJob& j) {
         EXPECT_EQ(j.FullTimeText(), "07:05");
         EXPECT_FALSE(j.ScheduleIncremental.HasTime());
         EXPECT_EQ(j.IncrementalTimeText(), "00:00");
       }},
      {"day values", def("", "<ScheduleFull Mon=\"0\" Tue=\"\" Wed=\"no\" Sun=\"1\"/>"
                             "<ScheduleIncremental Fri=\"00\" Sat=\" 0\"/>"),
       true,
       [](const BackupJob& j) {
         EXPECT_EQ(j.ScheduleFull.Days, JobSchedule::Tue | JobSchedule::Wed | JobSchedule::Sun);
         EXPECT_EQ(j.ScheduleIncremental.Days, JobSchedule::Fri | JobSchedule::Sat);
         EXPECT_EQ(j.FullTimeText(), "00:00");
       }},
      {"description as attribute and element",
       def("BackupDescription=\"from attribute\"", "<Description>from element</Description>"),
       true, [](const BackupJob& j) { EXPECT_EQ(j.Description, "from element"); }},
      {"description attribute with an empty element",
       def("BackupDescription=\"from attribute\"", "<Description/>"), true,
       [](const BackupJob& j) { EXPECT_EQ(j.Description, "from attribute"); }},
      {"description after a comment",
       def("", "<Description><!-- note -->text &amp; more</Description>"), true,
       [](const BackupJob& j) { EXPECT_EQ(j.Description, "text & more"); }},
      {"list elements given twice append",
       def("", "<Archives><Archive Path=\"a\"/><Archive Path=\"\"/></Archives>"
               "<IncludeFilePatterns><Pattern Pattern=\"*.doc\"/></IncludeFilePatterns>"
               "<Archives><Archive Path=\"a\"/><Archive/><Path Path=\"x\"/></Archives>"
               "<IncludeFilePatterns><Pattern Pattern=\"*.txt\"/></IncludeFilePatterns>"),
       true,
       [](const BackupJob& j) {
         EXPECT_EQ(j.Archives, (BackupJob::StringList{"a", "", "a"}));
         EXPECT_EQ(j.IncludeFilePatterns, (BackupJob::StringList{"*.doc", "*.txt"}));
       }},
      {"each list reads its own entries",
       def("", "<ExcludePaths><Path Path=\"tmp\"/><Archive Path=\"no\"/></ExcludePaths>"
               "<ExcludeFilePatterns><Pattern Pattern=\"*.o\"/><Pattern Path=\"no\"/>"
               "</ExcludeFilePatterns>"
               "<IncludeDirPatterns><Pattern Pattern=\"src*\"/></IncludeDirPatterns>"
               "<ExcludeDirPatterns><Pattern Pattern=\".git\"/></ExcludeDirPatterns>"
               "<Unknown><Pattern Pattern=\"no\"/></Unknown>"),
       true,
       [](const BackupJob& j) {
         EXPECT_EQ(j.ExcludePaths, BackupJob::StringList{"tmp"});
         EXPECT_EQ(j.ExcludeFilePatterns, BackupJob::StringList{"*.o"});
         EXPECT_EQ(j.IncludeDirPatterns, BackupJob::StringList{"src*"});
         EXPECT_EQ(j.ExcludeDirPatterns, BackupJob::StringList{".git"});
         EXPECT_TRUE(j.Archives.empty() && j.IncludeFilePatterns.empty());
       }},
      {"schedule given twice: later time, days combined",
       def("", "<ScheduleFull Time=\"1:00\" Mon=\"1\"/><ScheduleFull Time=\"2:00\" Fri=\"1\"/>"),
       true,
       [](const BackupJob& j) {
         EXPECT_EQ(j.FullTimeText(), "02:00");
         EXPECT_EQ(j.ScheduleFull.Days, JobSchedule::Mon | JobSchedule::Fri);
       }},
      {"markup and non-ASCII in every text value",
       def("BackupTitle=\"&lt;Fotos&gt; &amp; &quot;Größe&quot; 日本 😀\" "
           "BackupName=\"a&amp;b 'é'\" SourceRootPath=\"/home/Zoë/&lt;x&gt;\" "
           "TargetPath=\"/mnt/Ü&amp;Ö\"",
           "<Description>&lt;b&gt;Straße&lt;/b&gt; &amp; ✓\nline 2</Description>"
           "<Archives><Archive Path=\"Müll &amp; &lt;Co&gt;\"/></Archives>"
           "<ExcludePaths><Path Path=\"Ärger/&quot;q&quot;\"/></ExcludePaths>"
           "<IncludeFilePatterns><Pattern Pattern=\"*.ñ&amp;\"/></IncludeFilePatterns>"
           "<ExcludeFilePatterns><Pattern Pattern=\"&lt;*&gt;\"/></ExcludeFilePatterns>"
           "<IncludeDirPatterns><Pattern Pattern=\"д*\"/></IncludeDirPatterns>"
           "<ExcludeDirPatterns><Pattern Pattern=\"'€'\"/></ExcludeDirPatterns>"),
       true,
       [](const BackupJob& j) {
         EXPECT_EQ(j.BackupTitle, "<Fotos> & \"Größe\" 日本 😀");
         EXPECT_EQ(j.BackupName, "a&b 'é'");
         EXPECT_EQ(j.SourceRootPath, "/home/Zoë/<x>");
         EXPECT_EQ(j.TargetPath, "/mnt/Ü&Ö");
         EXPECT_EQ(j.Description, "<b>Straße</b> & ✓\nline 2");
         EXPECT_EQ(j.Archives, BackupJob::StringList{"Müll & <Co>"});
         EXPECT_EQ(j.ExcludePaths, BackupJob::StringList{"Ärger/\"q\""});
         EXPECT_EQ(j.IncludeFilePatterns, BackupJob::StringList{"*.ñ&"});
         EXPECT_EQ(j.ExcludeFilePatterns, BackupJob::StringList{"<*>"});
         EXPECT_EQ(j.IncludeDirPatterns, BackupJob::StringList{"д*"});
         EXPECT_EQ(j.ExcludeDirPatterns, BackupJob::StringList{"'€'"});
       }},
  };
  TempDir dir;
  for (const LoadCase& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(dir / "job.xml", c.contents);
    BackupJob job;
    ASSERT_EQ(job.Load(dir / "job.xml"), c.accepted);
    EXPECT_FALSE(job.Modified);
    EXPECT_FALSE(job.ScheduleFull.NextRun.IsValid());
    c.check(job);
  }
}

TEST(JobDefinitionLoad, RefusesWhatIsNotARegularFileWithoutBlocking) {
  TempDir dir;
  ASSERT_EQ(testing_support::RunCommand("mkfifo " + testing_support::ShellQuote(dir / "fifo")),
            0);
  std::filesystem::create_directory(dir / "folder");
  for (const std::string name : {"missing.xml", "fifo", "folder"}) {
    SCOPED_TRACE(name);
    wxLogNull quiet;
    BackupJob job;
    EXPECT_FALSE(job.Load(dir / name));
    EXPECT_EQ(job.DefinitionPath, dir / name);
  }
}

}  // namespace
