// The main window: the job list as large icons under a menu bar, with a
// status bar that shows the progress and the end of a backup run. Its layout
// is the frame resource "ID_MAINFRAME".
#pragma once

#include <wx/frame.h>
#include <wx/imaglist.h>
#include <wx/listctrl.h>

#include "jobs/JobList.h"

class BackupJob;
class BackupProgress;

class MainFrame : public wxFrame {
 public:
  explicit MainFrame(wxWindow* parent);
  // Clears the application's main window pointer.
  ~MainFrame() override;

  // One row per job of `jobs`, in order: the job's title under the job icon.
  void FillJobList(const JobList& jobs);

  // One refresh tick while `job` runs: the icon of its row (`runningRow`, -1
  // when it has none) moves on to the next run picture, and the status bar
  // shows the job and the counters of `progress`.
  void ShowProgress(int runningRow, const BackupJob& job, const BackupProgress& progress);

  // The end of the run of `job`: the status bar says whether it succeeded and
  // shows the run's counters; the animated row gets the job icon back.
  void ShowCompletion(const BackupJob& job, bool succeeded, const BackupProgress& progress);

 private:
  void LoadLayout(wxWindow* parent);
  void CreateJobImages();
  void AddJobImage(const wxString& iconFile);
  void AdvanceRunImage(int row);
  void SetRowImage(int row, int image);
  void ShowStatus(const wxString& text, const BackupProgress& progress);

  wxListCtrl* jobList_ = nullptr;
  wxImageList jobImages_;
  // The row whose icon shows the run, or -1.
  int animatedRow_ = -1;
  // What the status bar says while a run goes on.
  wxString progressText_;
};
