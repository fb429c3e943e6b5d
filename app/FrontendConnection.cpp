#include "app/FrontendConnection.h"

#include <cstring>
#include <string>

const char FrontendConnection::Topic[] = "Frontend";
const char FrontendConnection::ShowWindowCommand[] = "ShowWindow";

bool FrontendConnection::OnExecute(const wxString& topic, const void* data, size_t size,
                                   wxIPCFormat) {
  if (data == nullptr || size == 0) return false;
  const char* text = static_cast<const char*>(data);
  const std::string command(text, strnlen(text, size));
  if (topic == Topic && command == ShowWindowCommand) showWindow_();
  return true;
}
