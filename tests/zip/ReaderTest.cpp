// The reader on archives other programs wrote, and on hostile ones.
#include <sys/stat.h>

#include <set>

#include "tests/zip/ZipTestSupport.h"
#include "zip/ZipException.h"
#include "zip/ZipReader.h"

namespace {

using namespace testing_support;
using namespace zip_test;

std::string ReadEntry(ZipReader& reader, int index, ZipReadResult* result) {
  std::string content;
  *result = reader.Extract(index, [&content](const char* data, size_t size) {
    content.append(data, size);
    return true;
  });
  return content;
}

// Archives of a tree made by outside archivers (with ZIP64 fields forced, and
// read from or written to a pipe: descriptors with ZIP64 sizes): the reader lists
// the names unzip lists and extracts the bytes unzip extracts; the writer
// replaces their last and first files and adds one.
TEST(ReaderTest, ReadsWhatOtherArchiversWriteAsUnzipDoes) {
  TempDir dir;
  const std::string tree = dir / "tree";
  WriteFile(tree + "/plain.txt", "plain text\n");
  WriteFile(tree + "/empty", "");
  WriteFile(tree + "/sub/große Datei.txt", TextBytes(300000));
  WriteFile(tree + "/sub/noise.bin", NoiseBytes(70000, 3));
  ::chmod((tree + "/plain.txt").c_str(), 0750);
  const struct {
    const char* archive;
    const char* command;
  } rows[] = {
      {"r.zip", "zip -qr r.zip tree"},
      {"fz.zip", "zip -qr -fz r64.zip tree && mv r64.zip fz.zip"},
      {"stream.zip", "cat 'tree/sub/große Datei.txt' | zip -q - - > stream.zip"},
      {"piped.zip", "zip -qr - tree | cat > piped.zip"},
      {"7z.zip", "7zz a -tzip -bd -bso0 7z.zip tree"},
      {"py.zip", "python3 -m zipfile -c py.zip tree"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.archive);
    ASSERT_EQ(0, RunCommand("cd " + ShellQuote(dir.path()) + " && " + row.command));
    const std::string archive = dir / row.archive;
    // What unzip lists, and what it extracts (Python's zipfile would read
    // Info-ZIP's names without the UTF-8 flag as code page 437).
    const auto unzipNames = [&] {
      std::string listing;
      EXPECT_EQ(0, RunCommand("unzip -Z1 " + ShellQuote(archive), &listing));
      return listing;
    };
    const auto unzipped = [&](const std::string& name) {
      std::string content;
      RunCommand("unzip -p " + ShellQuote(archive) + " " + ShellQuote(name), &content);
      return content;
    };

    Files held;  // as unzip extracts them
    std::vector<size_t> files;
    ZipReader reader;
    reader.Open(archive);
    std::string names;  // in directory order, as unzip lists them
    for (int i = 0; i < reader.Count(); ++i) {
      names += reader.Name(i) + "\n";
      held.push_back({reader.Name(i), ""});
      if (reader.IsDirectory(i)) continue;
      files.push_back(i);
      ZipReadResult result;
      const std::string content = ReadEntry(reader, i, &result);
      EXPECT_TRUE(result.ok()) << reader.Name(i) << ": " << ZipReadStatusText(result.status, reader.Entry(i));
      held.back().second = unzipped(reader.Name(i));
      EXPECT_EQ(content, held.back().second) << reader.Name(i);
      if (reader.Name(i) == "tree/plain.txt" && reader.Entry(i).System() == 3) {
        EXPECT_EQ(reader.UnixMode(i), 0750u);
      }
    }
    EXPECT_EQ(names, unzipNames());
    {  // A reader sharing this one's entry list reads the same bytes, last entry first.
      ZipReader sharing;
      sharing.OpenSharing(archive, reader);
      for (auto i = files.rbegin(); i != files.rend(); ++i) {
        ZipReadResult result;
        EXPECT_EQ(ReadEntry(sharing, static_cast<int>(*i), &result), held[*i].second) << held[*i].first;
      }
    }
    reader.Close();

    ZipWriter writer;
    Open(writer, archive, ZipWriter::OpenExisting, dir / "new", dir.path());
    held.push_back({"added.txt", ""});
    for (size_t i : {files.back(), files.front(), held.size() - 1}) {
      held[i].second = "replaced " + held[i].first;
      WriteFile(dir / ("new/" + held[i].first), held[i].second);
      ASSERT_TRUE(writer.AddFile(ReplacingRequest(writer, dir / ("new/" + held[i].first)))) << held[i].first;
    }
    writer.CloseArchive();
    EXPECT_ZIP_VALID(archive);
    names += "added.txt\n";
    EXPECT_EQ(names, unzipNames());
    for (const auto& [name, content] : held) EXPECT_TRUE(content == unzipped(name)) << name;
  }
}

// Damage and hostility in one entry is reported for that entry; the other
// entry still reads. Damage to the directory refuses the archive.
TEST(ReaderTest, ReportsHostileEntriesOneByOne) {
  TempDir dir;
  const std::string archive = dir / "a.zip";
  MakeArchive(archive, dir / "src", {{"a.txt", TextBytes(4 << 20)}, {"b.txt", "second entry"}});
  const std::string original = ReadFile(archive);
  const std::vector<size_t> central = CentralHeaders(original);
  const size_t localA = Le32(original, central[0] + 42);
  const size_t dataA = localA + 30 + Le16(original, localA + 26) + Le16(original, localA + 28);
  const uint32_t compressedA = Le32(original, central[0] + 20);
  const struct {
    const char* what;
    std::function<void(std::string&)> damage;
    std::set<ZipReadStatus> expected;  // empty: the archive is refused
  } rows[] = {
      {"method 14", [&](std::string& b) { b = Patched(Patched(b, central[0] + 10, 2, 14), localA + 8, 2, 14); },
       {ZipReadStatus::UnsupportedMethod}},
      {"encrypted", [&](std::string& b) { b[central[0] + 8] |= 1; b[localA + 6] |= 1; },
       {ZipReadStatus::Encrypted}},
      {"declared 1 KiB, inflates to 4 MiB",
       [&](std::string& b) { b = Patched(Patched(b, central[0] + 24, 4, 1024), localA + 22, 4, 1024); },
       {ZipReadStatus::SizeMismatch}},
      {"overlapping the next entry",
       [&](std::string& b) { b = Patched(Patched(b, central[0] + 20, 4, compressedA + 40), localA + 18, 4, compressedA + 40); },
       {ZipReadStatus::Overlapping}},
      {"flipped data byte", [&](std::string& b) { b[dataA + compressedA / 2] ^= 0x10; },
       {ZipReadStatus::CrcMismatch, ZipReadStatus::BadData}},
      {"damaged local header", [&](std::string& b) { b[localA] = 'X'; }, {ZipReadStatus::BadLocalHeader}},
      {"same local header twice", [&](std::string& b) { b = Patched(b, central[1] + 42, 4, localA); }, {}},
      {"truncated", [&](std::string& b) { b.resize(b.size() / 2); }, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    std::string bytes = original;
    row.damage(bytes);
    WriteFile(archive, bytes);
    ZipReader reader;
    try {
      reader.Open(archive);
    } catch (const ZipException& error) {
      EXPECT_TRUE(row.expected.empty()) << "refused with " << error.code;
      continue;
    }
    ASSERT_FALSE(row.expected.empty()) << "opened";
    ASSERT_EQ(reader.Count(), 2);
    ZipReadResult result;
    const std::string content = ReadEntry(reader, 0, &result);
    EXPECT_EQ(row.expected.count(result.status), 1u) << ZipReadStatusText(result.status, reader.Entry(0));
    EXPECT_LE(content.size(), reader.Entry(0).uncompressedSize);
    EXPECT_EQ(ReadEntry(reader, 1, &result), "second entry");
    EXPECT_TRUE(result.ok());
  }
  ZipFileHeader header;
  header.method = 14;
  EXPECT_EQ(ZipReadStatusText(ZipReadStatus::UnsupportedMethod, header), "unsupported compression method 14");
}

// A central directory of a few megabytes is read a piece at a time: the
// headers that straddle two pieces come out whole.
TEST(ReaderTest, ReadsACentralDirectoryOfManyPieces) {
  TempDir dir;
  const auto name = [](int i) { return std::to_string(100000 + i) + std::string(i % 97, 'n'); };
  WriteFile(dir / "make.py", "import sys, zipfile\nwith zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                             "    for i in range(30000): z.writestr(str(100000 + i) + 'n' * (i % 97), str(i))\n");
  ASSERT_EQ(0, RunCommand(Python() + " " + ShellQuote(dir / "make.py") + " " + ShellQuote(dir / "big.zip")));
  ZipReader reader;
  reader.Open(dir / "big.zip");
  ASSERT_EQ(30000, reader.Count());
  for (int i = 0; i < reader.Count(); ++i) ASSERT_EQ(name(i), reader.Name(i));
  ZipReadResult result;
  EXPECT_EQ("29999", ReadEntry(reader, 29999, &result));
}

}  // namespace
