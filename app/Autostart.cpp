#include "app/Autostart.h"

#include <cerrno>
#include <cstdlib>

#include <wx/ffile.h>
#include <wx/intl.h>
#include <wx/log.h>

#include "platform/Env.h"

namespace {

bool HasControlCharacter(const wxString& text) {
  for (wxUniChar c : text) {
    if (c < 0x20 || c == 0x7f) return true;
  }
  return false;
}

// A string value of a desktop entry: backslashes doubled.
wxString EscapeValue(const wxString& text) {
  wxString escaped(text);
  escaped.Replace("\\", "\\\\");
  return escaped;
}

// One argument of an Exec line: quoted when it holds a reserved character,
// with '"', '`', '$' and '\' escaped inside the quotes, '%' doubled.
wxString ExecArgument(const wxString& argument) {
  static const wxString reserved = " \t\"'\\><~|&;$*?#()`";
  bool quote = false;
  wxString text;
  for (wxUniChar c : argument) {
    if (reserved.Find(c) != wxNOT_FOUND) quote = true;
    if (c == '"' || c == '`' || c == '$' || c == '\\') text += '\\';
    text += c == '%' ? wxString("%%") : wxString(c);
  }
  return quote ? "\"" + text + "\"" : text;
}

int CreateDirectories(const std::string& path) {
  platform::Env* env = platform::Env::Current();
  platform::FileInfo info;
  if (env->Stat(path, &info) == 0) return info.isDirectory ? 0 : EEXIST;
  const size_t slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0) {
    const int error = CreateDirectories(path.substr(0, slash));
    if (error != 0) return error;
  }
  const int error = env->CreateDirectory(path);
  return error == EEXIST ? 0 : error;
}

}  // namespace

Autostart::Autostart(const wxString& directory)
    : directory_(directory), path_(directory + "/arkivault.desktop") {}

wxString Autostart::DefaultDirectory() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return wxString::FromUTF8(config) + "/autostart";
  const char* home = std::getenv("HOME");
  return wxString::FromUTF8(home != nullptr ? home : "") + "/.config/autostart";
}

bool Autostart::IsEnabled() const {
  wxFFile file;
  {
    wxLogNull quiet;
    if (!file.Open(path_, "r")) return false;
  }
  wxString text;
  file.ReadAll(&text, wxConvUTF8);
  return text.Find("\nHidden=true") == wxNOT_FOUND;
}

bool Autostart::Enable(const wxString& program, const wxString& workingDirectory) {
  const wxString text = EntryText(program, workingDirectory);
  if (text.empty()) {
    wxLogError(_("The path '%s' cannot be started at login."), program + " (" +
                                                               workingDirectory + ")");
    return false;
  }
  int error = CreateDirectories(directory_.utf8_string());
  if (error == 0) {
    error = platform::Env::Current()->WriteFileAtomically(path_.utf8_string(), text.utf8_string());
  }
  if (error == 0) return true;
  wxLogError(_("Couldn't write '%s': %s"), path_, wxString::FromUTF8(platform::ErrorText(error)));
  return false;
}

bool Autostart::Disable() {
  const int error = platform::Env::Current()->RemoveFile(path_.utf8_string());
  if (error == 0 || error == ENOENT) return true;
  wxLogError(_("Couldn't remove '%s': %s"), path_, wxString::FromUTF8(platform::ErrorText(error)));
  return false;
}

wxString Autostart::EntryText(const wxString& program, const wxString& workingDirectory) {
  if (HasControlCharacter(program) || HasControlCharacter(workingDirectory)) return wxString();
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Arkivault\n"
         "Comment=" + wxString(_("Runs the scheduled backups")) + "\n"
         "Exec=" + EscapeValue(ExecArgument(program)) + " -n\n"
         "Path=" + EscapeValue(workingDirectory) + "\n"
         "Icon=arkivault\n"
         "Terminal=false\n";
}
