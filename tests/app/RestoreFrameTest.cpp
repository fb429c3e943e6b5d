// The restore window on Xvfb over a job with a full and two incremental runs:
// its backup points, the tree as of a point, a file's versions, restores into
// a new folder and into one that holds a file, the search, a missing target, a cancel.
#include <utime.h>
#include <wx/listctrl.h>
#include <wx/srchctrl.h>
#include <wx/textctrl.h>

#include <future>
#include <utility>

#include "engine/BackupProgress.h"
#include "engine/BackupRunner.h"
#include "jobs/BackupJob.h"
#include "tests/app/WindowTestSupport.h"
#include "tests/support/FaultEnv.h"
#include "ui/RestoreFrame.h"

namespace {

using testing_support::ReadFile;
using testing_support::WriteFile;

// Holds the first write of the restore's third file until `released` is set.
class HeldWriteEnv : public testing_support::FaultEnv {
 public:
  int OpenFile(const std::string& path, platform::OpenMode mode,
               std::unique_ptr<platform::File>* file) override {
    const int error = FaultEnv::OpenFile(path, mode, file);
    if (error == 0 && path.find(".arkivault-restore-") != std::string::npos && ++restored_ == 3) {
      file->reset(new HeldFile(*this, std::move(*file)));
    }
    return error;
  }
  std::promise<void> held, released;
  int restored_ = 0;

  struct HeldFile : platform::FileWrapper {
    HeldFile(HeldWriteEnv& env, std::unique_ptr<platform::File> target)
        : FileWrapper(std::move(target)), env(env) {}
    int Write(const void* buffer, size_t count) override {
      if (std::exchange(first, false)) {
        env.held.set_value();
        EXPECT_EQ(std::future_status::ready,
                  env.released.get_future().wait_for(std::chrono::seconds(30)))
            << "the held restore write was not released";
      }
      return FileWrapper::Write(buffer, count);
    }
    HeldWriteEnv& env;
    bool first = true;
  };
};

class RestoreFrameTest : public app_test::AppFixture {
 protected:
  // Writes `content` to src/`name` modified at `time`.
  void Put(const std::string& name, const std::string& content, int64_t time) {
    const std::string path = cwd / ("src/" + name);
    WriteFile(path, content);
    const struct utimbuf times{time, time};
    ::utime(path.c_str(), &times);
  }

  // The restore window opened by the command for `row` alone selected, once
  // it has read the archives.
  RestoreFrame* Open(long row) {
    for (long other = 0; other < List().GetItemCount(); ++other) {
      List().SetItemState(other, other == row ? wxLIST_STATE_SELECTED : 0, wxLIST_STATE_SELECTED);
    }
    Command("ID_RESTOREFILES");
    RestoreFrame* frame = nullptr;
    for (wxWindow* window : wxTopLevelWindows) {
      if (auto* found = dynamic_cast<RestoreFrame*>(window)) frame = found;
    }
    if (frame != nullptr) Settle(*frame);
    return frame;
  }

  // Waits (at most 10 s) until the window's work has ended and been shown.
  void Settle(RestoreFrame& frame) {
    EXPECT_TRUE(app_test::WaitFor([&] { return !frame.Working(); }, true))
        << "the restore window's work did not end";
  }

  // Every file below `destination` (by its path there) with its content.
  std::map<std::string, std::string> Files(const std::string& destination) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(destination)) {
      if (entry.is_directory()) continue;
      files[std::filesystem::relative(entry.path(), destination).string()] = ReadFile(entry.path());
    }
    return files;
  }

  // "first column|second column" of each row of `list`.
  std::vector<std::string> Rows(wxListCtrl& list) {
    std::vector<std::string> rows;
    for (long row = 0; row < list.GetItemCount(); ++row) {
      rows.push_back((list.GetItemText(row, 0) + "|" + list.GetItemText(row, 1)).utf8_string());
    }
    return rows;
  }
};

