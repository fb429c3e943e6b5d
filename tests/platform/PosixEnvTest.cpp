#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <set>

#include "platform/ArchiveStamp.h"
#include "platform/Env.h"
#include "tests/support/TempDir.h"

using platform::DirEntry;
using platform::Env;
using platform::FileInfo;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

std::map<std::string, DirEntry> List(const std::string& dir,
                                     unsigned kinds = platform::KindAny) {
  std::unique_ptr<platform::DirectoryReader> reader;
  EXPECT_EQ(0, Env::Default()->OpenDirectory(dir, &reader));
  std::map<std::string, DirEntry> entries;
  DirEntry entry;
  while (reader && reader->NextOfKinds(&entry, kinds)) entries[entry.name] = entry;
  return entries;
}

std::set<std::string> Names(const std::map<std::string, DirEntry>& entries) {
  std::set<std::string> names;
  for (const auto& entry : entries) names.insert(entry.first);
  return names;
}

}  // namespace

TEST(PosixEnvTest, ListingReturnsOnlyFilesAndDirectoriesWithSynthesisedAttributes) {
  TempDir dir;
  WriteFile(dir / "plain.txt", "abc");
  WriteFile(dir / ".hidden", "x");
  WriteFile(dir / "sub/inner", "y");
  WriteFile(dir / "readonly", "z");
  ::chmod((dir / "readonly").c_str(), 0444);
  ASSERT_EQ(0, ::mkfifo((dir / "fifo").c_str(), 0600));
  ASSERT_EQ(0, ::symlink("nowhere", (dir / "dangling").c_str()));
  ASSERT_EQ(0, ::symlink("plain.txt", (dir / "filelink").c_str()));
  ASSERT_EQ(0, ::symlink(".", (dir / "loop").c_str()));

  // Only these entries (no fifo, no dangling link), with their attributes and
  // whether they are links. AttrArchive is never set by a listing: that is
  // IsArchiveBitSet's job.
  using Seen = std::map<std::string, std::pair<uint32_t, bool>>;
  auto entries = List(dir.path());
  Seen seen;
  for (const auto& [name, entry] : entries) seen[name] = {entry.attributes, entry.info.isSymlink};
  EXPECT_EQ((Seen{{"plain.txt", {0, false}}, {".hidden", {platform::AttrHidden, false}},
                  {"sub", {platform::AttrDirectory, false}}, {"readonly", {platform::AttrReadOnly, false}},
                  {"filelink", {0, true}}, {"loop", {platform::AttrDirectory, true}}}),
            seen);
  EXPECT_EQ(3u, entries["filelink"].info.size);

  // Asked for one kind, a listing returns links by the kind of their target.
  EXPECT_EQ((std::set<std::string>{"plain.txt", ".hidden", "readonly", "filelink"}),
            Names(List(dir.path(), platform::KindFile)));
  EXPECT_EQ((std::set<std::string>{"sub", "loop"}),
            Names(List(dir.path(), platform::KindDirectory)));
  EXPECT_TRUE(List(dir.path(), 0).empty());
}

