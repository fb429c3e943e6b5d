// Adds a directory tree to a new archive through ZipWriter, the way a full
// backup does (a directory entry before each directory's content, every file
// at the default level with the engine's options), and prints the time taken.
// With "reopen" it instead opens the existing ARCHIVE for adding and closes it
// again, what the writer does in an incremental run that finds nothing new.
//
//   zip_bench SOURCE_DIR ARCHIVE [reopen]
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "platform/Env.h"
#include "zip/ZipWriter.h"

namespace {

struct Totals {
  uint64_t files = 0;
  uint64_t bytes = 0;
};

void AddTree(ZipWriter& writer, const std::string& directory, Totals* totals) {
  std::unique_ptr<platform::DirectoryReader> reader;
  if (platform::Env::Current()->OpenDirectory(directory, &reader) != 0) return;
  platform::DirEntry entry;
  while (reader->Next(&entry)) {
    std::string path = directory + "/" + entry.name;
    if (entry.info.isDirectory) {
      if (entry.info.isSymlink) continue;
      writer.AddFile(path);
      AddTree(writer, path, totals);
    } else if (writer.AddFile(path)) {
      ++totals->files;
      totals->bytes += entry.info.size;
    }
  }
}

// Peak resident set size of this process in KiB, from /proc.
long PeakRssKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, 6, "VmHWM:") == 0) return std::stol(line.substr(6));
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  const bool reopen = argc == 4 && std::string(argv[3]) == "reopen";
  if (argc != 3 && !reopen) {
    std::fprintf(stderr, "usage: %s SOURCE_DIR ARCHIVE [reopen]\n", argv[0]);
    return 2;
  }
  auto start = std::chrono::steady_clock::now();
  Totals totals;
  try {
    ZipWriter writer;
    writer.OpenArchive(argv[2], reopen ? ZipWriter::OpenExisting : ZipWriter::CreateNew);
    writer.SetRootDirectory(argv[1]);
    if (!reopen) AddTree(writer, argv[1], &totals);
    writer.CloseArchive();
  } catch (const ZipException& error) {
    std::fprintf(stderr, "ZIP error %d on '%s'\n", error.code, error.fileName.c_str());
    return 1;
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  double megabytes = static_cast<double>(totals.bytes) / 1e6;
  std::printf("files %llu  input %.1f MB  time %.2f s  %.1f MB/s  peak RSS %ld KiB\n",
              static_cast<unsigned long long>(totals.files), megabytes, seconds,
              megabytes / seconds, PeakRssKiB());
  return 0;
}
