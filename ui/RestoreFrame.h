// The restore window of one job: its backup points (each committed archive,
// newest first, under "Now (newest of every file)"), the job's files as of
// the chosen point in a tree that fills each folder when it is opened, a
// search by name, the stored versions of the selected file, and a restore of
// the selection (or of one version) into a destination folder with progress,
// cancel and a summary; a verify pass over every archive. Reading the
// archives, the restore and the verify run on a worker thread; a timer shows
// their progress and takes their results, so the window never holds up the
// main loop, the tray or the scheduler. Archives a run is writing cannot be
// opened and are shown as busy.
#pragma once

#include <wx/frame.h>
#include <wx/timer.h>

#include <atomic>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "engine/ArchiveVerifier.h"
#include "engine/ReadProgress.h"
#include "engine/RestoreRun.h"
#include "jobs/BackupJob.h"
#include "ui/VersionTree.h"

class ImageSource;
class wxButton;
class wxGauge;
class wxListCtrl;
class wxListEvent;
class wxSearchCtrl;
class wxStaticText;
class wxTextCtrl;
class wxTreeListCtrl;
class wxTreeListEvent;
class wxTreeListItem;

class RestoreFrame : public wxFrame {
 public:
  // Opens the window for a copy of `job` and starts reading its archives.
  RestoreFrame(const BackupJob& job, const ImageSource& images);
  // Stops the work going on and waits for its end.
  ~RestoreFrame() override;

  // Shows the tree as of the point in row `row` of the points list (0: now).
  void ChoosePoint(long row);
  // Selects the tree item of `path` (relative to the source root), opening
  // the folders on the way; false when it is not shown.
  bool SelectPath(const std::string& path);
  // Restores what is selected (everything when nothing is) as of the chosen
  // point into the destination field's folder.
  void RestoreSelection();
  // Restores the version in row `row` of the versions list.
  void RestoreVersion(long row);
  void Verify();

  // Reading, restoring or verifying is going on.
  bool Working() const { return work_.valid(); }
  const VersionTree* Tree() const { return tree_.get(); }
  wxListCtrl& PointsList() { return *points_; }
  wxTreeListCtrl& FileTree() { return *fileTree_; }
  wxListCtrl& VersionsList() { return *versions_; }
  wxSearchCtrl& SearchBox() { return *search_; }
  wxTextCtrl& Destination() { return *destination_; }
  // The line above the tree: loading, a missing target, too many matches.
  wxString Notice() const;
  // The summary of the last restore or verify.
  wxString Report() const;
  // The names (or paths, while searching) of the top-level tree items.
  std::vector<std::string> TopLevelNames() const;

 private:
  // What a worker hands back: a reading of the archives, a restore or a verify.
  struct WorkResult {
    bool targetMissing = false;
    std::shared_ptr<VersionTree> tree;
    std::vector<EntryProblem> unreadable;
    RestoreResult restore;
    std::string destination;
    std::vector<std::string> verifyLines;
    bool verifyFailed = false;
  };

  void BuildLayout();
  void StartWork(const wxString& what, std::function<WorkResult()> work);
  void OnTimer(wxTimerEvent& event);
  void ShowProgress();
  void Finish(WorkResult result);
  void ShowLoaded(WorkResult& result);
  void ShowRestored(const WorkResult& result);
  void UpdateButtons();

  void Load();
  void FillTree();
  void AppendChildren(const wxTreeListItem& parent, const VersionTree::Node& node);
  void AppendNode(const wxTreeListItem& parent, const VersionTree::Node& node, bool fullPath);
  void FillVersions();
  const VersionTree::Node* NodeOf(const wxTreeListItem& item) const;
  // Asks when `destination` already holds some of `paths` (as of `point`):
  // false when the user cancelled; else `*overwrite` is the answer.
  bool AskAboutExisting(const std::string& destination, const std::vector<std::string>& paths,
                        const wxDateTime& point, bool* overwrite);
  void StartRestore(std::vector<std::string> paths, const wxDateTime& point);
  wxString DefaultDestination() const;

  void OnPointSelected(wxListEvent& event);
  void OnExpanding(wxTreeListEvent& event);
  void OnTreeSelection(wxTreeListEvent& event);
  void OnSearchText(wxCommandEvent& event);
  void OnChooseDestination(wxCommandEvent& event);
  void OnOpenDestination(wxCommandEvent& event);

  BackupJob job_;
  std::shared_ptr<VersionTree> tree_;
  std::vector<wxDateTime> pointTimes_;               // per row of the points list; invalid for now
  wxDateTime point_;                                 // the chosen point
  std::vector<const StoredVersion*> shownVersions_;  // per row of the versions list
  std::string restoredTo_;                           // the destination of the last restore

  std::future<WorkResult> work_;
  std::atomic<bool> stop_{false};
  ReadProgress progress_;
  wxString workTitle_;
  wxTimer timer_;
  wxTimer searchTimer_;

  wxListCtrl* points_ = nullptr;
  wxSearchCtrl* search_ = nullptr;
  wxStaticText* notice_ = nullptr;
  wxTreeListCtrl* fileTree_ = nullptr;
  wxListCtrl* versions_ = nullptr;
  wxTextCtrl* destination_ = nullptr;
  wxGauge* gauge_ = nullptr;
  wxStaticText* progressText_ = nullptr;
  wxTextCtrl* report_ = nullptr;
};
