#include "ui/RestoreFrame.h"

#include <wx/button.h>
#include <wx/filename.h>
#include <wx/gauge.h>
#include <wx/intl.h>
#include <wx/listctrl.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/srchctrl.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/treelist.h>
#include <wx/utils.h>
#include <wx/xrc/xmlres.h>

#include <algorithm>

#include "engine/PathUtil.h"
#include "engine/ReadCallback.h"
#include "ui/ImageSource.h"
#include "ui/UserPrompts.h"

namespace {

constexpr int kTimerInterval = 100;    // ms between looks at the worker
constexpr int kSearchDelay = 250;      // ms of no typing before the search runs
constexpr size_t kSearchLimit = 1000;  // matches shown at most
constexpr size_t kNamesInQuestion = 5;
constexpr int kGaugeRange = 1000;

int ControlId(const char* name) { return wxXmlResource::GetXRCID(name); }

wxString FromUtf8(std::string_view text) { return wxString::FromUTF8(text.data(), text.size()); }

// `path` relative to `directory` when it lies below it.
std::string Below(const std::string& path, const std::string& directory) {
  const bool inside = path.size() > directory.size() + 1 &&
                      path.compare(0, directory.size(), directory) == 0 &&
                      path[directory.size()] == '/';
  return inside ? path.substr(directory.size() + 1) : path;
}

wxString TimeText(const wxDateTime& time) {
  return time.IsValid() ? time.Format("%Y-%m-%d %H:%M:%S") : wxString();
}

wxString SizeText(uint64_t size) {
  return wxFileName::GetHumanReadableSize(wxULongLong(size), "0 B");
}

wxString KindText(const CatalogueArchive& archive) {
  if (!archive.indexed) return _("unknown");
  switch (archive.kind) {
    case ArchiveKind::Full:
      return _("full");
    case ArchiveKind::Incremental:
      return _("incremental");
    case ArchiveKind::Initial:
      return _("first run");
  }
  return wxString();
}

// The tree item's node; a folder's placeholder child (shown until the folder
// is opened) has none.
class NodeData : public wxClientData {
 public:
  explicit NodeData(const VersionTree::Node& node) : node(node) {}
  const VersionTree::Node& node;
};

// The files below `node` (itself when it is one) that a restore as of `point` gives.
void CollectFiles(const VersionTree& tree, const VersionTree::Node& node, const wxDateTime& point,
                  std::vector<std::string>* files) {
  if (!node.folder) {
    if (tree.VersionAt(node, point) != nullptr) files->emplace_back(node.path);
    return;
  }
  for (const VersionTree::Node* child : tree.ChildrenAt(node, point)) {
    CollectFiles(tree, *child, point, files);
  }
}

}  // namespace

RestoreFrame::RestoreFrame(const BackupJob& job, const ImageSource& images)
    : wxFrame(nullptr, wxID_ANY, wxString::Format(_("Restore - %s"), FromUtf8(job.BackupTitle)),
              wxDefaultPosition, wxSize(1000, 660)),
      job_(job),
      timer_(this),
      searchTimer_(this) {
  SetIcon(images.LoadIcon("Backup.ico"));
  BuildLayout();
  Bind(wxEVT_TIMER, &RestoreFrame::OnTimer, this, timer_.GetId());
  Bind(
      wxEVT_TIMER, [this](wxTimerEvent&) { FillTree(); }, searchTimer_.GetId());
  Bind(
      wxEVT_BUTTON, [this](wxCommandEvent&) { RestoreSelection(); }, ControlId("ID_RESTORE_RUN"));
  Bind(
      wxEVT_BUTTON,
      [this](wxCommandEvent&) {
        RestoreVersion(versions_->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED));
      },
      ControlId("ID_RESTORE_VERSION"));
  Bind(
      wxEVT_BUTTON, [this](wxCommandEvent&) { Verify(); }, ControlId("ID_RESTORE_VERIFY"));
  Bind(
      wxEVT_BUTTON, [this](wxCommandEvent&) { stop_ = true; }, ControlId("ID_RESTORE_CANCEL"));
  Bind(
      wxEVT_BUTTON, [this](wxCommandEvent&) { Load(); }, ControlId("ID_RESTORE_REFRESH"));
  Bind(wxEVT_BUTTON, &RestoreFrame::OnChooseDestination, this, ControlId("ID_RESTORE_CHOOSE"));
  Bind(wxEVT_BUTTON, &RestoreFrame::OnOpenDestination, this, ControlId("ID_RESTORE_OPEN"));
  Bind(
      wxEVT_BUTTON, [this](wxCommandEvent&) { Close(); }, wxID_CLOSE);
  Load();
}

