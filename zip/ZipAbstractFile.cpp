#include "zip/ZipAbstractFile.h"

bool ZipAbstractFile::Open(const std::string&, int, bool) { return true; }
