// One conversation of the single-instance link, on the running instance's
// side: a second start connects on the topic "Frontend" and executes
// "ShowWindow", which shows the main window the way the tray's Restore does.
#pragma once

#include <functional>

#include <wx/ipc.h>

class FrontendConnection : public wxConnection {
 public:
  // The topic of the conversation and the one command it knows.
  static const char Topic[];
  static const char ShowWindowCommand[];

  // `showWindow` creates, restores or raises the main window.
  explicit FrontendConnection(std::function<void()> showWindow)
      : showWindow_(std::move(showWindow)) {}

  // "ShowWindow" (the text up to its NUL, never past `size`) shows the main
  // window; any other text is acknowledged and ignored. False only without data.
  bool OnExecute(const wxString& topic, const void* data, size_t size,
                 wxIPCFormat format) override;

 private:
  std::function<void()> showWindow_;
};
