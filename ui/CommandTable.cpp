#include "ui/CommandTable.h"

#include <wx/intl.h>
#include <wx/menu.h>
#include <wx/xrc/xmlres.h>

#include "ui/ImageSource.h"
#include "ui/wxMenuItemExt.h"

namespace {

const MenuCommand kSeparator{nullptr, "", "", CommandRule::Always, false};

MenuCommand Row(const char* name, const char* label, const char* bitmap,
                CommandRule rule = CommandRule::Always) {
  return {name, label, bitmap, rule, false};
}

}  // namespace

const MenuCommands kFileMenu = {
    Row("ID_NEWJOB", "&New...\tCtrl+N", "file_new.png"),
    Row("ID_COPYJOB", "&Copy", "file_copy.png", CommandRule::NeedsSelection),
    Row("ID_DELETEJOB", "&Delete", "file_delete.png", CommandRule::NeedsSelection),
    kSeparator,
    Row("ID_EDITJOB", "&Edit", "file_edit.png", CommandRule::NeedsSelection),
    Row("ID_HISTORY", "&History...", "", CommandRule::NeedsSelection),
    kSeparator,
    Row("ID_STARTFULL", "Start &Full Backup", "file_full.png", CommandRule::StartAllowed),
    Row("ID_STARTINC", "Start &Incremental Backup", "file_inc.png", CommandRule::StartAllowed),
    Row("ID_CANCELJOB", "Cance&l Backup", "file_cancel.png", CommandRule::OnRunningRow),
    Row("ID_RESTOREFILES", "&Restore...\tCtrl+R", "file_restore.png", CommandRule::NeedsSelection),
    kSeparator,
    {"ID_AUTOSTART", "Start &at Login", "", CommandRule::Always, false, true},
    Row("ID_EXIT", "Close &Window", "file_close.png"),
    Row("ID_SHUTDOWN", "&Shutdown Arkivault\tCtrl+Q", "file_exit.png"),
};

const MenuCommands kViewMenu = {
    {"ID_VIEW_ICONS", "&Icons", "", CommandRule::Always, false, true},
    {"ID_VIEW_DETAILS", "&Details", "", CommandRule::Always, false, true},
};

const MenuCommands kHelpMenu = {
    Row("ID_HELPCONTENTS", "&Help Contents...\tF1", "help_contents.png"),
    Row("ID_HELPABOUT", "&About Arkivault...", "help_about.png"),
};

const MenuCommands kContextMenu = {
    Row("ID_COPYJOB", "&Copy", "file_copy.png", CommandRule::NeedsSelection),
    Row("ID_DELETEJOB", "&Delete", "file_delete.png", CommandRule::NeedsSelection),
    kSeparator,
    Row("ID_EDITJOB", "&Edit...", "file_edit.png", CommandRule::NeedsSelection),
    Row("ID_HISTORY", "&History...", "", CommandRule::NeedsSelection),
    kSeparator,
    Row("ID_STARTFULL", "Start &Full Backup", "file_full.png", CommandRule::StartAllowed),
    Row("ID_STARTINC", "Start &Incremental Backup", "file_inc.png", CommandRule::StartAllowed),
    Row("ID_CANCELJOB", "Cance&l Backup", "file_cancel.png", CommandRule::OnRunningRow),
    Row("ID_RESTOREFILES", "&Restore...", "file_restore.png", CommandRule::NeedsSelection),
};

const MenuCommands kTrayMenu = {
    {"ID_RESTORE", "&Restore Arkivault Window", "file_open.png", CommandRule::Always, true},
    Row("ID_RESTOREFILES", "Restore &Files...", "file_restore.png", CommandRule::NeedsSelection),
    Row("ID_TRAY_SHUTDOWN", "&Shutdown Arkivault", "file_exit.png", CommandRule::NoModalDialog),
};

int CommandId(const MenuCommand& command) { return wxXmlResource::GetXRCID(command.name); }

const MenuCommand* FindCommand(int id) {
  for (const MenuCommands* menu : {&kFileMenu, &kViewMenu, &kHelpMenu, &kContextMenu, &kTrayMenu}) {
    for (const MenuCommand& command : *menu) {
      if (command.name != nullptr && CommandId(command) == id) return &command;
    }
  }
  return nullptr;
}

bool IsCommandEnabled(CommandRule rule, const CommandState& state) {
  const bool selected = state.selectedRow != -1;
  switch (rule) {
    case CommandRule::Always:
      return true;
    case CommandRule::NeedsSelection:
      return selected;
    case CommandRule::StartAllowed:
      return selected && !state.running;
    case CommandRule::OnRunningRow:
      return selected && state.selectedRow == state.runningRow;
    case CommandRule::NoModalDialog:
      return !state.modalDialogOpen;
  }
  return true;
}

void AppendCommands(wxMenu& menu, const MenuCommands& commands, const ImageSource& images,
                    bool translate) {
  for (const MenuCommand& command : commands) {
    if (command.name == nullptr) {
      menu.AppendSeparator();
      continue;
    }
    const wxString label = translate ? wxGetTranslation(command.label) : wxString(command.label);
    auto* item = new wxMenuItemExt(&menu, CommandId(command), label, wxString(),
                                   command.checkable ? wxITEM_CHECK : wxITEM_NORMAL);
    if (!command.checkable) item->SetBitmap(images.LoadMenuBitmap(command.bitmap));
    if (command.bold) item->SetFont(item->GetFont().Bold());
    menu.Append(item);
  }
}
