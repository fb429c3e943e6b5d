// A walk of an awkward source tree into a real archive: special files, link
// loops, odd names and names that differ only in case.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "engine/PathUtil.h"
#include "engine/SourceWalker.h"
#include "jobs/BackupJob.h"
#include "tests/support/ExternalZip.h"
#include "tests/support/TempDir.h"
#include "zip/ZipWriter.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteFile;

// Stores files and, like a full run, a directory entry per entered directory.
class ArchiveActions : public SourceWalkActions {
 public:
  ArchiveActions(ZipWriter& archive, std::string sourceRoot)
      : archive_(archive), sourceRoot_(std::move(sourceRoot)) {}

  bool AddSourceFile(const std::string& relativeDir, const std::string& name,
                     const platform::FileInfo&) override {
    return archive_.AddFile(JoinPath(sourceRoot_, JoinPath(relativeDir, name)));
  }
  bool EnterSubdirectory(const std::string& relativeDir, const std::string& name) override {
    archive_.AddFile(JoinPath(sourceRoot_, JoinPath(relativeDir, name)));
    return true;
  }

 private:
  ZipWriter& archive_;
  std::string sourceRoot_;
};

TEST(SourceTreeArchiveTest, AwkwardTreeIsStoredWithoutHangOrLoop) {
  TempDir dir;
  const std::string src = dir / "src";
  const std::map<std::string, std::string> files = {
      {"a\\b.txt", "backslash"},   {"with space.txt", "space"}, {"ärger.txt", "umlaut"},
      {"Case.txt", "upper case"},  {"case.txt", "lower case"},  {"sub/deep.txt", "deep"},
      {"sub/CASE", "dir variant"},
  };
  for (const auto& [name, content] : files) WriteFile(src + "/" + name, content);
  ASSERT_EQ(0, testing_support::RunCommand("mkfifo " + testing_support::ShellQuote(src + "/pipe")));
  std::filesystem::create_directory_symlink(".", src + "/loop");
  std::filesystem::create_directory_symlink("..", src + "/sub/up");
  std::filesystem::create_symlink("nowhere", src + "/dangling");
  std::filesystem::create_symlink("with space.txt", src + "/filelink");

  BackupJob job("tree");
  job.SourceRootPath = src;
  const std::string archivePath = dir / "tree.zip";
  ZipWriter archive;
  archive.OpenArchive(archivePath, ZipOpenMode::CreateNew);
  archive.SetRootDirectory(src);
  ArchiveActions actions(archive, src);
  SourceWalker walker(job, true, nullptr, actions);
  EXPECT_TRUE(walker.BackupDirectory(""));
  archive.CloseArchive();

  EXPECT_ZIP_VALID(archivePath);
  std::map<std::string, std::string> stored;
  for (const auto& [name, entry] : testing_support::ExternalEntries(archivePath)) {
    stored[name] = entry.content;
  }
  std::map<std::string, std::string> expected = files;
  expected["filelink"] = "space";  // a link to a file is stored as that file
  expected["sub/"] = "";
  EXPECT_EQ(expected, stored);
}

}  // namespace
