// Stored names from source paths, look-up by name, and an archive of more
// than 65,535 entries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "tests/zip/ZipTestSupport.h"
#include "zip/ZipEntryList.h"
#include "zip/ZipMemFile.h"
#include "zip/ZipNameIndex.h"

using namespace testing_support;
using namespace zip_test;

TEST(NamesAndLookupTest, PredictedNamesFollowTheRootDirectory) {
  struct Case { const char *root, *path; bool fullPath; ZipWriter::NameKind kind; const char* name; };
  const Case cases[] = {
      {"/src", "/src/a/b.txt", false, ZipWriter::PredictAuto, "a/b.txt"},
      {"/src/", "/src/a/b.txt", false, ZipWriter::PredictAuto, "a/b.txt"},
      {"/src", "/other/c.txt", false, ZipWriter::PredictAuto, "c.txt"},
      {"/src", "/srcx/c.txt", false, ZipWriter::PredictAuto, "c.txt"},
      {"/src", "/src", false, ZipWriter::PredictAuto, ""},
      {"", "/src/a/b.txt", false, ZipWriter::PredictAuto, "b.txt"},
      {"/", "/etc/hosts", false, ZipWriter::PredictAuto, "etc/hosts"},
      {"/src", "/src/dir/", false, ZipWriter::PredictAuto, "dir/"},
      {"/src", "/src/dir", false, ZipWriter::PredictDirectory, "dir/"},
      {"/src", "/src/dir/", false, ZipWriter::PredictFile, "dir"},
      {"/src", "/home/u/f.txt", true, ZipWriter::PredictAuto, "home/u/f.txt"},
      {"/src", "/src/a\\b.txt", false, ZipWriter::PredictAuto, "a\\b.txt"},
      {"/Src", "/src/a.txt", false, ZipWriter::PredictAuto, "a.txt"},  // case counts
      {"/src", "/src/file.", false, ZipWriter::PredictAuto, "file."},
  };
  TempDir dir;
  ZipWriter writer;
  writer.OpenArchive(dir / "a.zip", ZipWriter::CreateNew);
  for (const Case& c : cases) {
    writer.SetRootDirectory(c.root);
    EXPECT_EQ(c.name, writer.PredictNameInArchive(c.path, c.fullPath, c.kind)) << c.root << c.path;
  }
  // A backslash is part of a name, not a separator.
  writer.SetRootDirectory(dir / "src");
  WriteFile(dir / "src/back\\slash.txt", "content");
  ASSERT_TRUE(writer.AddFile(dir / "src/back\\slash.txt"));
  writer.CloseArchive();
  // unzip takes the backslash for a separator and complains; Python reads
  // the name as stored.
  EXPECT_EQ("content", ExternalEntries(dir / "a.zip")["back\\slash.txt"].content);
}

TEST(NamesAndLookupTest, DirectoryPathsAndTemporaryFiles) {
  TempDir dir;
  EXPECT_TRUE(CreateDirectoryPath(dir / "a/b/c/"));
  EXPECT_EQ(-1, ::PathExists(dir / "a/b/c"));
  EXPECT_TRUE(CreateDirectoryPath(dir / "a/b"));  // exists already
  WriteFile(dir / "file", "x");
  EXPECT_FALSE(CreateDirectoryPath(dir / "file/below"));
  // No temporary archive is made where there is no room for it.
  EXPECT_TRUE(TemporaryFileName(dir.path(), UINT64_MAX).empty());
}

// A request that stores the one byte of `source`, under a name set later.
AddFileRequest OneByteRequest(ZipMemFile& source) {
  source.Write("x", 1);
  AddFileRequest request;
  request.sourceFile = &source;
  return request;
}

