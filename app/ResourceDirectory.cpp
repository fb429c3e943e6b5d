#include "app/ResourceDirectory.h"

#include "platform/Env.h"
#include "zip/ZipException.h"
#include "zip/ZipReader.h"

const wxString ResourceDirectory::ArchiveName = "res/Arkivault.xrs";
const char ResourceDirectory::ArchiveFile[] = "Arkivault.xrs";

wxString ResourceDirectory::Find() {
  platform::Env* env = platform::Env::Current();
  const wxString inCurrent = wxString::FromUTF8(env->CurrentDirectory()) + "/res";
  if (IsRegularFile(inCurrent + "/" + ArchiveFile)) return inCurrent;
  const wxString executableDirectory = wxString::FromUTF8(env->ExecutableDirectory());
  if (executableDirectory.empty()) return wxString();
  for (const wxString& candidate :
       {executableDirectory + "/res", executableDirectory + "/../share/arkivault/res"}) {
    if (IsRegularFile(candidate + "/" + ArchiveFile)) return candidate;
  }
  return wxString();
}

bool ResourceDirectory::HoldsReadableArchive(const wxString& directory) {
  if (directory.empty()) return false;
  try {
    ZipReader reader;
    reader.Open((directory + "/" + ArchiveFile).utf8_string());
    return true;
  } catch (const ZipException&) {
    return false;
  }
}

bool ResourceDirectory::IsRegularFile(const wxString& path) {
  platform::FileInfo info;
  return platform::Env::Current()->Stat(path.utf8_string(), &info) == 0 && info.isRegular;
}
