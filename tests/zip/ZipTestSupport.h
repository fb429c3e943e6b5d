// Helpers shared by the ZIP writer tests: building archives, reading
// little-endian fields of written bytes, and a callback that records what the
// writer tells it and cancels on request.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/ExternalZip.h"
#include "tests/support/TempDir.h"
#include "zip/ZipWriter.h"

namespace zip_test {

inline uint32_t Le16(const std::string& bytes, size_t offset) {
  return static_cast<uint8_t>(bytes.at(offset)) | (static_cast<uint8_t>(bytes.at(offset + 1)) << 8);
}

inline uint32_t Le32(const std::string& bytes, size_t offset) {
  return Le16(bytes, offset) | (Le16(bytes, offset + 2) << 16);
}

// Bytes that deflate poorly, the same on every run.
inline std::string NoiseBytes(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  uint32_t state = seed * 2654435761u + 1;
  for (char& c : bytes) {
    state = state * 1664525u + 1013904223u;
    c = static_cast<char>(state >> 24);
  }
  return bytes;
}

// Bytes that deflate well.
inline std::string TextBytes(size_t size, const std::string& word = "arkivault ") {
  std::string bytes;
  while (bytes.size() < size) bytes += word;
  bytes.resize(size);
  return bytes;
}

// Writes each file below `root` and adds them, in order, to a new archive at
// `archive` with `root` as the root directory.
inline void MakeArchive(const std::string& archive, const std::string& root,
                        const std::vector<std::pair<std::string, std::string>>& files,
                        int level = -1) {
  ZipWriter writer;
  writer.OpenArchive(archive, ZipWriter::CreateNew);
  writer.SetRootDirectory(root);
  for (const auto& file : files) {
    testing_support::WriteFile(root + "/" + file.first, file.second);
    AddFileRequest request(root + "/" + file.first, false);
    request.level = level;
    ASSERT_TRUE(writer.AddFile(request)) << file.first;
  }
  writer.CloseArchive();
}

// Records every call and answers OnProgress with false from call `cancelAt`
// on (counting from 1; 0 never cancels).
class RecordingCallback : public ZipActionCallback {
 public:
  explicit RecordingCallback(int cancelAt = 0) : cancelAt_(cancelAt) {}

  bool OnProgress(uint64_t progress) override {
    events.push_back("progress " + std::to_string(progress));
    ++progressCalls;
    return cancelAt_ == 0 || progressCalls < cancelAt_;
  }
  void BeginAction(const std::string& name, const std::string& path) override {
    ZipActionCallback::BeginAction(name, path);
    events.push_back("begin " + name);
  }
  void SetActionTotal(uint64_t total) override {
    ZipActionCallback::SetActionTotal(total);
    events.push_back("total " + std::to_string(total));
  }
  void EndAction() override { events.push_back("end"); }

  std::vector<std::string> events;
  int progressCalls = 0;

 private:
  int cancelAt_;
};

}  // namespace zip_test
