// Where the windows get their pictures: icon files and the menu images of the
// resource archive. A missing picture is an empty one.
#pragma once

#include <wx/bitmap.h>
#include <wx/icon.h>
#include <wx/string.h>

class ImageSource {
 public:
  virtual ~ImageSource() = default;

  // The icon file `name` ("job.ico"); empty when it cannot be loaded.
  virtual wxIcon LoadIcon(const wxString& name) const = 0;

  // The PNG image `name` ("file_new.png") of the resource archive as a
  // bitmap; empty when the archive has no such image.
  virtual wxBitmap LoadMenuBitmap(const wxString& name) const = 0;
};
