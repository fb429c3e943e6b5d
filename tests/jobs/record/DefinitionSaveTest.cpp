// Writing definition files: the exact format, a read-back by an independent
// XML parser, safe and unique file names, and saves that fail.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#include <wx/log.h>

#include "jobs/BackupJob.h"
#include "tests/jobs/record/JobTestSupport.h"
#include "tests/support/FaultEnv.h"
#include "tests/support/TempDir.h"

namespace {

using testing_support::ReadFile;

// A job that uses every field of the file.
BackupJob SampleJob(const std::string& title) {
  BackupJob job(title);
  job.BackupName = "Docs & <Co>";
  job.Description = "Straße \"quoted\" <b>&amp;</b>\nline 2";
  job.Active = false;
  job.SourceRootPath = "/home/zoë";
  job.TargetPath = "/mnt/backup's";
  job.Suffix = SuffixKind::YearWeek;
  job.Archives = {"Documents", ""};
  job.ExcludePaths = {"Documents/tmp"};
  job.IncludeFilePatterns = {"*.odt", "*"};
  job.ExcludeDirPatterns = {".git"};
  job.ExcludeHiddenFiles = true;
  job.SubDirIndividual = true;
  job.Priority = JobPriority::Max;
  job.SetFullTime("7:5");
  job.SetFullDay(JobSchedule::Sun, true);
  job.SetFullDay(JobSchedule::Mon, true);
  job.SetIncrementalDay(JobSchedule::Wed, true);
  return job;
}

TEST(JobDefinitionSave, WritesTheFileFormatExactly) {
  job_test::DefinitionsDir dir;
  BackupJob job = SampleJob("Docs");
  ASSERT_TRUE(job.Save());
  EXPECT_EQ(job.DefinitionPath, "BackupDef/Docs.xml");
  EXPECT_EQ(ReadFile(dir.Path("BackupDef/Docs.xml")),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<Arkivault>\n"
            " <BackupDef BackupTitle=\"Docs\" BackupName=\"Docs &amp; &lt;Co&gt;\" "
            "Suffix=\"YearWeek\" Active=\"no\" SourceRootPath=\"/home/zoë\" "
            "TargetPath=\"/mnt/backup's\" ExcludeHiddenDirs=\"no\" ExcludeHiddenFiles=\"yes\" "
            "NoOverwrite=\"yes\" SubDirIndividual=\"yes\" NoEmpty=\"no\" Priority=\"Max\">\n"
            "  <Description>Straße \"quoted\" &lt;b&gt;&amp;amp;&lt;/b&gt;\nline 2</Description>\n"
            "  <Archives>\n"
            "   <Archive Path=\"Documents\"/>\n"
            "   <Archive Path=\"\"/>\n"
            "  </Archives>\n"
            "  <ExcludePaths>\n"
            "   <Path Path=\"Documents/tmp\"/>\n"
            "  </ExcludePaths>\n"
            "  <IncludeFilePatterns>\n"
            "   <Pattern Pattern=\"*.odt\"/>\n"
            "   <Pattern Pattern=\"*\"/>\n"
            "  </IncludeFilePatterns>\n"
            "  <ExcludeFilePatterns/>\n"
            "  <IncludeDirPatterns>\n"
            "   <Pattern Pattern=\"*\"/>\n"
            "  </IncludeDirPatterns>\n"
            "  <ExcludeDirPatterns>\n"
            "   <Pattern Pattern=\".git\"/>\n"
            "  </ExcludeDirPatterns>\n"
            "  <ScheduleFull Time=\"07:05\" Mon=\"1\" Sun=\"1\"/>\n"
            "  <ScheduleIncremental Time=\"00:00\" Wed=\"1\"/>\n"
            " </BackupDef>\n"
            "</Arkivault>\n");

  BackupJob empty;
  ASSERT_TRUE(empty.Save("BackupDef/empty.xml"));
  const std::string text = ReadFile(dir.Path("BackupDef/empty.xml"));
  EXPECT_NE(text.find("  <Description/>\n  <Archives/>\n  <ExcludePaths/>\n"
                      "  <IncludeFilePatterns/>\n  <ExcludeFilePatterns/>\n"
                      "  <IncludeDirPatterns/>\n  <ExcludeDirPatterns/>\n"
                      "  <ScheduleFull Time=\"00:00\"/>\n"
                      "  <ScheduleIncremental Time=\"00:00\"/>\n"),
            std::string::npos)
      << text;
}

TEST(JobDefinitionSave, IndependentParserReadsAttributesAndElementsInOrder) {
  job_test::DefinitionsDir dir;
  BackupJob job = SampleJob("<Fotos> & \"Größe\" 日本 😀");
  job.Description = "a < b & c > d ✓";
  ASSERT_TRUE(job.Save());
  std::ofstream(dir.Path("dump.py"))
      << "import sys, xml.etree.ElementTree as ET\n"
         "sys.stdout.reconfigure(encoding='utf-8')\n"
         "def dump(e, depth):\n"
         "    line = ' ' * depth + e.tag\n"
         "    for k, v in e.attrib.items(): line += ' %s=[%s]' % (k, v)\n"
         "    if e.text and e.text.strip(): line += ' text=[%s]' % e.text\n"
         "    print(line)\n"
         "    for c in e: dump(c, depth + 1)\n"
         "dump(ET.parse(sys.argv[1]).getroot(), 0)\n";
  std::string output;
  ASSERT_EQ(testing_support::RunCommand("python3 " + testing_support::ShellQuote(dir.Path("dump.py")) +
                                            " " + testing_support::ShellQuote(dir.Path(job.DefinitionPath)),
                                        &output),
            0)
      << output;
  EXPECT_EQ(output,
            "Arkivault\n"
            " BackupDef BackupTitle=[<Fotos> & \"Größe\" 日本 😀] BackupName=[Docs & <Co>] "
            "Suffix=[YearWeek] Active=[no] SourceRootPath=[/home/zoë] TargetPath=[/mnt/backup's] "
            "ExcludeHiddenDirs=[no] ExcludeHiddenFiles=[yes] NoOverwrite=[yes] "
            "SubDirIndividual=[yes] NoEmpty=[no] Priority=[Max]\n"
            "  Description text=[a < b & c > d ✓]\n"
            "  Archives\n"
            "   Archive Path=[Documents]\n"
            "   Archive Path=[]\n"
            "  ExcludePaths\n"
            "   Path Path=[Documents/tmp]\n"
            "  IncludeFilePatterns\n"
            "   Pattern Pattern=[*.odt]\n"
            "   Pattern Pattern=[*]\n"
            "  ExcludeFilePatterns\n"
            "  IncludeDirPatterns\n"
            "   Pattern Pattern=[*]\n"
            "  ExcludeDirPatterns\n"
            "   Pattern Pattern=[.git]\n"
            "  ScheduleFull Time=[07:05] Mon=[1] Sun=[1]\n"
            "  ScheduleIncremental Time=[00:00] Wed=[1]\n");
}

TEST(JobDefinitionSave, SavedJobLoadsBackEqual) {
  job_test::UseTimeZone("CET-1CEST,M3.5.0,M10.5.0/3");
  job_test::DefinitionsDir dir;
  job_test::ScopedClock clock(job_test::Utc(2024, 1, 8, 12, 0));
  BackupJob job = SampleJob("Round trip");
  job.ExcludeFilePatterns = {"*.o", "*.o"};
  // Characters XML 1.0 cannot hold become U+FFFD instead of making the file unreadable.
  job.TargetPath = std::string("tab\there, bell\x07, bad byte \xff, cr\r");
  ASSERT_TRUE(job.Save());
  EXPECT_FALSE(job.Modified);
  // Monday 13:00: Monday's 07:05 has passed, Sunday's is next.
  EXPECT_EQ(job_test::LocalText(job.ScheduleFull.NextRun), "2024-01-14 07:05:00 CET");
  EXPECT_EQ(job_test::LocalText(job.ScheduleIncremental.NextRun), "2024-01-10 00:00:00 CET");

  // Loading and saving again writes the same bytes: every value survived.
  BackupJob loaded;
  ASSERT_TRUE(loaded.Load(job.DefinitionPath));
  EXPECT_EQ(loaded.TargetPath, "tab\there, bell\xEF\xBF\xBD, bad byte \xEF\xBF\xBD, cr\r");
  EXPECT_EQ(loaded.ExcludeFilePatterns, job.ExcludeFilePatterns);
  ASSERT_TRUE(loaded.Save("BackupDef/copy.xml"));
  EXPECT_EQ(ReadFile(dir.Path("BackupDef/copy.xml")), ReadFile(dir.Path(job.DefinitionPath)));
  // A new job's unset incremental time is written as 00:00 and reads back set.
  EXPECT_TRUE(loaded.ScheduleIncremental.HasTime());
}

std::string Repeat(const std::string& text, int count) {
  std::string repeated;
  for (int i = 0; i < count; ++i) repeated += text;
  return repeated;
}

TEST(JobDefinitionSave, FileNamesStayInsideBackupDef) {
  struct Case {
    std::string title;
    std::string file;
    std::string loadedTitle;  // empty: the title itself
  };
  const Case cases[] = {
      {"../x", "___x.xml", ""},
      {"a/b", "a_b.xml", ""},
      {"..", "__.xml", ""},
      {"/etc/passwd", "_etc_passwd.xml", ""},
      {"../../../../tmp/evil", "____________tmp_evil.xml", ""},
      {std::string("x\x01y\nz\x7f"), "x_y_z_.xml", "x\xEF\xBF\xBDy\nz\x7f"},
      {"", "_.xml", ""},
      {".hidden", "_hidden.xml", ""},
      {"back\\slash", "back\\slash.xml", ""},
      {"Wait... what?", "Wait__. what?.xml", ""},
      // Cut to 200 bytes at a character boundary.
      {std::string(150, 'a') + Repeat("é", 30), std::string(150, 'a') + Repeat("é", 25) + ".xml",
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    job_test::DefinitionsDir dir;
    BackupJob job(c.title);
    ASSERT_TRUE(job.Save());
    EXPECT_EQ(job.DefinitionPath, "BackupDef/" + c.file);
    EXPECT_EQ(dir.ListDefinitions(), c.file);
    std::string entries;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path(""))) {
      entries += entry.path().filename().string() + "|";
    }
    EXPECT_EQ(entries, "BackupDef|");
    BackupJob loaded;
    ASSERT_TRUE(loaded.Load(job.DefinitionPath));
    EXPECT_EQ(loaded.BackupTitle, c.loadedTitle.empty() ? c.title : c.loadedTitle);
  }
}