// The stamp's text is stored data: earlier runs wrote it, later runs compare
// it. The old form (the rows' stamps) and another path's stamp never match.
TEST(PosixEnvTest, ArchivedStampTextKeepsItsFormat) {
  TempDir dir;
  const std::string file = dir / "f";
  struct Case { int64_t seconds; long nanoseconds; const char* content; const char* stamp; };
  const Case cases[] = {
      {1765012345, 123456789, "1234", "v1 1765012345.123456789 4"},
      {1765012345, 5, "", "v1 1765012345.000000005 0"},
      {0, 0, "0123456789", "v1 0.000000000 10"},
      {1700000000, 100000000, "x", "v1 1700000000.100000000 1"},
  };
  for (const Case& c : cases) {
    WriteFile(file, c.content);
    struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(c.seconds), c.nanoseconds}};
    ASSERT_EQ(0, ::utimensat(AT_FDCWD, file.c_str(), times, 0));
    FileInfo seen;
    ASSERT_EQ(0, Env::Default()->Stat(file, &seen));
    const int marked = Env::Default()->MarkArchived(file, seen);
    if (marked == ENOTSUP) GTEST_SKIP() << "no user xattrs on " << dir.path();
    ASSERT_EQ(0, marked);
    char value[160];
    const ssize_t n = ::getxattr(file.c_str(), "user.arkivault.archived", value, sizeof value);
    ASSERT_GT(n, 0) << c.stamp;
    // Short enough for ext4 to keep it inside the inode, not in a block of its own.
    EXPECT_LE(n, 50) << c.stamp;
    EXPECT_EQ(0, std::string(value, static_cast<size_t>(n)).rfind("v3 ", 0)) << c.stamp;
    ASSERT_EQ(0, Env::Default()->Stat(file, &seen));
    EXPECT_FALSE(Env::Default()->IsArchiveBitSet(file, seen)) << c.stamp;
    EXPECT_TRUE(Env::Default()->IsArchiveBitSet(dir / "./f", seen)) << "another path";
    ASSERT_EQ(0, ::setxattr(file.c_str(), "user.arkivault.archived", c.stamp, std::strlen(c.stamp), 0));
    EXPECT_TRUE(Env::Default()->IsArchiveBitSet(file, seen)) << c.stamp;
  }
  // The hash binds path (runs of '/' as one), identity and state.
  FileInfo state;
  state.device = 65024, state.inode = 11525582, state.size = 4;
  state.mtimeSeconds = 1765012345, state.mtimeNanoseconds = 123456789;
  char text[platform::ArchiveStamp::kCapacity];
  for (const char* path : {"/src//a.txt", "/src/a.txt"}) {
    EXPECT_EQ("v3 8a135485c4170d42 1765012400.000000005",
              std::string(text, platform::ArchiveStamp::Format(path, state, 1765012400000000005, text)));
  }
}

// Definitions are replaced whole or not at all; created files are private,
// their length follows what is written, cut, and once read what others did;
// a file on disk is read to its end, no further; temporary files are unique.
TEST(PosixEnvTest, AtomicWritesPrivateFilesAndUniqueTempFiles) {
  TempDir dir;
  const std::string file = dir / "job.xml";
  Env* env = Env::Default();
  ASSERT_EQ(0, env->WriteFileAtomically(file, "one"));
  EXPECT_EQ("one", testing_support::ReadFile(file));
  ASSERT_EQ(0, env->WriteFileAtomically(file, "two"));
  EXPECT_EQ("two", testing_support::ReadFile(file));
  EXPECT_EQ(ENOENT, env->WriteFileAtomically(dir / "missing/job.xml", "x"));
  EXPECT_EQ(1u, List(dir.path()).size()) << "no temporary file left behind";

  std::unique_ptr<platform::File> created;
  uint64_t length = 0;
  ASSERT_EQ(0, env->OpenFile(dir / "a.zip", platform::OpenMode::CreateReadWrite, &created));
  ASSERT_EQ(0, created->Write("hello", 5));
  ASSERT_EQ(0, created->Length(&length));
  EXPECT_EQ(5u, length);
  ASSERT_EQ(0, created->Truncate(2));
  ASSERT_EQ(0, created->Length(&length));
  EXPECT_EQ(2u, length);
  ASSERT_EQ(0, created->Close());
  struct stat st;
  ASSERT_EQ(0, ::stat((dir / "a.zip").c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);
  ASSERT_EQ(0, env->OpenFile(dir / "a.zip", platform::OpenMode::ReadOnly, &created));
  testing_support::WriteFile(dir / "a.zip", "grown");
  char buffer[16];
  size_t got = 0;
  ASSERT_EQ(0, created->Read(buffer, sizeof buffer, &got));
  EXPECT_EQ("grown", std::string(buffer, got));
  ASSERT_EQ(0, created->Length(&length));
  EXPECT_EQ(5u, length);
  ASSERT_EQ(0, created->Read(buffer, sizeof buffer, &got));
  EXPECT_EQ(0u, got);
  std::string first, second;
  ASSERT_EQ(0, env->CreateTempFile(dir.path(), "AKZ", &first));
  ASSERT_EQ(0, env->CreateTempFile(dir.path(), "AKZ", &second));
  EXPECT_NE(first, second);
  EXPECT_EQ(0u, first.rfind(dir.path() + "/AKZ", 0));
  EXPECT_EQ(ENOENT, env->OpenFile(dir / "none", platform::OpenMode::ReadOnly, &created));
  EXPECT_EQ(EEXIST, env->CreateExclusive(first));
}