// Of entries with the same name, look-ups find the one stored (or replaced) first.
TEST(NamesAndLookupTest, SameNameTwiceFindsTheFirstStored) {
  TempDir dir;
  ZipMemFile source;
  AddFileRequest request = OneByteRequest(source);
  ZipWriter writer;
  writer.OpenArchive(dir / "twice.zip", ZipWriter::CreateNew);
  writer.SetRootDirectory("/root");
  for (const char* name : {"b/x", "a/x", "a/x"}) {
    request.nameInArchive = name;
    ASSERT_TRUE(writer.AddFile(request)) << name;
  }
  EXPECT_EQ(1, writer.FindDuplicate("/root/a/x", false));
  EXPECT_EQ(1, writer.FindDuplicate("/elsewhere/x", false, true));
  request.replaceIndex = 1;
  ASSERT_TRUE(writer.AddFile(request));
  EXPECT_EQ(2, writer.FindDuplicate("/root/a/x", false));
  EXPECT_EQ(2, writer.FindDuplicate("/elsewhere/x", false, true));
  writer.CloseArchive();
}

// Past 65,535 entries the counts go to the ZIP64 end record; the archive
// opens again for look-ups, adding and replacing.
TEST(NamesAndLookupTest, ArchiveOf70000EntriesFindsNamesAndGrows) {
  constexpr int kEntries = 70000;
  TempDir dir;
  ZipMemFile source;
  AddFileRequest request = OneByteRequest(source);
  {
    ZipWriter writer;
    writer.OpenArchive(dir / "many.zip", ZipWriter::CreateNew);
    for (int i = 0; i < kEntries; ++i) {
      request.nameInArchive = "d" + std::to_string(i % 100) + "/f" + std::to_string(i);
      ASSERT_TRUE(writer.AddFile(request)) << i;
    }
    writer.CloseArchive();
  }
  ZipWriter writer;
  writer.OpenArchive(dir / "many.zip", ZipWriter::OpenExisting);
  ASSERT_EQ(kEntries, writer.EntryCount());
  writer.SetRootDirectory("/root");
  for (int i = 0; i < kEntries; i += 7) {
    std::string name = "d" + std::to_string(i % 100) + "/f" + std::to_string(i);
    ASSERT_EQ(i, writer.FindDuplicate("/root/" + name, false)) << name;
  }
  EXPECT_EQ(-1, writer.FindDuplicate("/root/d1/f0", false));
  EXPECT_EQ(12345, writer.FindDuplicate("/elsewhere/f12345", false, true));
  request.nameInArchive = "d0/f100";
  request.replaceIndex = writer.FindDuplicate("/root/d0/f100", false);
  EXPECT_TRUE(writer.AddFile(request));
  request.nameInArchive = "one more";
  request.replaceIndex = -1;
  EXPECT_TRUE(writer.AddFile(request));
  EXPECT_EQ(kEntries + 1, writer.EntryCount());
  writer.CloseArchive();
  EXPECT_ZIP_VALID(dir / "many.zip");
  const std::string bytes = ReadFile(dir / "many.zip");
  EXPECT_EQ(0xFFFFu, Le16(bytes, bytes.size() - 22 + 10));
  EXPECT_EQ(0x07064b50u, Le32(bytes, bytes.size() - 22 - 20));
}

// The name index against a plain list, through adds and removals from the
// middle of its probe runs: each look-up finds the entry of that name added first.
TEST(NamesAndLookupTest, NameIndexAgreesWithAPlainList) {
  ZipNameIndex index;
  std::vector<std::pair<std::string, int>> entries;  // name, step it was added in
  std::mt19937 random(7);
  for (int step = 0; step < 4000; ++step) {
    const std::string name = "n" + std::to_string(random() % 500);
    if (entries.empty() || random() % 3 != 0) {
      index.Add(name, static_cast<int>(entries.size()));
      entries.push_back({name, step});
    } else {
      const int gone = static_cast<int>(random() % entries.size());
      index.Remove(entries[gone].first, gone);
      entries.erase(entries.begin() + gone);
      index.CloseGap(gone);
    }
    int first = -1;
    for (int i = 0; i < static_cast<int>(entries.size()); ++i) {
      if (entries[i].first == name && (first < 0 || entries[i].second < entries[first].second)) first = i;
    }
    ASSERT_EQ(first, index.Find(name, [&](int i) { return entries[i].first == name; })) << step;
  }
}

