#include "zip/ZipException.h"

#include <zlib.h>

ZipException::ZipException(int code, std::string fileName)
    : code(code), fileName(std::move(fileName)) {}

int ZipException::CodeOfZlibResult(int zlibResult) {
  switch (zlibResult) {
    case Z_STREAM_END: return ZlibStreamEnd;
    case Z_NEED_DICT: return ZlibNeedDictionary;
    case Z_ERRNO: return ZlibErrno;
    case Z_STREAM_ERROR: return ZlibStreamError;
    case Z_DATA_ERROR: return ZlibDataError;
    case Z_MEM_ERROR: return ZlibMemoryError;
    case Z_BUF_ERROR: return ZlibBufferError;
    case Z_VERSION_ERROR: return ZlibVersionError;
    default: return GenericError;
  }
}

const char* ZipException::what() const noexcept { return "ZIP writer error"; }
