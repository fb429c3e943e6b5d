// The run history file: records read back as written, a line cut short by a
// crash skipped, appends of several processes at once all kept, the oldest
// records dropped past the size limit.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include <set>

#include "engine/RunHistory.h"
#include "tests/support/TempDir.h"

namespace {

RunRecord Record(const std::string& job, int64_t start, const std::string& reason = "") {
  return {start, start + 61, start % 2 == 0, RunTrigger::Scheduled,
          reason.empty() ? RunRecord::Outcome::Succeeded : RunRecord::Outcome::Failed,
          reason, 3, 4096, 2, job, "/home/me/BackupDef/" + job + ".xml"};
}

TEST(RunHistoryTest, ReadsBackWholeRecordsAndSkipsATornLine) {
  testing_support::TempDir tmp;
  RunHistory history(tmp / "state/arkivault");
  const RunRecord failed = Record("Docs\tnew", 1765000000, "No space left\non device \\ 'x'");
  const RunRecord later = Record("Docs\tnew", 1765000200);
  ASSERT_EQ(0, history.Append(failed));
  // A crash cut the next record short, without its newline.
  const std::string torn = Record("Torn", 1765000100).ToLine();
  const std::string cut = torn.substr(0, torn.size() - 4);
  std::ofstream(history.FilePath(), std::ios::app) << cut;
  ASSERT_EQ(0, history.Append(later));
  EXPECT_EQ(failed.ToLine() + cut + "\n" + later.ToLine(),
            testing_support::ReadFile(history.FilePath()));
  const std::vector<RunRecord> records = history.Load();
  ASSERT_EQ(2u, records.size());
  EXPECT_EQ(failed.ToLine(), records[0].ToLine());
  EXPECT_EQ(later.ToLine(), records[1].ToLine());
  struct stat st;
  ASSERT_EQ(0, stat(history.FilePath().c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);  // it names the user's files
  EXPECT_EQ(later.start, history.LastSuccess(later.definition, true));
  EXPECT_EQ(0, history.LastSuccess(later.definition, false));
}

TEST(RunHistoryTest, FiftyAppendsFromFiveProcessesAreAllKept) {
  testing_support::TempDir tmp;
  RunHistory history(tmp / "state");
  std::vector<pid_t> children;
  for (int process = 0; process < 5; ++process) {
    children.push_back(fork());
    if (children.back() != 0) continue;
    int failures = 0;
    for (int i = 0; i < 10; ++i) failures += history.Append(Record("P", process * 100 + i)) != 0;
    _exit(failures);
  }
  for (const pid_t child : children) {
    int status = -1;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::set<int64_t> starts;
  for (const RunRecord& record : history.Load()) starts.insert(record.start);
  EXPECT_EQ(50u, starts.size());
}

TEST(RunHistoryTest, DropsTheOldestRecordsPastTheLimit) {
  testing_support::TempDir tmp;
  RunHistory history(tmp / "state");
  const std::string reason(8000, 'r');
  const int count = static_cast<int>(RunHistory::kMaxBytes / reason.size()) + 20;
  for (int i = 0; i < count; ++i) ASSERT_EQ(0, history.Append(Record("J", i, reason)));
  const std::string text = testing_support::ReadFile(history.FilePath());
  EXPECT_LE(text.size(), RunHistory::kMaxBytes);
  // Whole records only, the newest kept, none missing in between.
  const std::vector<RunRecord> records = history.Load();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(count - 1, records.back().start);
  EXPECT_GT(records.front().start, 0);
  EXPECT_EQ(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')), records.size());
  EXPECT_EQ(records.back().start - records.front().start + 1, static_cast<int64_t>(records.size()));
}

}  // namespace
