// The program's resource files as the windows use them: the resource archive
// "Arkivault.xrs" (window layouts in the toolkit's XRC format and the menu
// images) and the icon files beside it, in the directory ResourceDirectory finds.
#pragma once

#include <wx/bitmap.h>
#include <wx/icon.h>
#include <wx/image.h>
#include <wx/string.h>

#include "ui/ImageSource.h"

class ResourceFiles : public ImageSource {
 public:
  explicit ResourceFiles(const wxString& directory = wxString()) : directory_(directory) {}

  const wxString& Directory() const { return directory_; }

  // Hands the archive to the toolkit's resource loader, which reads it through
  // the virtual file system's ZIP handler. False when it cannot be read.
  bool LoadArchive() const;

  // The icon file `name` of the directory at its default size; an empty icon
  // when it cannot be loaded.
  wxIcon LoadIcon(const wxString& name) const override;

  // The PNG member `name` as a bitmap; empty when it is missing.
  wxBitmap LoadMenuBitmap(const wxString& name) const override;

  // The archive member "Arkivault.xrs$" + `name`, decoded as `type`; an empty
  // image when the member is missing.
  wxImage LoadImage(const wxString& name, wxBitmapType type) const;

 private:
  wxString ArchivePath() const;

  wxString directory_;
};
