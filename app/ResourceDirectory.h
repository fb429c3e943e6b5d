// Where the program's resource files are: the directory "res" that holds the
// resource archive "Arkivault.xrs" (window layouts and menu images) and the
// icon files. Needs only the toolkit's base library, so the batch program can
// check for the archive without loading the window libraries.
#pragma once

#include <wx/string.h>

class ResourceDirectory {
 public:
  // The archive as messages name it.
  static const wxString ArchiveName;
  // The archive's file name inside the directory.
  static const char ArchiveFile[];

  // The first directory that holds the resource archive: "res" below the
  // current directory, then "res" beside the executable (the build's layout),
  // then "../share/arkivault/res" from the executable (the installed layout).
  // Empty when none does.
  static wxString Find();

  // True when `directory` holds a resource archive that opens as a ZIP archive.
  static bool HoldsReadableArchive(const wxString& directory);

  // True when `path` names a regular file (following links).
  static bool IsRegularFile(const wxString& path);
};
