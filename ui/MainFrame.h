// The main window: the job list as large icons under a menu bar, with a
// status bar. Its layout is the frame resource "ID_MAINFRAME".
#pragma once

#include <wx/frame.h>
#include <wx/imaglist.h>
#include <wx/listctrl.h>

class MainFrame : public wxFrame {
 public:
  explicit MainFrame(wxWindow* parent);
  // Clears the application's main window pointer.
  ~MainFrame() override;

 private:
  void LoadLayout(wxWindow* parent);
  void CreateJobImages();
  void AddJobImage(const wxString& iconFile);

  wxListCtrl* jobList_ = nullptr;
  wxImageList jobImages_;
};