// Entries kept packed read back as they were put, through replacements that
// change a record's size, removals and the compactions they lead to; a
// directory as read is put in the order of its offsets, or refused when two
// entries share one.
TEST(NamesAndLookupTest, EntryListAgreesWithAPlainList) {
  std::mt19937 random(11);
  const auto randomHeader = [&](uint64_t offset) {
    ZipFileHeader header;
    header.SetFileName(std::string(random() % 1000, static_cast<char>('a' + random() % 26)));
    header.SetExtraField(random() % 4 == 0 ? std::string("\x01\x99\x02\x00xy", 6) : "");
    header.compressedSize = random() % 3 == 0 ? (uint64_t{5} << 32) + random() : random() % 1000;
    header.uncompressedSize = random() % 3 == 0 ? (uint64_t{7} << 32) : random() % 1000;
    header.localHeaderOffset = offset;
    header.crc32 = static_cast<uint32_t>(random());
    header.versionNeeded = 20;
    header.zip64Local = random() % 2 == 0;
    return header;
  };
  const auto same = [](const ZipFileHeader& a, const ZipFileHeader& b) {
    return a.Name() == b.Name() && a.ExtraField() == b.ExtraField() && a.crc32 == b.crc32 &&
           a.compressedSize == b.compressedSize && a.uncompressedSize == b.uncompressedSize &&
           a.localHeaderOffset == b.localHeaderOffset && a.versionNeeded == b.versionNeeded &&
           a.zip64Local == b.zip64Local;
  };
  ZipEntryList list;
  std::vector<ZipFileHeader> plain;
  for (int step = 0; step < 20000; ++step) {
    const size_t at = plain.empty() ? 0 : random() % plain.size();
    const int action = plain.empty() ? 0 : static_cast<int>(random() % 4);
    if (action <= 1) {
      plain.push_back(randomHeader(random() * uint64_t{64}));
      list.Append(plain.back());
    } else if (action == 2) {
      plain[at] = randomHeader(random() * uint64_t{64});
      list.Replace(at, plain[at]);
    } else {
      plain.erase(plain.begin() + static_cast<std::ptrdiff_t>(at));
      list.Erase(at);
    }
    ASSERT_EQ(plain.size(), list.Count());
    for (size_t i = step % 1000 == 0 ? 0 : plain.size(); i < plain.size(); ++i) {
      ASSERT_TRUE(same(plain[i], list.Get(i))) << step << " " << i;
    }
  }

  // Read as a directory, in blocks, and put in the order of the offsets.
  const auto readBack = [&] {
    std::string bytes;
    for (const ZipFileHeader& header : plain) bytes += header.CentralHeader(false);
    size_t at = 0;
    const auto read = [&](unsigned char* buffer, size_t size) {
      std::memcpy(buffer, bytes.data() + at, size);
      at += size;
    };
    return list.Read(bytes.size(), plain.size(), read, [](const ZipFileHeader&) {});
  };
  for (ZipFileHeader& header : plain) header.zip64Local = false;  // not in a central header
  ASSERT_TRUE(readBack());
  std::stable_sort(plain.begin(), plain.end(), [](const ZipFileHeader& a, const ZipFileHeader& b) {
    return a.localHeaderOffset < b.localHeaderOffset;
  });
  ASSERT_EQ(plain.size(), list.Count());
  for (size_t i = 0; i < plain.size(); ++i) ASSERT_TRUE(same(plain[i], list.Get(i))) << i;
  plain[2].localHeaderOffset = plain[0].localHeaderOffset;
  EXPECT_FALSE(readBack());
}
