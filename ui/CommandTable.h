// The program's menu commands in one table: for each menu (the main window's
// three menus, the job list's context menu, the tray menu) its rows with the
// command's resource identifier name ("ID_NEWJOB"), label, bitmap and the
// rule that enables it. The windows build their menus from it
// (AppendCommands) and enable each item by its rule (IsCommandEnabled) each
// time a menu is shown; a command's numeric identifier is the resource
// loader's number for its name (CommandId), so menus, layouts and event
// handlers agree.
//
// Tray menu: kTrayMenu holds "ID_RESTORE" (bold, opens the main window),
// "ID_RESTOREFILES" (the restore window of the job selected in the main
// window) and, last, "ID_TRAY_SHUTDOWN" (the program's end; disabled while a
// modal dialog is shown).
#pragma once

#include <wx/string.h>

#include <vector>

class ImageSource;
class wxMenu;

// When a command is enabled.
enum class CommandRule {
  Always,
  NeedsSelection,  // a row is selected
  StartAllowed,    // a row is selected and no run is going on
  OnRunningRow,    // the selected row is the running job's row
  NoModalDialog,   // neither the about box nor the job dialog is shown
};

// The state the rules look at.
struct CommandState {
  int selectedRow = -1;
  int runningRow = -1;
  bool running = false;
  bool modalDialogOpen = false;
};

// One menu row; a separator has a null name.
struct MenuCommand {
  const char* name;
  const char* label;
  const char* bitmap;
  CommandRule rule;
  bool bold;
  // A check item (it shows a mark instead of a bitmap).
  bool checkable = false;
};

using MenuCommands = std::vector<MenuCommand>;

// The main window's menus (File, View, Help), labels used as written.
extern const MenuCommands kFileMenu;
extern const MenuCommands kViewMenu;
extern const MenuCommands kHelpMenu;
// The job list's context menu and the tray menu, labels translated.
extern const MenuCommands kContextMenu;
extern const MenuCommands kTrayMenu;

// The resource loader's identifier for `command`'s name.
int CommandId(const MenuCommand& command);
// The row of any menu whose identifier is `id`; null for none.
const MenuCommand* FindCommand(int id);
bool IsCommandEnabled(CommandRule rule, const CommandState& state);

// Appends the rows of `commands` to `menu` as wxMenuItemExt items with their
// bitmaps from `images` and empty help texts; labels are translated when
// `translate` is set.
void AppendCommands(wxMenu& menu, const MenuCommands& commands, const ImageSource& images,
                    bool translate);
