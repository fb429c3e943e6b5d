// Helpers shared by the ZIP writer tests: building and checking archives,
// reading little-endian fields of written bytes, catching ZipExceptions, and a
// callback that records what the writer tells it and cancels on request.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/Env.h"
#include "tests/support/ExternalZip.h"
#include "tests/support/FaultEnv.h"
#include "tests/support/TempDir.h"
#include "zip/ZipFileHeader.h"
#include "zip/ZipWriter.h"

namespace zip_test {

using testing_support::NoiseBytes;

// Entry names and contents, in the order they are added.
using Files = std::vector<std::pair<std::string, std::string>>;

inline uint32_t Le16(const std::string& bytes, size_t offset) {
  return static_cast<uint8_t>(bytes.at(offset)) | (static_cast<uint8_t>(bytes.at(offset + 1)) << 8);
}

inline uint32_t Le32(const std::string& bytes, size_t offset) {
  return Le16(bytes, offset) | (Le16(bytes, offset + 2) << 16);
}

// `value` as `width` little-endian bytes.
inline std::string Le(uint64_t value, int width) {
  std::string bytes;
  for (int i = 0; i < width; ++i) bytes += static_cast<char>(value >> (8 * i));
  return bytes;
}

// `bytes` with `value` written as `width` little-endian bytes at `offset`.
inline std::string Patched(std::string bytes, size_t offset, int width, uint64_t value) {
  return bytes.replace(offset, width, Le(value, width));
}

// Where each central header starts, in directory order (archives without a comment).
inline std::vector<size_t> CentralHeaders(const std::string& bytes) {
  size_t end = bytes.size() - 22;
  EXPECT_EQ(0x06054b50u, Le32(bytes, end));
  std::vector<size_t> offsets;
  for (size_t at = Le32(bytes, end + 16); offsets.size() < Le16(bytes, end + 10);) {
    offsets.push_back(at);
    at += 46 + Le16(bytes, at + 28) + Le16(bytes, at + 30) + Le16(bytes, at + 32);
  }
  return offsets;
}

// `count` files of noise bytes named `prefix` and a number, written below `root`.
inline Files NoiseFiles(const std::string& root, const std::string& prefix, int count, size_t size,
                        uint32_t seed = 0) {
  Files files;
  for (int i = 0; i < count; ++i) {
    files.push_back({prefix + std::to_string(i), NoiseBytes(size, seed + static_cast<uint32_t>(i))});
    testing_support::WriteFile(root + "/" + files.back().first, files.back().second);
  }
  return files;
}

// Bytes that deflate well.
inline std::string TextBytes(size_t size, const std::string& word = "arkivault ") {
  std::string bytes;
  while (bytes.size() < size) bytes += word;
  bytes.resize(size);
  return bytes;
}

// Opens `archive` with names below `root` and temporary archives in `temporary`.
inline void Open(ZipWriter& writer, const std::string& archive, ZipOpenMode mode,
                 const std::string& root = "", const std::string& temporary = "") {
  writer.OpenArchive(archive, mode);
  writer.SetRootDirectory(root);
  if (!temporary.empty()) writer.SetTemporaryDirectory(temporary);
}

// A request to add `path` at `level` that replaces the entry of the same
// name where there is one, the way the backup engine replaces.
inline AddFileRequest ReplacingRequest(ZipWriter& writer, const std::string& path, int level = -1) {
  AddFileRequest request(path, false);
  request.level = level;
  request.replaceIndex = writer.FindDuplicate(path, false);
  return request;
}

// Writes each file below `root` and adds them, in order, to a new archive.
inline void MakeArchive(const std::string& archive, const std::string& root, const Files& files,
                        int level = -1) {
  ZipWriter writer;
  Open(writer, archive, ZipWriter::CreateNew, root);
  for (const auto& file : files) {
    testing_support::WriteFile(root + "/" + file.first, file.second);
    ASSERT_TRUE(writer.AddFile(root + "/" + file.first, level)) << file.first;
  }
  writer.CloseArchive();
}

// Every outside reader accepts `archive` (Python's zipfile alone where
// `everyReader` is false: for the many similar archives of one table) and it
// holds exactly `files`; returns the entries as Python's zipfile reads them.
inline std::map<std::string, testing_support::ExternalEntry> ExpectArchiveHolds(
    const char* file, int line, const std::string& archive, const Files& files,
    bool everyReader = true) {
  testing::ScopedTrace trace(file, line, archive);
  if (everyReader) {
    EXPECT_ZIP_VALID(archive);
  }
  auto entries = testing_support::ExternalEntries(archive);
  EXPECT_EQ(files.size(), entries.size());
  for (const auto& f : files) {
    const auto entry = entries.find(f.first);
    EXPECT_TRUE(entry != entries.end() && f.second == entry->second.content)  // no megabyte diffs
        << f.first << (entry == entries.end() ? " is missing" : " differs");
  }
  return entries;
}
#define EXPECT_ARCHIVE_HOLDS(archive, files, ...) \
  ::zip_test::ExpectArchiveHolds(__FILE__, __LINE__, archive, files, ##__VA_ARGS__)

inline ZipFileHeader Entry(ZipWriter& writer, int index) {
  ZipFileHeader header;
  EXPECT_TRUE(writer.GetEntryInfo(index, &header)) << index;
  return header;
}

// What a call threw: the ZipException's code and file name, or code 0.
struct Thrown { int code = 0; std::string fileName; };
template <typename Action>
Thrown ThrownBy(Action action) {
  try {
    action();
  } catch (const ZipException& error) {
    return {error.code, error.fileName};
  }
  return {};
}

// What opening `path` in `mode` throws, 0 when it opens; a refused writer is
// closed and names the archive.
inline Thrown OpenThrown(const std::string& path, ZipOpenMode mode) {
  ZipWriter writer;
  Thrown thrown = ThrownBy([&] { writer.OpenArchive(path, mode); });
  EXPECT_EQ(thrown.code != 0, writer.IsClosed());
  EXPECT_TRUE(thrown.code == 0 || thrown.fileName == path) << thrown.fileName;
  return thrown;
}

// Names left in `directory` (where temporary archives go), one a line.
inline std::string Leftovers(const std::string& directory) {
  std::string names;
  testing_support::RunCommand("ls -A " + testing_support::ShellQuote(directory), &names);
  return names;
}

// Installs a FaultEnv for the lifetime of the object.
struct InstalledFaultEnv {
  testing_support::FaultEnv env;
  testing_support::ScopedEnv installed{&env};
};

// Records every call and answers OnProgress with false from call `cancelAt`
// on (counting from 1; 0 never cancels).
struct RecordingCallback : ZipActionCallback {
  explicit RecordingCallback(int cancelAt = 0) : cancelAt(cancelAt) {}
  bool OnProgress(uint64_t progress) override {
    events.push_back("progress " + std::to_string(progress));
    return cancelAt == 0 || ++progressCalls < cancelAt;
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
  int Ends() const { return static_cast<int>(std::count(events.begin(), events.end(), "end")); }
  std::vector<std::string> events;
  int cancelAt, progressCalls = 0;
};

}  // namespace zip_test