TEST_F(RestoreFrameTest, PointsTreeVersionsRestoreAndSearch) {
  // Full, then incremental runs a day apart: a.txt changes each time, d.txt comes in the second.
  WriteJob("docs.xml", "Docs", "src");
  WriteFile(cwd / "BackupDef/gone.xml",
            app_test::JobDefinition("Gone", cwd / "src", cwd / "unplugged"));
  const int64_t now = wxDateTime(1, wxDateTime::Dec, 2026, 10, 0, 0).GetTicks();
  BackupJob job;
  ASSERT_TRUE(job.Load(cwd / "BackupDef/docs.xml"));
  job.NoOverwrite = true;  // each run keeps the archives of the runs before it
  for (int run = 0; run < 3; ++run) {
    app_test::ScopedClock clock(now + run * 86400);
    Put("docs/a.txt", "alpha " + std::to_string(run), now + run * 86400 - 100);
    if (run == 0) Put("docs/b.txt", "beta", now - 100), Put("c.txt", "gamma", now - 100);
    if (run == 1) Put("docs/d.txt", "delta", now + 86400 - 100);
    BackupProgress progress;
    ASSERT_TRUE(BackupRunner(progress).RunNow(&job, run == 0)) << run;
  }
  ASSERT_TRUE(Start());
  RestoreFrame* frame = Open(0);
  ASSERT_NE(nullptr, frame);
  frame->SetSize(wxSize(1000, 660));

  // "Now" and the three runs, newest first, with their kinds.
  EXPECT_EQ((std::vector<std::string>{"Now (newest of every file)|",
                                      "2026-12-03 10:00:00|incremental",
                                      "2026-12-02 10:00:00|incremental", "2026-12-01 10:00:00|full"}),
            Rows(frame->PointsList()));
  EXPECT_EQ((std::vector<std::string>{"docs", "c.txt"}), frame->TopLevelNames());

  // The middle point has d.txt; the first run does not.
  frame->ChoosePoint(3);
  EXPECT_FALSE(frame->SelectPath("docs/d.txt"));
  frame->ChoosePoint(2);
  EXPECT_TRUE(frame->SelectPath("docs/d.txt"));
  app_test::Screenshot(*frame, "restore-points.png");

  // a.txt has one version per run, newest first; the oldest one restored alone.
  frame->ChoosePoint(0);
  ASSERT_TRUE(frame->SelectPath("docs/a.txt"));
  ASSERT_EQ(3, frame->VersionsList().GetItemCount());
  EXPECT_EQ("2026-12-01 10:00:00", frame->VersionsList().GetItemText(2).utf8_string());
  app_test::Screenshot(*frame, "restore-versions.png");
  const std::map<std::string, std::string> middle = {
      {"docs/a.txt", "alpha 1"}, {"docs/b.txt", "beta"}, {"docs/d.txt", "delta"}};
  std::map<std::string, std::string> mine = middle;
  mine["docs/a.txt"] = "mine";
  const struct {
    long version;          // -1: the docs folder as of the middle point
    std::string existing;  // put into the destination first
    int answer;
    std::map<std::string, std::string> expected;  // destination files afterwards
  } restores[] = {
      {2, "", wxYES, {{"docs/a.txt", "alpha 0"}}},
      {0, "", wxYES, {{"docs/a.txt", "alpha 2"}}},
      {-1, "", wxYES, middle},
      {-1, "mine", wxYES, mine},  // skipped
      {-1, "mine", wxNO, middle},  // replaced
  };
  for (size_t i = 0; i < std::size(restores); ++i) {
    const auto& row = restores[i];
    SCOPED_TRACE(i);
    const std::string destination = cwd / ("restored " + std::to_string(i));
    if (!row.existing.empty()) WriteFile(destination + "/docs/a.txt", row.existing);
    frame->Destination().SetValue(wxString::FromUTF8(destination));
    prompts.answers = {row.answer};
    if (row.version >= 0) {
      frame->ChoosePoint(0);
      ASSERT_TRUE(frame->SelectPath("docs/a.txt"));
      frame->RestoreVersion(row.version);
    } else {
      frame->ChoosePoint(2);
      ASSERT_TRUE(frame->SelectPath("docs"));
      frame->RestoreSelection();
    }
    Settle(*frame);
    EXPECT_EQ(row.expected, Files(destination));
    // Only a destination holding a file asks; skipping names the file.
    EXPECT_EQ(row.existing.empty() ? 0u : 1u, prompts.Take().size());
    EXPECT_EQ(row.answer == wxYES && !row.existing.empty(),
              frame->Report().Contains("Skipped (already there):\n  docs/a.txt"))
        << frame->Report();
  }
  app_test::Screenshot(*frame, "restore-summary.png");
  frame->Verify();
  Settle(*frame);
  EXPECT_TRUE(frame->Report().StartsWith("Every archive is sound:")) << frame->Report();
  EXPECT_EQ(4u, frame->Report().Freq('\n') + 1u);  // a line per archive

  // The search lists matching files by path, any case.
  frame->ChoosePoint(0);
  frame->SearchBox().SetValue("D.T");
  EXPECT_TRUE(app_test::WaitFor([&] { return frame->TopLevelNames().size() == 1; }, true));
  EXPECT_EQ(std::vector<std::string>{"docs/d.txt"}, frame->TopLevelNames());
  frame->SetSize(wxSize(600, 400));  // below its least size: it keeps that
  app_test::Screenshot(*frame, "restore-search-small.png");
  frame->Destroy();

  // A job whose target is missing says so.
  RestoreFrame* gone = Open(1);
  ASSERT_NE(nullptr, gone);
  EXPECT_TRUE(gone->Notice().Contains("cannot be found")) << gone->Notice();
  EXPECT_TRUE(gone->TopLevelNames().empty());
}