TEST(JobDefinitionSave, JobsWithTheSameTitleGetTheirOwnFiles) {
  job_test::DefinitionsDir dir;
  testing_support::WriteFile(dir.Path("BackupDef/Home.xml"), "from an earlier session");
  BackupJob first("Home");
  BackupJob second("Home");
  BackupJob third("Home");
  first.Description = "first";
  second.Description = "second";
  ASSERT_TRUE(first.Save());
  ASSERT_TRUE(second.Save());
  ASSERT_TRUE(third.Save());
  EXPECT_EQ(first.DefinitionPath, "BackupDef/Home (2).xml");
  EXPECT_EQ(second.DefinitionPath, "BackupDef/Home (3).xml");
  EXPECT_EQ(third.DefinitionPath, "BackupDef/Home (4).xml");
  EXPECT_EQ(ReadFile(dir.Path("BackupDef/Home.xml")), "from an earlier session");

  // Renaming keeps the file; each job keeps writing its own.
  first.BackupTitle = "Renamed";
  first.Description = "first again";
  first.Modified = true;
  ASSERT_TRUE(first.Save());
  EXPECT_EQ(first.DefinitionPath, "BackupDef/Home (2).xml");
  EXPECT_EQ(dir.ListDefinitions(), "Home (2).xml|Home (3).xml|Home (4).xml|Home.xml");
  BackupJob loaded;
  ASSERT_TRUE(loaded.Load("BackupDef/Home (2).xml"));
  EXPECT_EQ(loaded.BackupTitle, "Renamed");
  EXPECT_EQ(loaded.Description, "first again");
  ASSERT_TRUE(loaded.Load("BackupDef/Home (3).xml"));
  EXPECT_EQ(loaded.Description, "second");
}

