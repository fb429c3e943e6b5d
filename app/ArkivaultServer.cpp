#include "app/ArkivaultServer.h"

#include "app/FrontendConnection.h"

wxConnectionBase* ArkivaultServer::OnAcceptConnection(const wxString& topic) {
  if (topic != FrontendConnection::Topic) return nullptr;
  return new FrontendConnection(showWindow_);
}
