// The application started inside a test program on Xvfb, with real windows:
// a fixture that starts it in a directory of its own, prompts answered from a
// script, commands sent as the toolkit would send them, modal dialogs driven
// from inside their modal loop, and screenshots of single windows.
#pragma once

#include <gtest/gtest.h>
#include <wx/listctrl.h>
#include <wx/textctrl.h>
#include <wx/utils.h>
#include <wx/xrc/xmlres.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/ArkivaultApp.h"
#include "platform/Clock.h"
#include "tests/app/AppTestSupport.h"
#include "ui/MainFrame.h"
#include "ui/UserPrompts.h"

namespace app_test {

// Answers message boxes and directory choosers from queues and records what
// was asked as "caption: text" (choosers as "choose: message").
class ScriptedPrompts : public UserPrompts {
 public:
  int Message(wxWindow*, const wxString& text, const wxString& caption, long style) override {
    asked.push_back((caption + ": " + text).utf8_string());
    if (answers.empty()) return (style & wxYES_NO) != 0 ? wxNO : wxOK;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  wxString ChooseDirectory(wxWindow*, const wxString& message, const wxString& start) override {
    asked.push_back("choose: " + message.utf8_string());
    starts.push_back(start.utf8_string());
    if (directories.empty()) return wxString();
    const wxString chosen = wxString::FromUTF8(directories.front());
    directories.pop_front();
    return chosen;
  }
  void Notify(const wxString& text, long) override { notices.push_back(text.utf8_string()); }
  std::vector<std::string> Take() { return std::exchange(asked, {}); }

  std::deque<int> answers;             // wxYES, wxNO, ...; none left: No or OK
  std::deque<std::string> directories; // none left: cancelled
  std::vector<std::string> asked;
  std::vector<std::string> starts;     // start directory of each chooser
  std::vector<std::string> notices;    // desktop notifications
};

// The program's clock for one scope.
struct ScopedClock : platform::ManualClock {
  explicit ScopedClock(int64_t now) : ManualClock(now) { Install(this); }
  ~ScopedClock() override { Install(nullptr); }
};

inline int Id(const char* name) { return wxXmlResource::GetXRCID(name); }

// The control `name` of `dialog`; throws when there is none of type T.
template <typename T>
T& Control(wxWindow& dialog, const char* name) {
  T* control = dynamic_cast<T*>(dialog.FindWindow(Id(name)));
  if (control == nullptr) throw std::runtime_error(name);
  return *control;
}

// Types `text` into a field as the user would.
inline void Type(wxWindow& d, const char* name, const wxString& text) {
  auto& field = Control<wxTextCtrl>(d, name);
  field.ChangeValue(text);
  field.MarkDirty();
}

// Selects `row` of `list` as a click would.
inline void Select(wxListCtrl& list, long row) {
  list.SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
}

// Sends a menu or tool command, or a button click, to `window` as the toolkit would.
inline void Send(wxWindow& window, wxEventType type, const char* name) {
  wxCommandEvent event(type, Id(name));
  event.SetEventObject(&window);
  window.GetEventHandler()->ProcessEvent(event);
}

// Handles pending events for about `ms` milliseconds.
inline void Pump(int ms) {
  for (int elapsed = 0; elapsed < ms; elapsed += 10) {
    wxTheApp->Yield(true);
    wxMilliSleep(10);
  }
}

// Runs `script` on the modal dialog of type T once its modal loop runs; the
// script ends the dialog (or the test fails on the dialog left open).
template <typename T>
void WhenShown(std::function<void(T&)> script) {
  wxTheApp->CallAfter([script] {
    for (wxWindow* window : wxTopLevelWindows) {
      T* dialog = dynamic_cast<T*>(window);
      if (dialog != nullptr && dialog->IsModal()) {
        script(*dialog);
        if (dialog->IsModal()) {
          ADD_FAILURE() << "the dialog was left open";
          dialog->EndModal(wxID_CANCEL);
        }
        return;
      }
    }
    ADD_FAILURE() << "no modal dialog";
  });
}

// Saves what `window` shows on the screen as the screenshot `name`.
inline void Screenshot(wxWindow& window, const std::string& name) {
  window.Refresh();
  Pump(300);
  const std::string file = ScreenshotFile(name);
  wxImage screen;
  if (testing_support::RunCommand("import -window root " + ShellQuote(file)) != 0 ||
      !screen.LoadFile(file, wxBITMAP_TYPE_PNG)) {
    ADD_FAILURE() << "no screenshot " << file;
    return;
  }
  const wxRect shown = window.GetScreenRect().Intersect(wxRect(screen.GetSize()));
  screen.GetSubImage(shown).SaveFile(file, wxBITMAP_TYPE_PNG);
}

// The interactive application in a directory of its own (with the build's
// res/), started by Start() once the test has written its job files.
class AppFixture : public ::testing::Test {
 protected:
  AppFixture() : previous_(std::filesystem::current_path()) {
    std::filesystem::create_directory_symlink(BinaryDir() + "/res", cwd / "res");
    std::filesystem::current_path(cwd.path());
    // The private test directory keeps this instance apart from any other.
    setenv("XDG_RUNTIME_DIR", cwd.path().c_str(), 1);
    setenv("XDG_STATE_HOME", (cwd / "state").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (cwd / "config").c_str(), 1);
  }
  ~AppFixture() override {
    UserPrompts::Install(nullptr);
    if (app != nullptr) {
      app->OnExit();
      wxEntryCleanup();
    }
    std::filesystem::current_path(previous_);
  }

  // Starts the application; false without a display or when start-up fails.
  // A tray-only start ("-n") first waits (10 s) for the test's tray host.
  bool Start(const StartOptions& options = StartOptions()) {
    log = StartToolkit(new ArkivaultApp(options));
    if (log == nullptr) return false;
    app = &wxGetApp();
    UserPrompts::Install(&prompts);
    if (options.noGui && !WaitFor([] { return wxTaskBarIcon::IsAvailable(); }, true)) return false;
    return app->CallOnInit() && (options.noGui || app->MainWindow() != nullptr);
  }

  // Job `title` saving cwd/`source` into cwd/out, in the definition file BackupDef/`file`.
  void WriteJob(const std::string& file, const std::string& title, const std::string& source,
                const std::string& schedules = "") {
    std::filesystem::create_directories(cwd / "out");
    testing_support::WriteFile(cwd / ("BackupDef/" + file),
                               JobDefinition(title, cwd / source, cwd / "out", schedules));
  }

  MainFrame& Frame() { return *app->MainWindow(); }
  wxListCtrl& List() { return *XRCCTRL(Frame(), "ID_LISTCTRL", wxListCtrl); }
  void Select(long row) { app_test::Select(List(), row); }
  void Command(const char* name) { Send(Frame(), wxEVT_MENU, name); }

  testing_support::TempDir cwd;
  ScriptedPrompts prompts;
  ArkivaultApp* app = nullptr;
  LogCapture* log = nullptr;

 private:
  std::filesystem::path previous_;
};

}  // namespace app_test
