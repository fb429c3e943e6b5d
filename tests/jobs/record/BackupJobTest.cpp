// The job record and its definition file: time texts, the setters' Modified
// rules, the next run (also on days when the
// clocks change); the documents Load accepts and refuses and the odd values
// it falls back on; the format Save writes, read back by an independent XML
// parser; safe and unique file names; saves that fail.
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>

#include <gtest/gtest.h>
#include <wx/log.h>

#include "jobs/BackupJob.h"
#include "platform/Clock.h"
#include "tests/jobs/DefinitionsDir.h"
#include "tests/support/FaultEnv.h"
#include "tests/support/TempDir.h"

namespace {

using job_test::DefinitionsDir;
using testing_support::ReadFile;
using testing_support::RunCommand;
using testing_support::ShellQuote;
using testing_support::WriteFile;
using List = BackupJob::StringList;
using S = JobSchedule;

// A ManualClock installed for its lifetime.
struct ScopedClock : platform::ManualClock {
  explicit ScopedClock(int64_t now) : ManualClock(now) { platform::Clock::Install(this); }
  ~ScopedClock() override { platform::Clock::Install(nullptr); }
};

// Berlin: CET (UTC+1) in winter, CEST (UTC+2) from the last Sunday of March,
// 02:00 -> 03:00, to the last Sunday of October, 03:00 -> 02:00.
void UseBerlinTime() {
  setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  tzset();
}

// Seconds since the epoch of the given UTC date and time.
int64_t Utc(int year, int month, int day, int hour, int minute, int second = 0) {
  std::tm tm{};
  tm.tm_year = year - 1900, tm.tm_mon = month - 1, tm.tm_mday = day;
  tm.tm_hour = hour, tm.tm_min = minute, tm.tm_sec = second;
  return timegm(&tm);
}

// "YYYY-MM-DD HH:MM:SS ZONE" in local time, or "unset".
std::string LocalText(const wxDateTime& moment) {
  if (!moment.IsValid()) return "unset";
  return moment.Format("%Y-%m-%d %H:%M:%S %Z").ToStdString(wxConvUTF8);
}

// A job that uses every field of the definition file, with markup and
// non-ASCII characters in every text value.
BackupJob SampleJob(const std::string& title) {
  BackupJob job(title);
  job.BackupName = "Docs & <Co> ü";
  job.Description = "Straße \"quoted\" <b>&amp;</b>\nline 2";
  job.Active = false;
  job.SourceRootPath = "/home/zoë/<src>";
  job.TargetPath = "/mnt/€'s\t\x07\xff\xed\xa0\x80\r";  // \xed\xa0\x80: a UTF-16 surrogate
  job.Suffix = SuffixKind::YearWeek;
  job.Archives = {"Docs & <Ä>", ""};
  job.ExcludePaths = {"Docs/\"tmp\" ñ"};
  job.IncludeFilePatterns = {"*.odt & <é>", "*"};
  job.ExcludeFilePatterns = {"<*.o> ø", "<*.o> ø"};
  job.IncludeDirPatterns = {"д* & <x>"};
  job.ExcludeDirPatterns = {".git '€' <y>"};
  job.ExcludeHiddenFiles = true;
  job.SubDirIndividual = true;
  job.Priority = JobPriority::Max;
  job.SetFullTime("7:5");
  job.SetFullDay(JobSchedule::Sun, true);
  job.SetFullDay(JobSchedule::Mon, true);
  job.SetIncrementalDay(JobSchedule::Wed, true);
  return job;
}

TEST(BackupJobRecord, ParsesTimeTexts) {
  const std::pair<std::string, const char*> cases[] = {
      {"8:5", "08:05"},   {"7:30pm", "07:30"}, {"24:00", "unset"}, {"0730", "unset"},
      {"00:00", "00:00"}, {"23:59", "23:59"},  {"12:60", "unset"}, {"-1:00", "unset"},
      {" 9: 7", "09:07"}, {"+9:-0", "09:00"},  {":", "00:00"},     {"", "unset"},
      {"1:2:3", "01:02"}, {"7:5 ", "07:05"},   {"99999999999999999999:00", "unset"},
      {"5:99999999999999999999", "unset"},
  };
  for (const auto& [text, expected] : cases) {
    JobSchedule schedule;
    schedule.Time = JobSchedule::ParseTime(text);
    EXPECT_EQ(schedule.HasTime() ? schedule.TimeText() : "unset", expected) << text;
    EXPECT_EQ(schedule.HasTime() ? schedule.Time.GetSecond() : 0, 0) << text;
  }
}

// "<Modified> <full time> <full days> <incremental time> <incremental days>",
// an unset time shown as "--:--".
std::string State(const BackupJob& job) {
  const auto part = [](const JobSchedule& s) {
    return " " + (s.HasTime() ? s.TimeText() : "--:--") + " " + std::to_string(s.Days);
  };
  return std::to_string(job.Modified) + part(job.ScheduleFull) + part(job.ScheduleIncremental);
}

TEST(BackupJobRecord, SettersSetModifiedOnlyOnChange) {
  using Change = std::function<void(BackupJob&)>;  // applied to a blank job
  const std::pair<Change, const char*> cases[] = {
      {[](BackupJob& j) { j = BackupJob("New"); j.SetFullTime("00:00"); }, "1 00:00 0 --:-- 0"},
      {[](BackupJob& j) { j.SetFullTime("00:00"); }, "0 00:00 0 00:00 0"},
      {[](BackupJob& j) { j.SetFullTime("0:0"); }, "0 00:00 0 00:00 0"},
      {[](BackupJob& j) { j.SetFullTime("8:5"); }, "1 08:05 0 00:00 0"},
      {[](BackupJob& j) { j.SetFullTime("25:00"); }, "1 --:-- 0 00:00 0"},
      {[](BackupJob& j) { j.SetIncrementalTime("13:45"); }, "1 00:00 0 13:45 0"},
      {[](BackupJob& j) { j.SetFullDay(S::Mon, false); }, "0 00:00 0 00:00 0"},
      {[](BackupJob& j) { j.SetFullDay(S::Wed, true); }, "1 00:00 4 00:00 0"},
      {[](BackupJob& j) { j.SetIncrementalDay(S::Sat, true); }, "1 00:00 0 00:00 32"},
      {[](BackupJob& j) { j.SetFullDay(S::Sun, true); j.Modified = false;
                          j.SetFullDay(S::Sun, true); }, "0 00:00 64 00:00 0"},
      {[](BackupJob& j) { j.ScheduleFull.Days = S::Mon | S::Fri; j.SetFullDay(S::Mon, false); },
       "1 00:00 16 00:00 0"},
      {[](BackupJob& j) { j.SetSuffixText("Date"); j.SetPriorityText("Max"); },
       "0 00:00 0 00:00 0"},
  };
  for (const auto& [change, expected] : cases) {
    BackupJob job;
    change(job);
    EXPECT_EQ(State(job), expected);
  }
}

TEST(BackupJobNextRun, FindsTheNextScheduledMomentAlsoWhenTheClocksChange) {
  UseBerlinTime();
  // Weekdays, time, now, the next run in local time.
  // 2024-01-08 is a Monday; 09:00 CET is 08:00 UTC. The clocks go forward on
  // 2024-03-31 at 01:00 UTC (02:30 does not exist) and back on 2024-10-27 at
  // 01:00 UTC (02:30 occurs twice).
  const std::tuple<uint32_t, const char*, int64_t, const char*> cases[] = {
      {S::Mon, "9:00", Utc(2024, 1, 8, 8, 0, 0), "2024-01-08 09:00:00 CET"},  // exactly then
      {S::Mon, "9:00", Utc(2024, 1, 8, 8, 0, 1), "2024-01-15 09:00:00 CET"},  // a second late
      {S::Wed | S::Sat, "06:30", Utc(2024, 1, 8, 8, 0), "2024-01-10 06:30:00 CET"},
      {S::AllDays, "07:00", Utc(2024, 1, 8, 8, 0), "2024-01-09 07:00:00 CET"},
      {S::Tue, "12:00", Utc(2024, 12, 31, 12, 0), "2025-01-07 12:00:00 CET"},
      {S::Thu, "10:00", Utc(2024, 2, 27, 0, 0), "2024-02-29 10:00:00 CET"},
      {0, "9:00", Utc(2024, 1, 8, 8, 0), "unset"},
      {0x80, "9:00", Utc(2024, 1, 8, 8, 0), "unset"},
      {S::Tue, "25:00", Utc(2024, 1, 8, 8, 0), "2024-01-09 00:00:00 CET"},  // unset time
      // Spring: a time that does not exist runs when the clocks jump.
      {S::Sun, "02:30", Utc(2024, 3, 31, 0, 0), "2024-03-31 03:00:00 CEST"},
      {S::Sun, "02:30", Utc(2024, 3, 31, 1, 0, 0), "2024-03-31 03:00:00 CEST"},
      {S::Sun, "02:30", Utc(2024, 3, 31, 1, 0, 1), "2024-04-07 02:30:00 CEST"},
      {S::Sun, "02:00", Utc(2024, 3, 25, 0, 0), "2024-03-31 03:00:00 CEST"},
      {S::Mon, "09:00", Utc(2024, 3, 30, 10, 0), "2024-04-01 09:00:00 CEST"},
      // Autumn: a time that occurs twice runs at its first occurrence only.
      {S::Sun, "02:30", Utc(2024, 10, 26, 22, 0), "2024-10-27 02:30:00 CEST"},
      {S::Sun, "02:30", Utc(2024, 10, 27, 0, 45), "2024-11-03 02:30:00 CET"},
      {S::Mon, "09:00", Utc(2024, 10, 26, 10, 0), "2024-10-28 09:00:00 CET"},
      {S::AllDays, "01:30", Utc(2024, 10, 26, 0, 0), "2024-10-27 01:30:00 CEST"},
  };
  for (const auto& [days, time, now, expected] : cases) {
    SCOPED_TRACE(testing::Message() << time << " at " << now);
    ScopedClock clock(now);
    BackupJob job;
    job.ScheduleFull.Days = job.ScheduleIncremental.Days = days;
    job.SetFullTime(time);
    job.SetIncrementalTime(time);
    job.Modified = false;
    EXPECT_EQ(LocalText(job.NextFullBackupTime()), expected);
    EXPECT_EQ(LocalText(job.NextIncrementalBackupTime()), expected);
  }
}

TEST(BackupJobNextRun, CacheIsRecomputedWhenPassedOrModified) {
  UseBerlinTime();
  ScopedClock clock(Utc(2024, 1, 8, 7, 0));  // Monday 08:00 CET
  BackupJob job;  // at 00:00
  job.ScheduleFull.Days = S::Tue;
  EXPECT_EQ(LocalText(job.NextFullBackupTime()), "2024-01-09 00:00:00 CET");
  // An assignment without Modified keeps the cached moment while it lies ahead.
  job.ScheduleFull.Days = S::Wed;
  EXPECT_EQ(LocalText(job.NextFullBackupTime()), "2024-01-09 00:00:00 CET");
  job.Modified = true;
  EXPECT_EQ(LocalText(job.NextFullBackupTime()), "2024-01-10 00:00:00 CET");
  job.Modified = false;
  clock.Set(Utc(2024, 1, 9, 23, 0, 1));  // one second after the cached run
  EXPECT_EQ(LocalText(job.NextFullBackupTime()), "2024-01-17 00:00:00 CET");
}

TEST(JobDefinitionLoad, AcceptsAndRefusesDocuments) {
  // The title read, or nullptr when the document is refused.
  const std::pair<std::string, const char*> cases[] = {
      {"<Arkivault><BackupDef BackupTitle=\"A\"/></Arkivault>", "A"},
      {"<DizeRorize><BackupDef BackupTitle=\"D\"/></DizeRorize>", "D"},
      {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Arkivault>\n \t\n  <BackupDef "
       "BackupTitle=\"W\"/>\n</Arkivault>\n", "W"},
      {"<Arkivault><BackupDef BackupTitle=\"1\"/><BackupDef BackupTitle=\"2\"/></Arkivault>", "1"},
      {"<Arkivaults><BackupDef BackupTitle=\"X\"/></Arkivaults>", nullptr},
      {"<arkivault><BackupDef BackupTitle=\"X\"/></arkivault>", nullptr},
      {"<Arkivault><Other/><BackupDef BackupTitle=\"X\"/></Arkivault>", nullptr},
      {"<Arkivault>text<BackupDef BackupTitle=\"X\"/></Arkivault>", nullptr},
      {"<Arkivault><!-- c --><BackupDef BackupTitle=\"X\"/></Arkivault>", nullptr},
      {"<Arkivault/>", nullptr},
      {"<Arkivault><BackupDef BackupTitle=\"X\"></Arkivault>", nullptr},
      {"", nullptr},
  };
  testing_support::TempDir dir;
  wxLogNull quiet;
  for (const auto& [contents, title] : cases) {
    SCOPED_TRACE(contents);
    WriteFile(dir / "job.xml", contents);
    BackupJob job("Earlier");
    job.Modified = true;
    EXPECT_EQ(job.Load(dir / "job.xml"), title != nullptr);
    EXPECT_EQ(job.BackupTitle, title ? title : "");
    EXPECT_EQ(job.DefinitionPath, dir / "job.xml");
    EXPECT_FALSE(job.Modified);
  }
  // What is not a regular file is refused without blocking on it; a file
  // over 16 MiB is refused before it is read.
  ASSERT_EQ(RunCommand("mkfifo " + ShellQuote(dir / "fifo")), 0);
  std::filesystem::create_directory(dir / "folder");
  WriteFile(dir / "huge.xml", "<Arkivault><BackupDef BackupTitle=\"H\"/></Arkivault>");
  std::filesystem::resize_file(dir / "huge.xml", 100u << 20);
  for (const std::string name : {"missing.xml", "fifo", "folder", "huge.xml"}) {
    EXPECT_FALSE(BackupJob().Load(dir / name)) << name;
  }
  // A 15 MiB description of short lines loads (text is gathered in linear time).
  std::string description;
  while (description.size() < (15u << 20)) description += std::string(79, 'x') + "\n";
  WriteFile(dir / "big.xml", "<Arkivault><BackupDef><Description>" + description +
                                 "</Description></BackupDef></Arkivault>");
  BackupJob big;
  ASSERT_TRUE(big.Load(dir / "big.xml"));
  EXPECT_EQ(description, big.Description);
  // Nesting past a limit is refused, never followed down the stack; so are
  // 16 MiB of attributes in one tag or spread over short ones, which would
  // keep the parser busy for seconds. A long path in a list loads.
  std::string attributes, elements;
  for (size_t i = 0; attributes.size() < (16u << 20) - 100; ++i) {
    attributes += " a" + std::to_string(i) + "=\"" + std::string(20, 'v') + "\"";
  }
  for (size_t i = 0; elements.size() < (16u << 20) - 100; ++i) {
    elements += "<n a" + std::to_string(i) + "=\"\"/>";
  }
  std::string path = "<ExcludePaths><Path Path=\"";
  while (path.size() < 60000) path += "&amp;";
  path += "\"/></ExcludePaths>";
  for (const size_t depth : {10, 10000, 1000000, 0, 1, 2}) {
    std::string open, close;
    for (size_t i = 0; i < depth; ++i) open += "<n>", close += "</n>";
    if (depth == 1) open = elements, close.clear();
    if (depth == 2) open = path, close.clear();
    WriteFile(dir / "large.xml", "<Arkivault><BackupDef" + (depth == 0 ? attributes : "") + ">" +
                                     open + close + "</BackupDef></Arkivault>");
    EXPECT_EQ(depth == 10 || depth == 2, BackupJob().Load(dir / "large.xml")) << depth;
  }
}

// "1" or "0" for Active, ExcludeHiddenDirs, ExcludeHiddenFiles, NoOverwrite,
// SubDirIndividual and NoEmpty; then suffix, priority, KeepOld, KeepDays, CatchUp.
std::string Settings(const BackupJob& j) {
  std::string flags;
  for (bool on : {j.Active, j.ExcludeHiddenDirs, j.ExcludeHiddenFiles, j.NoOverwrite,
                  j.SubDirIndividual, j.NoEmpty}) {
    flags += on ? '1' : '0';
  }
  return flags + " " + j.SuffixText() + " " + j.PriorityText() + " " + std::to_string(j.KeepOld) +
         " " + std::to_string(j.KeepDays) + " " + (j.CatchUp ? "1" : "0");
}

TEST(JobDefinitionLoad, ReadsValuesAndFallsBackOnBadOnes) {
  using Check = std::function<void(const BackupJob&)>;
  // BackupDef's attributes, its children, and what the job holds then.
  const std::tuple<const char*, const char*, Check> cases[] = {
      // No CatchUp: files from before the attribute behave as before.
      {"", "", [](const BackupJob& j) {
         EXPECT_EQ(Settings(j) + " " + State(j), "100000 None Default 0 0 0 0 00:00 0 00:00 0");
         EXPECT_TRUE(j.BackupTitle.empty() && j.Description.empty() && j.IncludeFilePatterns.empty());
       }},
      {"BackupName=\"N\" Suffix=\"Weekday\" Active=\"no\" SourceRootPath=\"/src\" "
       "TargetPath=\"/dst\" ExcludeHiddenDirs=\"yes\" ExcludeHiddenFiles=\"yes\" "
       "NoOverwrite=\"yes\" SubDirIndividual=\"yes\" NoEmpty=\"yes\" Priority=\"Min\" U=\"x\" "
       "KeepOld=\"7\" KeepDays=\"30\" CatchUp=\"yes\"", "", [](const BackupJob& j) {
         EXPECT_EQ(Settings(j) + " " + j.BackupName + " " + j.SourceRootPath + " " + j.TargetPath,
                   "011111 Weekday Min 7 30 1 N /src /dst");
       }},
      // (YearWeek and Max: the saved sample job, loaded and saved again.)
      {"Suffix=\"Date\"", "", [](const BackupJob& j) { EXPECT_EQ(j.SuffixText(), "Date"); }},
      {"Active=\"Yes\" NoOverwrite=\"1\" NoEmpty=\"YES\" SubDirIndividual=\"true\" "
       "Suffix=\"date\" Priority=\"max\" KeepOld=\"-1\" KeepDays=\"3d\"", "",
       [](const BackupJob& j) { EXPECT_EQ(Settings(j), "000000 None Default 0 0 0"); }},
      // Time 7:5 and 25:00; only a day value of exactly "0" is off (full: Tue,
      // Wed, Sun); a schedule given twice takes the later time and both days (Fri, Sat).
      {"", "<ScheduleFull Time=\"7:5\" Mon=\"0\" Tue=\"\" Wed=\"no\" Sun=\"1\"/>"
           "<ScheduleIncremental Time=\"1:00\" Fri=\"00\"/>"
           "<ScheduleIncremental Time=\"25:00\" Mon=\"0\" Sat=\" 0\"/>",
       [](const BackupJob& j) { EXPECT_EQ(State(j), "0 07:05 70 --:-- 48"); }},
      {"BackupDescription=\"attribute\"", "<Description>element</Description>",
       [](const BackupJob& j) { EXPECT_EQ(j.Description, "element"); }},
      {"BackupDescription=\"attribute\"", "<Description/>",
       [](const BackupJob& j) { EXPECT_EQ(j.Description, "attribute"); }},
      {"", "<Description><!-- note -->text &amp; more</Description>",
       [](const BackupJob& j) { EXPECT_EQ(j.Description, "text & more"); }},
      // A list given twice appends; entries of other names or without their
      // attribute, and unknown lists, are ignored.
      {"", "<Archives><Archive Path=\"a\"/><Archive Path=\"\"/></Archives>"
           "<IncludeFilePatterns><Pattern Pattern=\"*.doc\"/></IncludeFilePatterns>"
           "<Archives><Archive Path=\"a\"/><Archive/><Path Path=\"x\"/></Archives>"
           "<IncludeFilePatterns><Pattern Pattern=\"*.txt\"/></IncludeFilePatterns>"
           "<ExcludePaths><Archive Path=\"x\"/><Path Path=\"tmp\"/></ExcludePaths>"
           "<ExcludeFilePatterns><Pattern Path=\"x\"/></ExcludeFilePatterns>"
           "<Unknown><Pattern Pattern=\"x\"/></Unknown>", [](const BackupJob& j) {
         EXPECT_EQ(j.Archives, (List{"a", "", "a"}));
         EXPECT_EQ(j.IncludeFilePatterns, (List{"*.doc", "*.txt"}));
         EXPECT_EQ(j.ExcludePaths, List{"tmp"});
         EXPECT_TRUE(j.ExcludeFilePatterns.empty() && j.ExcludeDirPatterns.empty());
       }},
  };
  // Each load starts from a job that holds other values, which must all go.
  testing_support::TempDir dir;
  for (const auto& [attributes, children, check] : cases) {
    SCOPED_TRACE(std::string(attributes) + children);
    WriteFile(dir / "job.xml", std::string("<Arkivault><BackupDef ") + attributes + ">" +
                                   children + "</BackupDef></Arkivault>");
    BackupJob job = SampleJob("Earlier");
    job.NextFullBackupTime();
    ASSERT_TRUE(job.Load(dir / "job.xml"));
    EXPECT_FALSE(job.ScheduleFull.NextRun.IsValid());
    check(job);
  }
}

// Saves `job` and returns what Python's xml.etree reads from the file: each
// element with its attributes in file order and its text, indented by depth;
// the entries of a list follow their list on its line.
std::string SaveAndReadWithPython(BackupJob& job) {
  EXPECT_TRUE(job.Save());
  const std::string dump =
      "import sys, xml.etree.ElementTree as ET\n"
      "sys.stdout.reconfigure(encoding='utf-8')\n"
      "def dump(e, depth):\n"
      "    line = e.tag + ''.join(' %s=[%s]' % a for a in e.attrib.items())\n"
      "    if e.text and e.text.strip(): line += ' text=[%s]' % e.text\n"
      "    space = '\\n' + ' ' * (depth + 1) if depth < 2 else ' | '\n"
      "    return line + ''.join(space + dump(c, depth + 1) for c in e)\n"
      "print(dump(ET.parse(sys.argv[1]).getroot(), 0))\n";
  std::string output;
  EXPECT_EQ(RunCommand("python3 -c " + ShellQuote(dump) + " " + ShellQuote(job.DefinitionPath),
                       &output), 0);
  return output;
}

TEST(JobDefinitionSave, SavedFileReadsBackInOrderAndLoadsEqual) {
  UseBerlinTime();
  DefinitionsDir dir;
  ScopedClock clock(Utc(2024, 1, 8, 12, 0));
  BackupJob job = SampleJob("<Fotos> & \"Größe\" 日本 😀");
  // Each byte XML 1.0 cannot hold (bell, bytes that are not UTF-8 text)
  // is carried as U+F700 plus the byte; tab and carriage return survive.
  EXPECT_EQ(SaveAndReadWithPython(job),
            "Arkivault\n"
            " BackupDef BackupTitle=[<Fotos> & \"Größe\" 日本 😀] BackupName=[Docs & <Co> ü] "
            "Suffix=[YearWeek] Active=[no] SourceRootPath=[/home/zoë/<src>] "
            "TargetPath=[/mnt/€'s\t\xEF\x9C\x87\xEF\x9F\xBF\xEF\x9F\xAD\xEF\x9E\xA0\xEF\x9E\x80\r] "
            "ExcludeHiddenDirs=[no] ExcludeHiddenFiles=[yes] NoOverwrite=[yes] "
            "SubDirIndividual=[yes] NoEmpty=[yes] Priority=[Max] KeepOld=[4] KeepDays=[0] CatchUp=[no]\n"
            "  Description text=[Straße \"quoted\" <b>&amp;</b>\nline 2]\n"
            "  Archives | Archive Path=[Docs & <Ä>] | Archive Path=[]\n"
            "  ExcludePaths | Path Path=[Docs/\"tmp\" ñ]\n"
            "  IncludeFilePatterns | Pattern Pattern=[*.odt & <é>] | Pattern Pattern=[*]\n"
            "  ExcludeFilePatterns | Pattern Pattern=[<*.o> ø] | Pattern Pattern=[<*.o> ø]\n"
            "  IncludeDirPatterns | Pattern Pattern=[д* & <x>]\n"
            "  ExcludeDirPatterns | Pattern Pattern=[.git '€' <y>]\n"
            "  ScheduleFull Time=[07:05] Mon=[1] Sun=[1]\n"
            "  ScheduleIncremental Time=[00:00] Wed=[1]\n");
  EXPECT_FALSE(job.Modified);
  // Monday 13:00: Monday's 07:05 has passed, Sunday's is next.
  EXPECT_EQ(LocalText(job.ScheduleFull.NextRun), "2024-01-14 07:05:00 CET");
  EXPECT_EQ(LocalText(job.ScheduleIncremental.NextRun), "2024-01-10 00:00:00 CET");

  // Loading and saving again writes the same bytes: every value survived, and
  // the new job's unset incremental time was written as 00:00.
  BackupJob loaded;
  ASSERT_TRUE(loaded.Load(job.DefinitionPath));
  EXPECT_TRUE(loaded.ScheduleIncremental.HasTime());
  ASSERT_TRUE(loaded.Save("BackupDef/b.xml"));
  EXPECT_EQ(ReadFile("BackupDef/b.xml"), ReadFile(job.DefinitionPath));
  // A path given to Save becomes the definition path of a job without one.
  BackupJob fresh("Fresh");
  ASSERT_TRUE(fresh.Save("BackupDef/c.xml"));
  EXPECT_EQ(fresh.DefinitionPath, "BackupDef/c.xml");
  EXPECT_EQ(dir.List(), "<Fotos> & \"Größe\" 日本 😀.xml|b.xml|c.xml");
}

TEST(JobDefinitionSave, FileNamesStayInsideBackupDef) {
  std::string longTitle(151, 'a');
  for (int i = 0; i < 30; ++i) longTitle += "é";
  const std::pair<std::string, std::string> cases[] = {
      {"../x", "___x.xml"}, {"a/b", "a_b.xml"}, {"..", "__.xml"}, {"", "_.xml"},
      {"/etc/passwd", "_etc_passwd.xml"}, {".hidden", "_hidden.xml"},
      {"x\x01y\nz\x7f", "x_y_z_.xml"},
      // Cut to at most 200 bytes without splitting a character.
      {longTitle, longTitle.substr(0, 199) + ".xml"},
  };
  for (const auto& [title, file] : cases) {
    SCOPED_TRACE(title);
    DefinitionsDir dir;
    BackupJob job(title);
    ASSERT_TRUE(job.Save());
    EXPECT_EQ(job.DefinitionPath, "BackupDef/" + file);
    EXPECT_EQ(dir.List(), file);
    EXPECT_EQ(dir.List("."), "BackupDef");
    EXPECT_TRUE(BackupJob().Load(job.DefinitionPath));
  }
}

TEST(JobDefinitionSave, JobsWithTheSameTitleGetTheirOwnFiles) {
  DefinitionsDir dir;
  WriteFile("BackupDef/Home.xml", "from an earlier session");
  BackupJob first("Home"), second("Home");
  ASSERT_TRUE(first.Save());
  ASSERT_TRUE(second.Save());
  EXPECT_EQ(first.DefinitionPath, "BackupDef/Home (2).xml");
  EXPECT_EQ(second.DefinitionPath, "BackupDef/Home (3).xml");
  // Renaming keeps the file; each job keeps writing its own.
  first.BackupTitle = "Renamed";
  ASSERT_TRUE(first.Save());
  EXPECT_EQ(dir.List(), "Home (2).xml|Home (3).xml|Home.xml");
  EXPECT_EQ(ReadFile("BackupDef/Home.xml"), "from an earlier session");
  BackupJob loaded;
  ASSERT_TRUE(loaded.Load("BackupDef/Home (2).xml"));
  EXPECT_EQ(loaded.BackupTitle, "Renamed");
}

// Saves `job` while every write below "BackupDef" fails after `bytes` bytes.
bool SaveWithFailingWrites(BackupJob& job, uint64_t bytes) {
  testing_support::FaultEnv faults;
  faults.FailWritesAfter("BackupDef", bytes);
  testing_support::ScopedEnv installed(&faults);
  wxLogNull quiet;
  return job.Save();
}

TEST(JobDefinitionSave, FailedSaveKeepsThePreviousFileAndModified) {
  DefinitionsDir dir;
  BackupJob job("Kept");
  job.Modified = true;
  // A failed first save gives back the name it claimed: no file is left.
  EXPECT_FALSE(SaveWithFailingWrites(job, 0));
  EXPECT_EQ(job.DefinitionPath + dir.List(), "");
  ASSERT_TRUE(job.Save());
  EXPECT_EQ(job.DefinitionPath, "BackupDef/Kept.xml");

  const std::string before = ReadFile("BackupDef/Kept.xml");
  job.Description = "changed";
  job.Modified = true;
  EXPECT_FALSE(SaveWithFailingWrites(job, 10));
  EXPECT_TRUE(job.Modified);
  EXPECT_EQ(ReadFile("BackupDef/Kept.xml"), before);
  EXPECT_EQ(dir.List(), "Kept.xml");

  // Without a BackupDef directory nothing is created anywhere.
  std::filesystem::remove_all("BackupDef");
  BackupJob fresh("Fresh");
  wxLogNull quiet;
  EXPECT_FALSE(fresh.Save());
  EXPECT_EQ(fresh.DefinitionPath + dir.List("."), "");
}

}  // namespace
