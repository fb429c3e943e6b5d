// A crash at every changing call of a create, an add, a last-entry
// replacement and a moving replacement, with half of the crashing write on
// disk: recovering the archive (as a reader does before it reads) gives it
// back as it was before, or as the operation left it, byte for byte; the next
// open and close keep it so. And one real kill -9 of a process
// adding to a large archive.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "tests/zip/ZipTestSupport.h"
#include "zip/ZipJournal.h"

using namespace testing_support;
using namespace zip_test;

namespace {

const Files kFiles = {{"a.txt", TextBytes(20000, "alpha ")},
                      {"b.bin", NoiseBytes(70000, 2)},
                      {"c.txt", TextBytes(30000, "gamma ")},
                      {"d.bin", NoiseBytes(3000, 4)}};

struct Scenario {
  const char* label;
  ZipOpenMode mode;
  const char* name;  // the file added
  int level;
  size_t size;
};

void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.label; }

class CrashTest : public testing::TestWithParam<Scenario> {
 protected:
  // Runs the scenario on `archive`; any exception ends it, as a crash would.
  void RunScenario(const std::string& archive) {
    const Scenario& s = GetParam();
    try {
      ZipWriter writer;
      Open(writer, archive, s.mode, dir_ / "src");
      writer.SetTemporaryDirectory(dir_ / "tmp");
      AddFileRequest request(dir_ / (std::string("src/") + s.name), false);
      request.level = s.level;
      request.replaceIndex = writer.FindDuplicate(request.sourcePath, false);
      writer.AddFile(request);
      writer.CloseArchive();
    } catch (const ZipException&) {
    }
  }

  TempDir dir_;
};

TEST_P(CrashTest, NextOpenGivesTheArchiveBeforeOrAfter) {
  const Scenario& s = GetParam();
  ASSERT_TRUE(CreateDirectoryPath(dir_ / "tmp"));
  MakeArchive(dir_ / "base.zip", dir_ / "src", kFiles);
  const std::string before = ReadFile(dir_ / "base.zip");
  WriteFile(dir_ / (std::string("src/") + s.name), NoiseBytes(s.size, 77));
  const std::string archive = dir_ / "a.zip";

  FaultEnv env;
  ScopedEnv installed(&env);
  WriteFile(archive, before);
  RunScenario(archive);
  const std::string after = ReadFile(archive);
  ASSERT_NE(before, after);
  EXPECT_ZIP_VALID(archive);
  const int calls = env.ChangingCalls();
  ASSERT_GT(calls, 3);

  for (int crashAt = 1; crashAt <= calls; ++crashAt) {
    SCOPED_TRACE("crash at call " + std::to_string(crashAt) + " of " + std::to_string(calls));
    env.Heal();
    for (const char* leftover : {"a.zip.journal", "a.zip.partial"}) {
      platform::Env::Default()->RemoveFile(dir_ / leftover);
    }
    WriteFile(archive, before);
    env.CrashAt(crashAt);
    RunScenario(archive);
    ASSERT_TRUE(env.Crashed());
    env.Heal();  // the next process, a reader: both states pass the outside readers
    RecoverPendingJournal(archive);
    const std::string recovered = ReadFile(archive);
    EXPECT_TRUE(recovered == before || recovered == after);
    EXPECT_FALSE(testing_support::PathExists(dir_ / "a.zip.journal"));
    ZipWriter next;
    next.OpenArchive(archive, ZipWriter::OpenExisting);
    next.CloseArchive();
    EXPECT_EQ(recovered, ReadFile(archive));
  }
  EXPECT_ZIP_VALID(dir_ / "base.zip");
}

INSTANTIATE_TEST_SUITE_P(
    Operations, CrashTest,
    testing::Values(Scenario{"create", ZipWriter::CreateNew, "a.txt", -1, 5000},
                    Scenario{"add", ZipWriter::OpenExisting, "new.bin", -1, 150000},
                    Scenario{"replace_last", ZipWriter::OpenExisting, "d.bin", -1, 9000},
                    Scenario{"replace_moving", ZipWriter::OpenExisting, "b.bin", -1, 90000}),
    [](const testing::TestParamInfo<Scenario>& info) { return std::string(info.param.label); });

TEST(KillTest, KilledWhileAddingToALargeArchiveLosesNothing) {
  TempDir dir;
  Files files;
  for (int i = 0; i < 40; ++i) {
    files.push_back({"old" + std::to_string(i), NoiseBytes(200000, static_cast<uint32_t>(i))});
  }
  MakeArchive(dir / "a.zip", dir / "src", files);
  const std::string before = ReadFile(dir / "a.zip");
  for (int i = 0; i < 400; ++i) {
    WriteFile(dir / ("new/n" + std::to_string(i)), NoiseBytes(200000, static_cast<uint32_t>(i + 99)));
  }
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ZipWriter writer;
    Open(writer, dir / "a.zip", ZipWriter::OpenExisting, dir / "new");
    for (int i = 0; i < 400; ++i) writer.AddFile(dir / ("new/n" + std::to_string(i)));
    writer.CloseArchive();
    ::_exit(0);
  }
  // Killed once it has begun to change the archive: from then on the archive
  // only grows until the run commits, long after.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  platform::FileInfo info;
  while (platform::Env::Default()->Stat(dir / "a.zip", &info) == 0 && info.size <= before.size()) {
    if (std::chrono::steady_clock::now() > deadline) ::kill(child, SIGKILL);
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the archive never grew";
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_EQ(0, ::kill(child, SIGKILL));
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_NE(before, ReadFile(dir / "a.zip"));

  ZipWriter next;
  next.OpenArchive(dir / "a.zip", ZipWriter::OpenExisting);
  EXPECT_EQ(40, next.EntryCount());
  next.CloseArchive();
  EXPECT_EQ(before, ReadFile(dir / "a.zip"));
  EXPECT_ARCHIVE_HOLDS(dir / "a.zip", files);
}

}  // namespace