RestoreFrame::~RestoreFrame() {
  stop_ = true;
  timer_.Stop();
  if (work_.valid()) work_.wait();
}

void RestoreFrame::BuildLayout() {
  auto* panel = new wxPanel(this);
  auto* left = new wxBoxSizer(wxVERTICAL);
  left->Add(new wxStaticText(panel, wxID_ANY, _("Backup points")), 0, wxBOTTOM, 4);
  points_ = new wxListCtrl(panel, ControlId("ID_RESTORE_POINTS"), wxDefaultPosition, wxSize(260, 120),
                           wxLC_REPORT | wxLC_SINGLE_SEL);
  points_->AppendColumn(_("Time"), wxLIST_FORMAT_LEFT, 185);
  points_->AppendColumn(_("Kind"), wxLIST_FORMAT_LEFT, 90);
  points_->AppendColumn(_("Archive"), wxLIST_FORMAT_LEFT, 150);
  left->Add(points_, 1, wxEXPAND);

  auto* right = new wxBoxSizer(wxVERTICAL);
  search_ = new wxSearchCtrl(panel, ControlId("ID_RESTORE_SEARCH"));
  search_->SetDescriptiveText(_("Find files by name"));
  right->Add(search_, 0, wxEXPAND | wxBOTTOM, 4);
  notice_ = new wxStaticText(panel, wxID_ANY, wxString());
  right->Add(notice_, 0, wxEXPAND | wxBOTTOM, 4);
  fileTree_ = new wxTreeListCtrl(panel, ControlId("ID_RESTORE_TREE"), wxDefaultPosition, wxSize(-1, 120),
                                 wxTL_MULTIPLE);
  fileTree_->AppendColumn(_("Name"), 300);
  fileTree_->AppendColumn(_("Size"), 90, wxALIGN_RIGHT);
  fileTree_->AppendColumn(_("Modified"), 150);
  right->Add(fileTree_, 3, wxEXPAND);
  right->Add(new wxStaticText(panel, wxID_ANY, _("Versions of the selected file")), 0,
             wxTOP | wxBOTTOM, 4);
  versions_ = new wxListCtrl(panel, ControlId("ID_RESTORE_VERSIONS"), wxDefaultPosition, wxSize(-1, 90),
                             wxLC_REPORT | wxLC_SINGLE_SEL);
  versions_->AppendColumn(_("Backup point"), wxLIST_FORMAT_LEFT, 150);
  versions_->AppendColumn(_("Size"), wxLIST_FORMAT_RIGHT, 90);
  versions_->AppendColumn(_("Modified"), wxLIST_FORMAT_LEFT, 150);
  versions_->AppendColumn(_("Archive"), wxLIST_FORMAT_LEFT, 180);
  right->Add(versions_, 1, wxEXPAND);

  auto* lists = new wxBoxSizer(wxHORIZONTAL);
  lists->Add(left, 2, wxEXPAND | wxRIGHT, 8);
  lists->Add(right, 3, wxEXPAND);

  auto* target = new wxBoxSizer(wxHORIZONTAL);
  target->Add(new wxStaticText(panel, wxID_ANY, _("Restore into:")), 0,
              wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
  destination_ = new wxTextCtrl(panel, ControlId("ID_RESTORE_DESTINATION"), DefaultDestination());
  target->Add(destination_, 1, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
  target->Add(new wxButton(panel, ControlId("ID_RESTORE_CHOOSE"), _("Choose...")), 0, wxRIGHT, 4);
  target->Add(new wxButton(panel, ControlId("ID_RESTORE_RUN"), _("&Restore Selection")), 0, wxRIGHT, 4);
  target->Add(new wxButton(panel, ControlId("ID_RESTORE_VERSION"), _("Restore &Version")), 0);

  auto* work = new wxBoxSizer(wxHORIZONTAL);
  work->Add(new wxButton(panel, ControlId("ID_RESTORE_VERIFY"), _("V&erify Archives")), 0, wxRIGHT, 4);
  work->Add(new wxButton(panel, ControlId("ID_RESTORE_REFRESH"), _("Re&load")), 0, wxRIGHT, 8);
  gauge_ = new wxGauge(panel, wxID_ANY, kGaugeRange, wxDefaultPosition, wxSize(-1, 16));
  work->Add(gauge_, 1, wxALIGN_CENTER_VERTICAL | wxRIGHT, 8);
  progressText_ = new wxStaticText(panel, wxID_ANY, wxString(), wxDefaultPosition, wxSize(160, -1),
                                   wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_END);
  work->Add(progressText_, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 8);
  work->Add(new wxButton(panel, ControlId("ID_RESTORE_CANCEL"), _("&Cancel")), 0, wxRIGHT, 4);
  work->Add(new wxButton(panel, ControlId("ID_RESTORE_OPEN"), _("&Open Folder")), 0, wxRIGHT, 4);
  work->Add(new wxButton(panel, wxID_CLOSE, _("Close")), 0);

  report_ = new wxTextCtrl(panel, ControlId("ID_RESTORE_REPORT"), wxString(), wxDefaultPosition,
                           wxSize(-1, 70), wxTE_MULTILINE | wxTE_READONLY);

  auto* all = new wxBoxSizer(wxVERTICAL);
  all->Add(lists, 1, wxEXPAND | wxALL, 8);
  all->Add(target, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 8);
  all->Add(work, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 8);
  all->Add(report_, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 8);
  panel->SetSizer(all);
  // Never so small that the buttons are cut off.
  SetMinClientSize(all->CalcMin());

  points_->Bind(wxEVT_LIST_ITEM_SELECTED, &RestoreFrame::OnPointSelected, this);
  fileTree_->Bind(wxEVT_TREELIST_ITEM_EXPANDING, &RestoreFrame::OnExpanding, this);
  fileTree_->Bind(wxEVT_TREELIST_SELECTION_CHANGED, &RestoreFrame::OnTreeSelection, this);
  search_->Bind(wxEVT_TEXT, &RestoreFrame::OnSearchText, this);
}

wxString RestoreFrame::DefaultDestination() const {
  const wxString name = wxString::Format(_("%s restored %s"), FromUtf8(job_.BackupTitle),
                                         wxDateTime::Now().Format("%Y-%m-%d %H-%M"));
  return wxFileName(wxGetHomeDir(), name).GetFullPath();
}

void RestoreFrame::StartWork(const wxString& what, std::function<WorkResult()> work) {
  stop_ = false;
  progress_.Reset();
  workTitle_ = what;
  work_ = std::async(std::launch::async, std::move(work));
  timer_.Start(kTimerInterval);
  ShowProgress();
  UpdateButtons();
}

void RestoreFrame::OnTimer(wxTimerEvent&) {
  if (!work_.valid()) return;
  if (work_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
    ShowProgress();
    return;
  }
  timer_.Stop();
  WorkResult result = work_.get();
  Finish(std::move(result));
}

void RestoreFrame::ShowProgress() {
  const uint64_t total = progress_.entriesTotal;
  const uint64_t done = progress_.entriesDone;
  gauge_->SetValue(total == 0 ? 0 : static_cast<int>(std::min(done, total) * kGaugeRange / total));
  wxString text = workTitle_;
  if (total != 0) {
    text += wxString::Format(_(": %llu of %llu, %s"), static_cast<unsigned long long>(done),
                             static_cast<unsigned long long>(total), SizeText(progress_.bytesRead));
  }
  progressText_->SetLabel(text);
  progressText_->SetToolTip(text);
}

void RestoreFrame::Finish(WorkResult result) {
  gauge_->SetValue(0);
  progressText_->SetLabel(wxString());
  if (!result.destination.empty()) {
    ShowRestored(result);
  } else if (!result.verifyLines.empty()) {
    wxString text =
        result.verifyFailed ? _("Verify found problems:") : _("Every archive is sound:");
    for (const std::string& line : result.verifyLines) text += "\n" + FromUtf8(line);
    report_->SetValue(text);
  } else {
    ShowLoaded(result);
  }
  UpdateButtons();
}

void RestoreFrame::UpdateButtons() {
  const bool idle = !work_.valid();
  const bool loaded = tree_ != nullptr;
  FindWindow(ControlId("ID_RESTORE_RUN"))->Enable(idle && loaded);
  FindWindow(ControlId("ID_RESTORE_VERSION"))->Enable(idle && loaded && versions_->GetItemCount() > 0);
  FindWindow(ControlId("ID_RESTORE_VERIFY"))->Enable(idle && loaded);
  FindWindow(ControlId("ID_RESTORE_REFRESH"))->Enable(idle);
  FindWindow(ControlId("ID_RESTORE_CANCEL"))->Enable(!idle);
  FindWindow(ControlId("ID_RESTORE_OPEN"))->Enable(!restoredTo_.empty());
}

wxString RestoreFrame::Notice() const { return notice_->GetLabel(); }

wxString RestoreFrame::Report() const { return report_->GetValue(); }

// Reading the archives.

void RestoreFrame::Load() {
  if (work_.valid()) return;
  tree_.reset();
  points_->DeleteAllItems();
  fileTree_->DeleteAllItems();
  versions_->DeleteAllItems();
  notice_->SetLabel(_("Reading the archives..."));
  const BackupJob job = job_;
  StartWork(_("Reading the archives"), [job] {
    WorkResult result;
    platform::Env& env = *platform::Env::Current();
    platform::FileInfo info;
    if (env.Stat(job.TargetPath, &info) != 0 || !info.isDirectory) {
      result.targetMissing = true;
      return result;
    }
    ArchiveCatalogue catalogue = ArchiveCatalogue::Scan(env, job);
    JobVersions versions = JobVersions::Read(catalogue, wxDateTime(), &result.unreadable);
    result.tree = std::make_shared<VersionTree>(std::move(catalogue), std::move(versions));
    return result;
  });
}

void RestoreFrame::ShowLoaded(WorkResult& result) {
  if (result.targetMissing) {
    notice_->SetLabel(wxString::Format(
        _("The backup target \"%s\" cannot be found. If it is on a removable disk, "
          "plug the disk in and choose Reload."),
        FromUtf8(job_.TargetPath)));
    return;
  }
  tree_ = std::move(result.tree);
  const auto& archives = tree_->Catalogue().Archives();
  pointTimes_.assign(1, wxDateTime());
  points_->InsertItem(0, _("Now (newest of every file)"));
  for (size_t i = archives.size(); i-- > 0;) {
    const CatalogueArchive& archive = archives[i];
    wxString kind = KindText(archive);
    for (const EntryProblem& problem : result.unreadable) {
      if (problem.archive == archive.path) kind = _("busy or unreadable");
    }
    const long row = points_->InsertItem(points_->GetItemCount(), TimeText(archive.committed));
    points_->SetItem(row, 1, kind);
    points_->SetItem(row, 2, FromUtf8(Below(archive.path, job_.TargetPath)));
    pointTimes_.push_back(archive.committed);
  }
  if (archives.empty()) {
    notice_->SetLabel(_("No backup of this job was found in its target yet."));
  } else {
    notice_->SetLabel(wxString());
  }
  ChoosePoint(0);
}

// The tree.

void RestoreFrame::OnPointSelected(wxListEvent& event) { ChoosePoint(event.GetIndex()); }

void RestoreFrame::ChoosePoint(long row) {
  if (tree_ == nullptr || row < 0 || static_cast<size_t>(row) >= pointTimes_.size()) return;
  if (points_->GetItemState(row, wxLIST_STATE_SELECTED) == 0) {
    points_->SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
  }
  point_ = pointTimes_[row];
  FillTree();
}

void RestoreFrame::FillTree() {
  searchTimer_.Stop();
  fileTree_->DeleteAllItems();
  versions_->DeleteAllItems();
  shownVersions_.clear();
  if (tree_ == nullptr) return;
  const std::string text = search_->GetValue().utf8_string();
  if (text.empty()) {
    notice_->SetLabel(wxString());
    AppendChildren(fileTree_->GetRootItem(), tree_->Root());
  } else {
    const auto found = tree_->Find(text, point_, kSearchLimit);
    for (const VersionTree::Node* node : found) AppendNode(fileTree_->GetRootItem(), *node, true);
    notice_->SetLabel(found.size() >= kSearchLimit
                          ? wxString::Format(_("Showing the first %zu matches."), kSearchLimit)
                      : found.empty() ? wxString(_("No file of this backup point has that name."))
                                      : wxString());
  }
  UpdateButtons();
}

void RestoreFrame::AppendChildren(const wxTreeListItem& parent, const VersionTree::Node& node) {
  for (const VersionTree::Node* child : tree_->ChildrenAt(node, point_)) {
    AppendNode(parent, *child, false);
  }
}

void RestoreFrame::AppendNode(const wxTreeListItem& parent, const VersionTree::Node& node,
                              bool fullPath) {
  const wxTreeListItem item = fileTree_->AppendItem(
      parent, FromUtf8(fullPath ? node.path : node.name), -1, -1, new NodeData(node));
  if (const StoredVersion* version = tree_->VersionAt(node, point_)) {
    if (!node.folder) fileTree_->SetItemText(item, 1, SizeText(version->size));
    fileTree_->SetItemText(item, 2, TimeText(wxDateTime(static_cast<time_t>(version->modified))));
  }
  // A folder gets a placeholder child so it can be opened; its children are made then.
  if (node.folder && !node.children.empty()) fileTree_->AppendItem(item, wxString());
}

void RestoreFrame::OnExpanding(wxTreeListEvent& event) {
  const wxTreeListItem item = event.GetItem();
  const VersionTree::Node* node = NodeOf(item);
  const wxTreeListItem first = fileTree_->GetFirstChild(item);
  if (node == nullptr || !first.IsOk() || NodeOf(first) != nullptr) return;
  fileTree_->DeleteItem(first);
  AppendChildren(item, *node);
}

const VersionTree::Node* RestoreFrame::NodeOf(const wxTreeListItem& item) const {
  const auto* data = item.IsOk() ? dynamic_cast<NodeData*>(fileTree_->GetItemData(item)) : nullptr;
  return data != nullptr ? &data->node : nullptr;
}

bool RestoreFrame::SelectPath(const std::string& path) {
  wxTreeListItem parent = fileTree_->GetRootItem();
  for (wxTreeListItem item = fileTree_->GetFirstChild(parent); item.IsOk();) {
    const VersionTree::Node* node = NodeOf(item);
    if (node != nullptr && node->path == path) {
      fileTree_->UnselectAll();
      fileTree_->Select(item);
      fileTree_->EnsureVisible(item);
      FillVersions();
      return true;
    }
    if (node != nullptr && node->folder && IsSelected(path, std::string(node->path))) {
      const wxTreeListItem first = fileTree_->GetFirstChild(item);
      if (first.IsOk() && NodeOf(first) == nullptr) {
        fileTree_->DeleteItem(first);
        AppendChildren(item, *node);
      }
      fileTree_->Expand(item);
      item = fileTree_->GetFirstChild(item);
    } else {
      item = fileTree_->GetNextSibling(item);
    }
  }
  return false;
}

std::vector<std::string> RestoreFrame::TopLevelNames() const {
  std::vector<std::string> names;
  for (wxTreeListItem item = fileTree_->GetFirstChild(fileTree_->GetRootItem()); item.IsOk();
       item = fileTree_->GetNextSibling(item)) {
    names.push_back(fileTree_->GetItemText(item).utf8_string());
  }
  return names;
}

void RestoreFrame::OnSearchText(wxCommandEvent&) { searchTimer_.StartOnce(kSearchDelay); }

// Versions of one file.

void RestoreFrame::OnTreeSelection(wxTreeListEvent&) { FillVersions(); }

void RestoreFrame::FillVersions() {
  versions_->DeleteAllItems();
  shownVersions_.clear();
  wxTreeListItems selected;
  const VersionTree::Node* node =
      fileTree_->GetSelections(selected) == 1 ? NodeOf(selected.front()) : nullptr;
  if (node != nullptr && !node->folder && node->versions != nullptr) {
    const auto& archives = tree_->Catalogue().Archives();
    for (auto it = node->versions->rbegin(); it != node->versions->rend(); ++it) {
      const long row =
          versions_->InsertItem(versions_->GetItemCount(), TimeText(tree_->Committed(*it)));
      versions_->SetItem(row, 1, SizeText(it->size));
      versions_->SetItem(row, 2, TimeText(wxDateTime(static_cast<time_t>(it->modified))));
      versions_->SetItem(row, 3, FromUtf8(Below(archives[it->archive].path, job_.TargetPath)));
      shownVersions_.push_back(&*it);
    }
    if (versions_->GetItemCount() > 0)
      versions_->SetItemState(0, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
  }
  UpdateButtons();
}

// Restoring.

void RestoreFrame::OnChooseDestination(wxCommandEvent&) {
  wxFileName current = wxFileName::DirName(destination_->GetValue());
  while (current.GetDirCount() > 0 && !current.DirExists()) current.RemoveLastDir();
  const wxString chosen = UserPrompts::Current().ChooseDirectory(
      this, _("Choose the folder to restore into"), current.GetPath());
  if (!chosen.empty()) destination_->SetValue(chosen);
}

void RestoreFrame::RestoreSelection() {
  if (tree_ == nullptr || work_.valid()) return;
  wxTreeListItems selected;
  fileTree_->GetSelections(selected);
  std::vector<std::string> paths;
  for (const wxTreeListItem& item : selected) {
    if (const VersionTree::Node* node = NodeOf(item)) paths.emplace_back(node->path);
  }
  StartRestore(std::move(paths), point_);
}

void RestoreFrame::RestoreVersion(long row) {
  if (tree_ == nullptr || work_.valid() || row < 0 ||
      static_cast<size_t>(row) >= shownVersions_.size()) {
    return;
  }
  wxTreeListItems selected;
  if (fileTree_->GetSelections(selected) != 1 || NodeOf(selected.front()) == nullptr) return;
  StartRestore({std::string(NodeOf(selected.front())->path)},
               tree_->Committed(*shownVersions_[row]));
}

bool RestoreFrame::AskAboutExisting(const std::string& destination,
                                    const std::vector<std::string>& paths, const wxDateTime& point,
                                    bool* overwrite) {
  *overwrite = false;
  platform::Env& env = *platform::Env::Current();
  platform::FileInfo info;
  if (env.Stat(destination, &info) != 0) return true;
  std::vector<std::string> files;
  if (paths.empty()) {
    CollectFiles(*tree_, tree_->Root(), point, &files);
  } else {
    for (const std::string& path : paths) {
      std::vector<std::string> below;
      for (const VersionTree::Node* node = &tree_->Root(); node != nullptr;) {
        if (node->path == path) {
          CollectFiles(*tree_, *node, point, &files);
          break;
        }
        const auto& children = node->children;
        const auto next =
            std::find_if(children.begin(), children.end(),
                         [&](const VersionTree::Node* c) { return IsSelected(path, std::string(c->path)); });
        node = next == children.end() ? nullptr : *next;
      }
    }
  }
  std::vector<std::string> existing;
  for (const std::string& file : files) {
    if (env.Stat(JoinPath(destination, file), &info) == 0) existing.push_back(file);
  }
  if (existing.empty()) return true;
  wxString names;
  for (size_t i = 0; i < existing.size() && i < kNamesInQuestion; ++i) {
    names += "\n  " + FromUtf8(existing[i]);
  }
  if (existing.size() > kNamesInQuestion) {
    names += "\n  " + wxString::Format(_("and %zu more"), existing.size() - kNamesInQuestion);
  }
  const int answer = UserPrompts::Current().Message(
      this,
      wxString::Format(_("The folder already holds %zu of the files to restore:%s\n\n"
                         "Yes: keep them and skip these files.\n"
                         "No: overwrite them with the restored versions.\n"
                         "Cancel: restore nothing."),
                       existing.size(), names),
      _("Restore"), wxYES_NO | wxCANCEL | wxICON_QUESTION);
  if (answer == wxCANCEL) return false;
  *overwrite = answer == wxNO;
  return true;
}

void RestoreFrame::StartRestore(std::vector<std::string> paths, const wxDateTime& point) {
  const std::string destination = destination_->GetValue().utf8_string();
  if (destination.empty() || destination.front() != '/') {
    ShowError(this, _("Choose the folder to restore into (a full path)."), _("Restore"));
    return;
  }
  RestoreRequest request{destination, point, false, std::move(paths)};
  if (!AskAboutExisting(destination, request.paths, point, &request.overwrite)) return;
  const std::shared_ptr<VersionTree> tree = tree_;
  report_->SetValue(wxString());
  StartWork(_("Restoring"), [this, tree, request] {
    ReadCallback callback(progress_, [this] { return stop_.load(); });
    WorkResult result;
    result.restore =
        RestoreRun(*platform::Env::Current(), callback).Run(tree->Catalogue(), request);
    result.destination = request.destination;
    return result;
  });
}

void RestoreFrame::ShowRestored(const WorkResult& result) {
  const RestoreResult& restore = result.restore;
  restoredTo_ = result.destination;
  wxString skipped;
  wxString failed;
  for (const RestoreOutcome& outcome : restore.problems) {
    if (outcome.status == RestoreStatus::Skipped) {
      skipped += "\n  " + FromUtf8(outcome.path);
    } else {
      failed += "\n  " + FromUtf8(outcome.path) + ": " + FromUtf8(outcome.reason);
    }
  }
  wxString text = wxString::Format(_("Restored %llu files and folders into %s."),
                                   static_cast<unsigned long long>(restore.restored),
                                   FromUtf8(result.destination));
  if (restore.cancelled) text += " " + wxString(_("The restore was cancelled."));
  if (!skipped.empty()) text += "\n" + wxString(_("Skipped (already there):")) + skipped;
  if (!failed.empty()) text += "\n" + wxString(_("Failed:")) + failed;
  report_->SetValue(text);
}

void RestoreFrame::OnOpenDestination(wxCommandEvent&) {
  if (!restoredTo_.empty()) wxLaunchDefaultApplication(FromUtf8(restoredTo_));
}

// Verifying.

void RestoreFrame::Verify() {
  if (tree_ == nullptr || work_.valid()) return;
  const std::shared_ptr<VersionTree> tree = tree_;
  report_->SetValue(wxString());
  const std::string cancelled = _("Cancelled.").utf8_string();
  const std::string sound = _("sound").utf8_string();
  const std::string none = _("No archive to verify.").utf8_string();
  StartWork(_("Verifying"), [this, tree, cancelled, sound, none] {
    ReadCallback callback(progress_, [this] { return stop_.load(); });
    ArchiveVerifier verifier(callback);
    WorkResult result;
    for (const CatalogueArchive& archive : tree->Catalogue().Archives()) {
      const std::vector<EntryProblem> problems = verifier.Check(archive.path);
      if (verifier.Stopped()) {
        result.verifyLines.push_back(cancelled);
        break;
      }
      result.verifyFailed = result.verifyFailed || !problems.empty();
      result.verifyLines.push_back(archive.path + ": " +
                                   (problems.empty() ? sound : problems.front().Text()));
      for (size_t i = 1; i < problems.size(); ++i) result.verifyLines.push_back(problems[i].Text());
    }
    if (result.verifyLines.empty()) result.verifyLines.push_back(none);
    return result;
  });
}
