#include "app/ResourceFiles.h"

#include <memory>

#include <wx/filename.h>
#include <wx/filesys.h>
#include <wx/fs_zip.h>
#include <wx/xrc/xmlres.h>

#include "app/ResourceDirectory.h"

namespace {

// The ZIP handler is registered once per process, whoever asks first.
// Once per start of the toolkit: its clean-up removes every handler.
void RegisterZipHandler() {
  if (wxFileSystem::HasHandlerForPath("file:archive.zip#zip:member")) return;
  wxFileSystem::AddHandler(new wxZipFSHandler);
}

wxString ArchiveUrl(const wxString& archivePath) {
  return wxFileSystem::FileNameToURL(wxFileName(archivePath));
}

}  // namespace

bool ResourceFiles::LoadArchive() const {
  if (directory_.empty()) return false;
  RegisterZipHandler();
  wxXmlResource* loader = wxXmlResource::Get();
  loader->InitAllHandlers();
  return loader->Load(ArchiveUrl(ArchivePath()));
}

wxIcon ResourceFiles::LoadIcon(const wxString& name) const {
  wxIcon icon;
  const wxString path = directory_ + "/" + name;
  if (ResourceDirectory::IsRegularFile(path)) icon.LoadFile(path, wxBITMAP_TYPE_ICO);
  return icon;
}

wxImage ResourceFiles::LoadImage(const wxString& name, wxBitmapType type) const {
  RegisterZipHandler();
  wxFileSystem files;
  std::unique_ptr<wxFSFile> member(
      files.OpenFile(ArchiveUrl(ArchivePath()) + "#zip:" + ResourceDirectory::ArchiveFile + "$" +
                     name));
  wxImage image;
  if (member != nullptr && member->GetStream() != nullptr) {
    image.LoadFile(*member->GetStream(), type);
  }
  return image;
}

wxBitmap ResourceFiles::LoadMenuBitmap(const wxString& name) const {
  const wxImage image = LoadImage(name, wxBITMAP_TYPE_PNG);
  return image.IsOk() ? wxBitmap(image) : wxBitmap();
}

wxString ResourceFiles::ArchivePath() const {
  return directory_ + "/" + ResourceDirectory::ArchiveFile;
}