TEST(JobDefinitionSave, ExplicitPathBecomesTheDefinitionPathOfANewJob) {
  job_test::DefinitionsDir dir;
  BackupJob job("Elsewhere");
  ASSERT_TRUE(job.Save(dir.Path("other.xml")));
  EXPECT_EQ(job.DefinitionPath, dir.Path("other.xml"));
  EXPECT_EQ(dir.ListDefinitions(), "");
  BackupJob loaded;
  EXPECT_TRUE(loaded.Load(dir.Path("other.xml")));
}

TEST(JobDefinitionSave, FailedSaveKeepsThePreviousFileAndModified) {
  job_test::DefinitionsDir dir;
  BackupJob job = SampleJob("Kept");
  ASSERT_TRUE(job.Save());
  const std::string before = ReadFile(dir.Path("BackupDef/Kept.xml"));
  job.Description = "changed";
  job.Modified = true;

  testing_support::FaultEnv faults;
  faults.FailWritesAfter("BackupDef", 10);
  platform::Env::Install(&faults);
  bool saved;
  {
    wxLogNull quiet;
    saved = job.Save();
  }
  platform::Env::Install(nullptr);
  EXPECT_FALSE(saved);
  EXPECT_TRUE(job.Modified);
  EXPECT_EQ(job.DefinitionPath, "BackupDef/Kept.xml");
  EXPECT_EQ(ReadFile(dir.Path("BackupDef/Kept.xml")), before);
  EXPECT_EQ(dir.ListDefinitions(), "Kept.xml");

  ASSERT_TRUE(job.Save());
  EXPECT_FALSE(job.Modified);
  BackupJob loaded;
  ASSERT_TRUE(loaded.Load("BackupDef/Kept.xml"));
  EXPECT_EQ(loaded.Description, "changed");
}

TEST(JobDefinitionSave, FailedFirstSaveLeavesNoFileBehind) {
  job_test::DefinitionsDir dir;
  BackupJob job("Fresh");
  testing_support::FaultEnv faults;
  faults.FailWritesAfter("BackupDef", 0);
  platform::Env::Install(&faults);
  bool saved;
  {
    wxLogNull quiet;
    saved = job.Save();
  }
  platform::Env::Install(nullptr);
  EXPECT_FALSE(saved);
  EXPECT_TRUE(job.DefinitionPath.empty());
  EXPECT_EQ(dir.ListDefinitions(), "");

  // Without a BackupDef directory nothing is created anywhere.
  std::filesystem::remove(dir.Path("BackupDef"));
  {
    wxLogNull quiet;
    EXPECT_FALSE(job.Save());
  }
  EXPECT_TRUE(job.DefinitionPath.empty());
  EXPECT_FALSE(std::filesystem::exists(dir.Path("BackupDef")));

  std::filesystem::create_directory(dir.Path("BackupDef"));
  ASSERT_TRUE(job.Save());
  EXPECT_EQ(job.DefinitionPath, "BackupDef/Fresh.xml");
}

}  // namespace
