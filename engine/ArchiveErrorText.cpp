#include "engine/ArchiveErrorText.h"

#include <wx/intl.h>
#include <wx/log.h>

#include "engine/PathUtil.h"
#include "platform/Env.h"
#include "zip/ZipException.h"

wxString ZipErrorReason(const ZipException& error) {
  if (error.code > 0 && error.code < ZipException::GenericError) {
    return FileSystemText(platform::ErrorText(error.code));
  }
  switch (error.code) {
    case ZipException::ArchiveInUse:
      return _("another run is writing this archive");
    case ZipException::BadArchive:
      return _("the archive is damaged");
    case ZipException::EndRecordMissing:
      return _("the file is not a ZIP archive");
    case ZipException::MultiVolumeUnsupported:
      return _("multi-volume archives are not supported");
    case ZipException::EntryTooLong:
      return _("a name is longer than 65535 bytes");
    case ZipException::RenameFailed:
      return _("the archive could not be renamed");
    case ZipException::DeleteFailed:
      return _("the file could not be deleted");
    case ZipException::MoveSizeMismatch:
      return _("entry data could not be moved");
    case ZipException::LinkRefused:
      return _("it is a symbolic link, or lies behind a link another account made; "
               "nothing was written through it");
    case ZipException::NotOwnFile:
      return _("it is not a regular file of this user's own; nothing was written to it");
    case ZipException::ZlibMemoryError:
      return _("out of memory while compressing");
    default:
      return wxString::Format(_("ZIP writer error %d"), error.code);
  }
}

void LogArchiveError(const ZipException& error, const std::string& archivePath) {
  if (error.code == ZipException::CancelledFinished ||
      error.code == ZipException::CancelledUnfinished) {
    return;
  }
  const std::string& file = error.fileName;
  if (file.empty() || file == archivePath) {
    wxLogError(_("Archive '%s' failed: %s"), FileSystemText(archivePath), ZipErrorReason(error));
  } else {
    wxLogError(_("Archive '%s' failed on '%s': %s"), FileSystemText(archivePath),
               FileSystemText(file), ZipErrorReason(error));
  }
}
