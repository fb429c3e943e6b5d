// Opens the restore window for a job and prints how long it takes, in wall
// and process CPU time, until the tree shows its first level; then how long
// the window takes to answer an event, and to open the folders down to the
// deepest first file (the first folder of each level).
//
//   restore_open_bench JOB.xml   (needs a display)
#include <sys/resource.h>
#include <wx/app.h>
#include <wx/timer.h>
#include <wx/treelist.h>

#include <chrono>
#include <cstdio>

#include "jobs/BackupJob.h"
#include "ui/ImageSource.h"
#include "ui/RestoreFrame.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLookInterval = 5;      // ms between looks at the window
constexpr int kGiveUp = 120 * 1000;   // ms before the bench stops waiting

class NoImages : public ImageSource {
 public:
  wxIcon LoadIcon(const wxString&) const override { return wxIcon(); }
  wxBitmap LoadMenuBitmap(const wxString&) const override { return wxBitmap(); }
};

double Seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The path of the first file met going down the first folder of each level.
std::string FirstDeepFile(const VersionTree& tree) {
  const VersionTree::Node* node = &tree.Root();
  while (node->folder && !node->children.empty()) node = node->children.front();
  return std::string(node->path);
}

class BenchApp : public wxApp {
 public:
  bool OnInit() override {
    if (argc != 2 || !job_.Load(argv[1].utf8_string())) {
      std::fprintf(stderr, "usage: restore_open_bench JOB.xml (a readable job definition)\n");
      return false;
    }
    start_ = Clock::now();
    startCpu_ = CpuSeconds();
    frame_ = new RestoreFrame(job_, images_);
    frame_->Show();
    Bind(wxEVT_TIMER, &BenchApp::Look, this);
    timer_.SetOwner(this);
    timer_.Start(kLookInterval);
    return true;
  }

 private:
  void Look(wxTimerEvent&) {
    const Clock::duration waited = Clock::now() - start_;
    if (frame_->Working() || frame_->TopLevelNames().empty()) {
      if (waited < std::chrono::milliseconds(kGiveUp)) return;
      std::fprintf(stderr, "the window showed no tree within %d s: %s\n", kGiveUp / 1000,
                   frame_->Notice().utf8_string().c_str());
      Stop(1);
      return;
    }
    timer_.Stop();
    std::printf("first level shown: %.3f s wall, %.3f s CPU, %zu files, %zu archives\n",
                Seconds(waited), CpuSeconds() - startCpu_, frame_->Tree()->FileCount(),
                frame_->Tree()->Catalogue().Archives().size());
    const Clock::time_point posted = Clock::now();
    CallAfter([this, posted] {
      std::printf("an event answered after: %.3f s\n", Seconds(Clock::now() - posted));
      const std::string path = FirstDeepFile(*frame_->Tree());
      const Clock::time_point opening = Clock::now();
      const bool found = frame_->SelectPath(path);
      std::printf("folders opened down to %s: %.3f s%s\n", path.c_str(),
                  Seconds(Clock::now() - opening), found ? "" : " (not found)");
      Stop(found ? 0 : 1);
    });
  }

  void Stop(int status) {
    status_ = status;
    frame_->Destroy();
    ExitMainLoop();
  }

  int OnRun() override {
    wxApp::OnRun();
    return status_;
  }

  BackupJob job_;
  NoImages images_;
  RestoreFrame* frame_ = nullptr;
  wxTimer timer_;
  Clock::time_point start_;
  double startCpu_ = 0;
  int status_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  wxApp::SetInstance(new BenchApp);
  return wxEntry(argc, argv);
}
