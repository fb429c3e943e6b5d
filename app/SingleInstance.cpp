#include "app/SingleInstance.h"

#include <cerrno>
#include <cstring>

#include <wx/intl.h>
#include <wx/log.h>
#include <wx/utils.h>

#include "app/ArkivaultServer.h"
#include "app/FrontendConnection.h"
#include "platform/Env.h"
#include "platform/RuntimeDirectory.h"

namespace {

const char kHost[] = "localhost";
// Between two hand-over attempts while the lock holder starts up.
constexpr int kRetryPauseMs = 100;

}  // namespace

const char SingleInstance::ServiceName[] = "ArkivaultServer";

bool NotifyRunningInstance(const wxString& socketPath) {
  wxLogNull quiet;
  wxClient client;
  std::unique_ptr<wxConnectionBase> connection(
      client.MakeConnection(kHost, socketPath, FrontendConnection::Topic));
  // The command travels with its terminating NUL, as text.
  const char* command = FrontendConnection::ShowWindowCommand;
  return connection != nullptr && connection->Execute(command, strlen(command) + 1, wxIPC_TEXT);
}

SingleInstance::SingleInstance() {
  std::string why;
  const std::string directory = platform::PrivateRuntimeDirectory(&why);
  if (directory.empty()) {
    problem_ = wxString::FromUTF8(why);
    return;
  }
  const std::string path = directory + "/" + ServiceName;
  if (path.size() + sizeof ".lock" > platform::MaxSocketPathLength()) {
    problem_ = wxString::FromUTF8(path) + ": " + _("name too long for a socket");
    return;
  }
  socketPath_ = wxString::FromUTF8(path);
}

SingleInstance::~SingleInstance() { Release(); }

SingleInstance::Outcome SingleInstance::Claim(int patienceMs) {
  if (socketPath_.empty()) return Outcome::Alone;
  for (int waited = 0;; waited += kRetryPauseMs) {
    if (TryLock()) return Outcome::Running;
    if (!problem_.empty()) return Outcome::Alone;
    if (NotifyRunningInstance(socketPath_)) return Outcome::HandedOver;
    if (waited >= patienceMs) return Outcome::NoAnswer;
    wxMilliSleep(kRetryPauseMs);
  }
}

bool SingleInstance::TryLock() {
  const int error = platform::InstanceLock::TryAcquire((socketPath_ + ".lock").utf8_string(),
                                                       &lock_);
  if (error != 0 && error != EWOULDBLOCK) {
    problem_ = socketPath_ + ".lock: " + wxString::FromUTF8(platform::ErrorText(error));
  }
  return error == 0;
}

bool SingleInstance::Serve(std::function<void()> showWindow) {
  server_ = std::make_unique<ArkivaultServer>(std::move(showWindow));
  // The lock is ours, so a socket file already there is stale: Create replaces it.
  if (server_->Create(socketPath_)) return true;
  server_.reset();
  wxLogWarning(_("Arkivault cannot listen on '%s'; a second start will not find this one."),
               socketPath_);
  return false;
}

void SingleInstance::Release() {
  server_.reset();
  lock_.reset();
}
