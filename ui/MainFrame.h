// The main window: the jobs as large icons, or in the details view as rows
// with each job's last run and next scheduled runs, under a menu bar that
// offers every job command (also through the list's context menu and the
// Delete key), and a status bar that shows the progress and the end of a
// backup run. Its
// layout is the frame resource "ID_MAINFRAME". It may be closed at any time;
// the program, the scheduler and a run carry on.
#pragma once

#include <wx/frame.h>
#include <wx/imaglist.h>
#include <wx/listctrl.h>
#include <wx/menu.h>

#include "ui/CommandTable.h"
#include "ui/RunPresenter.h"

class AppCommands;
class BackupJob;
class ImageSource;

class MainFrame : public wxFrame, public RunDisplay {
 public:
  // `commands` and `images` are not owned and must outlive the window.
  MainFrame(wxWindow* parent, AppCommands& commands, const ImageSource& images);
  // Tells the application that the window is gone.
  ~MainFrame() override;

  // One row per job, in order: the job's title under the job icon; in the
  // details view also its last run (time and kind), the run's outcome and the
  // next full and incremental run, in columns sized to their texts, the
  // window widened (within the screen) until they fit.
  void FillJobList();

  // A tick of a run: the running row shows the run's next picture, the
  // status bar the job and its counters.
  void ShowProgress(const RunPresenter& run) override;
  // The end of a run: the status bar says whether it succeeded and shows its
  // counters; the animated row gets the job icon back and the details view
  // the run. Always reported.
  bool ShowCompletion(const RunPresenter& run) override;

  // The last run and the next full and incremental run of the job at `row`.
  wxString JobSummary(int row) const;

  // The first selected row, or -1.
  int SelectedRow() const;
  // What the menu rules look at now.
  CommandState State() const;
  // The job list's right-click menu.
  wxMenu& ContextMenu() { return contextMenu_; }
  // Opens a restore window for the selected job; none without a selection.
  void OpenRestoreWindow();

 private:
  void LoadLayout(wxWindow* parent);
  void BuildMenus();
  void CreateJobImages();
  void AddJobImage(const wxString& iconFile);
  void SetRowImage(int row, int image);
  // Fills the list for the chosen view.
  void ListJobs();
  // Lists the jobs again (after a title or a schedule changed) and selects `row`.
  void RelistJobs(int row);
  // The run columns of the details view, and their widths.
  void ShowRunColumns();
  // Widens the window, within the screen, until the columns fit.
  void FitColumns();
  void ClearStatus();

  void OnNewJob(wxCommandEvent& event);
  void OnCopyJob(wxCommandEvent& event);
  void OnDeleteJob(wxCommandEvent& event);
  void OnStartFull(wxCommandEvent& event);
  void OnStartIncremental(wxCommandEvent& event);
  void OnCancelJob(wxCommandEvent& event);
  void OnRestoreFiles(wxCommandEvent& event);
  void OnCloseWindowCommand(wxCommandEvent& event);
  void OnShutdown(wxCommandEvent& event);
  void OnStartAtLogin(wxCommandEvent& event);
  void OnUpdateStartAtLogin(wxUpdateUIEvent& event);
  void OnHelpContents(wxCommandEvent& event);
  void OnEditJob(wxCommandEvent& event);
  void OnAbout(wxCommandEvent& event);
  void OnHistory(wxCommandEvent& event);
  void OnView(wxCommandEvent& event);
  void OnUpdateView(wxUpdateUIEvent& event);
  void OnListItemActivated(wxListEvent& event);
  void OnUpdateCommand(wxUpdateUIEvent& event);
  void OnListEndLabelEdit(wxListEvent& event);
  void OnListItemFocused(wxListEvent& event);
  void OnListRightClick(wxListEvent& event);
  void OnListKeyDown(wxListEvent& event);

  // Appends a row for `job` (just added to the jobs) and returns it.
  int AppendRow(const BackupJob& job);
  // Asks whether to abort the run when `row` is the running row; false when
  // the user says No, true otherwise (the run is then aborted).
  bool AbortRunOfRow(int row, const wxString& caption);
  // Asks and deletes the job at `row`.
  void DeleteRow(int row);
  // Edits the job at `row` (after asking to abort its run) and shows its title.
  void EditRow(int row);
  // The job dialog for `job`, off the scheduler while it is open; saves the
  // job when it ends with OK and the job was changed.
  void EditJob(BackupJob& job);

  AppCommands& commands_;
  const ImageSource& images_;
  wxListCtrl* jobList_ = nullptr;
  wxImageList jobImages_;
  // The row whose icon shows the run, or -1.
  int animatedRow_ = -1;
  // What the status bar says while a run goes on.
  wxString progressText_;
  wxMenu contextMenu_;
};
