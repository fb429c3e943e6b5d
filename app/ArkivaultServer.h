// The running instance's end of the single-instance link: it accepts
// conversations on the topic "Frontend" and refuses every other topic.
#pragma once

#include <functional>

#include <wx/ipc.h>

class ArkivaultServer : public wxServer {
 public:
  // `showWindow` is what a "ShowWindow" command does.
  explicit ArkivaultServer(std::function<void()> showWindow)
      : showWindow_(std::move(showWindow)) {}

  wxConnectionBase* OnAcceptConnection(const wxString& topic) override;

 private:
  std::function<void()> showWindow_;
};
