#include "zip/ZipDeflateStream.h"

int ZipDeflateStream::Prepare(std::unique_ptr<ZipDeflateStream>* stream, int level) {
  if (*stream == nullptr || (*stream)->Level() != level || deflateReset((*stream)->Get()) != Z_OK) {
    *stream = std::make_unique<ZipDeflateStream>(level);
  }
  const int result = (*stream)->InitResult();
  if (result != Z_OK) stream->reset();
  return result;
}

int ZipDeflateStream::DeflateAll(const std::string& input, int flush, std::string* output) {
  // Room for the whole input: deflateBound plus the flush marker.
  output->resize(deflateBound(&stream_, static_cast<uLong>(input.size())) + 16);
  stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
  stream_.avail_in = static_cast<uInt>(input.size());
  stream_.next_out = reinterpret_cast<Bytef*>(&(*output)[0]);
  stream_.avail_out = static_cast<uInt>(output->size());
  const int code = deflate(&stream_, flush);
  const bool done = flush == Z_FINISH
                        ? code == Z_STREAM_END
                        : code == Z_OK && stream_.avail_in == 0 && stream_.avail_out != 0;
  if (!done) return code == Z_OK || code == Z_STREAM_END ? Z_BUF_ERROR : code;
  output->resize(output->size() - stream_.avail_out);
  return Z_OK;
}