// Cancel pressed while the third of five files is being written: the two
// before it are whole, nothing else is left in the destination, the summary
// says so, and the window restores everything afterwards.
TEST_F(RestoreFrameTest, CancelDuringALargeRestore) {
  WriteJob("big.xml", "Big", "src");
  std::map<std::string, std::string> all;
  for (int i = 1; i <= 5; ++i) {
    const std::string name = "big/part " + std::to_string(i) + ".bin";
    all[name] = testing_support::NoiseBytes(300000, i);  // several chunks per file
    WriteFile(cwd / ("src/" + name), all[name]);
  }
  BackupJob job;
  ASSERT_TRUE(job.Load(cwd / "BackupDef/big.xml"));
  BackupProgress progress;
  ASSERT_TRUE(BackupRunner(progress).RunNow(&job, true));
  HeldWriteEnv env;
  testing_support::ScopedEnv installed(&env);
  ASSERT_TRUE(Start());
  RestoreFrame* frame = Open(0);
  ASSERT_NE(nullptr, frame);
  std::future<void> held = env.held.get_future();
  frame->Destination().SetValue(wxString::FromUTF8(cwd / "cancelled"));
  frame->RestoreSelection();
  ASSERT_EQ(std::future_status::ready, held.wait_for(std::chrono::seconds(30)))
      << "the restore never wrote its third file";
  ASSERT_TRUE(frame->FindWindow(app_test::Id("ID_RESTORE_CANCEL"))->IsEnabled());
  app_test::Send(*frame, wxEVT_BUTTON, "ID_RESTORE_CANCEL");
  env.released.set_value();
  Settle(*frame);
  EXPECT_TRUE(frame->Report().Contains("The restore was cancelled.")) << frame->Report();
  // Files are restored in the archive's order: which two came first is not fixed.
  const auto restored = Files(cwd / "cancelled");
  EXPECT_EQ(2u, restored.size());
  for (const auto& [name, bytes] : restored) EXPECT_TRUE(bytes == all[name]) << name;
  frame->Destination().SetValue(wxString::FromUTF8(cwd / "whole"));
  frame->RestoreSelection();
  Settle(*frame);
  EXPECT_TRUE(Files(cwd / "whole") == all);
}

}  // namespace
