// Keeps one interactive instance per user. The running instance holds the
// lock "ArkivaultServer.lock" for its whole life and serves the link on the
// Unix-domain socket "ArkivaultServer" beside it, in the user's private
// runtime directory (nobody else can reach either). A second start finds the
// lock held and asks the running instance to show its window. A socket file
// whose lock nobody holds was left by an instance that did not end normally
// (killed): it is stale, and the new running instance replaces it.
#pragma once

#include <functional>
#include <memory>

#include <wx/string.h>

#include "platform/InstanceLock.h"

class ArkivaultServer;

// Asks the instance serving on the socket `socketPath` to show its main
// window (topic "Frontend", command "ShowWindow" with its NUL). True when a
// connection was made and the command sent; nothing is logged either way.
bool NotifyRunningInstance(const wxString& socketPath);

class SingleInstance {
 public:
  // The name of the socket (the link's service name).
  static const char ServiceName[];

  enum class Outcome {
    Running,     // this process holds the lock: it is the running instance
    HandedOver,  // the running instance took the request: this process ends
    NoAnswer,    // another process holds the lock but never answered: this one ends
    Alone,       // no private runtime directory: runs on without the link
  };

  SingleInstance();
  ~SingleInstance();

  // Takes the lock, or hands over to the process that holds it. That process
  // may still be starting (its server not up yet), so the hand-over is tried
  // again, and the lock with it, for up to `patienceMs` milliseconds.
  Outcome Claim(int patienceMs = 10000);

  // Starts the server; every "ShowWindow" calls `showWindow`. Only after
  // Claim() gave Running. False (with a logged reason) when it cannot listen.
  bool Serve(std::function<void()> showWindow);

  // Ends serving and releases the lock, removing the socket file.
  void Release();

  // Claim() gave Running: this process holds the lock.
  bool Claimed() const { return lock_ != nullptr; }

  // The socket's path; empty without a private runtime directory.
  const wxString& SocketPath() const { return socketPath_; }

  // Why Claim() gave Alone.
  const wxString& Problem() const { return problem_; }

 private:
  bool TryLock();

  wxString socketPath_;
  wxString problem_;
  std::unique_ptr<platform::InstanceLock> lock_;
  std::unique_ptr<ArkivaultServer> server_;
};
