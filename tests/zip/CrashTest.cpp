// A crash at every changing call of a create, an add, a last-entry
// replacement, a moving replacement and one in place, with half of the
// crashing write on disk: recovering the archive (as a reader does before it
// reads) gives it back as it was before, or as the operation left it, byte
// for byte; the next open and close keep it so. A disk that fills at any point
// of the same operations, the journal and the central directory included:
// once closed, and opened again once there is room, the archive is the one
// before or the one after. And one real kill -9 of a process adding to a
// large archive.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "tests/zip/ZipTestSupport.h"
#include "zip/ZipJournal.h"

using namespace testing_support;
using namespace zip_test;

namespace {

const Files kCrashFiles = {{"a.txt", TextBytes(20000, "alpha ")},
                      {"b.bin", NoiseBytes(70000, 2)},
                      {"c.txt", TextBytes(30000, "gamma ")},
                      {"d.bin", NoiseBytes(3000, 4)}};

// Adds the file `name` of `size` bytes at `level` to the archive opened in `mode`.
struct Scenario { const char* label; ZipOpenMode mode; const char* name; int level; size_t size; };

void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.label; }

class CrashTest : public testing::TestWithParam<Scenario> {
 protected:
  // Runs the scenario on `archive` and gives the first error's code. Nothing
  // more runs after a crash; after another error the archive is closed, as a
  // run closes it.
  int RunScenario(const std::string& archive, bool crash) {
    const Scenario& s = GetParam();
    ZipWriter writer;
    Thrown thrown = ThrownBy([&] {
      Open(writer, archive, s.mode, dir_ / "src", dir_ / "tmp");
      writer.AddFile(ReplacingRequest(writer, dir_ / (std::string("src/") + s.name), s.level));
      writer.CloseArchive();
    });
    if (!crash) ThrownBy([&] { writer.CloseArchive(); });
    return thrown.code;
  }

  TempDir dir_;
};

TEST_P(CrashTest, NextOpenGivesTheArchiveBeforeOrAfter) {
  const Scenario& s = GetParam();
  ASSERT_TRUE(CreateDirectoryPath(dir_ / "tmp"));
  MakeArchive(dir_ / "base.zip", dir_ / "src", kCrashFiles);
  const std::string before = ReadFile(dir_ / "base.zip");
  WriteFile(dir_ / (std::string("src/") + s.name), NoiseBytes(s.size, 77));
  const std::string archive = dir_ / "a.zip";

  FaultEnv env;
  ScopedEnv installed(&env);
  WriteFile(archive, before);
  ASSERT_EQ(0, RunScenario(archive, false));
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
    RunScenario(archive, true);
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
  for (uint64_t budget = 0; budget < after.size() + 70000; budget += 4099) {
    SCOPED_TRACE("disk full after " + std::to_string(budget) + " bytes");
    env.Heal();
    WriteFile(archive, before);
    env.FailWritesAfter("a.zip", budget);
    const int code = RunScenario(archive, false);
    EXPECT_TRUE(code == 0 || code == ENOSPC) << code;
    env.Heal();  // room again: the next run's open finishes what a full disk stopped
    ZipWriter next;
    next.OpenArchive(archive, ZipWriter::OpenExisting);
    next.CloseArchive();
    const std::string result = ReadFile(archive);
    EXPECT_TRUE(result == before || result == after);
  }
}

INSTANTIATE_TEST_SUITE_P(Operations, CrashTest,
    testing::Values(Scenario{"create", ZipWriter::CreateNew, "a.txt", -1, 5000},
                    Scenario{"add", ZipWriter::OpenExisting, "new.bin", -1, 150000},
                    Scenario{"replace_last", ZipWriter::OpenExisting, "d.bin", -1, 9000},
                    Scenario{"replace_moving", ZipWriter::OpenExisting, "b.bin", -1, 90000},
                    Scenario{"replace_in_place", ZipWriter::OpenExisting, "b.bin", 0, 90000}),
    [](const testing::TestParamInfo<Scenario>& info) { return std::string(info.param.label); });

// At its `count`-th progress report, tells `ready` and waits there for its kill.
struct StopAtProgress : ZipActionCallback {
  StopAtProgress(int count, int ready) : count(count), ready(ready) {}
  bool OnProgress(uint64_t) override {
    char byte = 1;
    if (--count == 0 && ::write(ready, &byte, 1) == 1) ::pause();
    return count != 0;
  }
  int count, ready;
};

TEST(KillTest, KilledWhileAddingToALargeArchiveLosesNothing) {
  TempDir dir;
  const Files files = NoiseFiles(dir / "src", "old", 40, 200000);
  MakeArchive(dir / "a.zip", dir / "src", files);
  const std::string before = ReadFile(dir / "a.zip");
  NoiseFiles(dir / "new", "n", 40, 200000, 99);
  int ready[2];
  ASSERT_EQ(0, ::pipe(ready));
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Killed at its 20th progress report, in the middle of the adding.
    ::close(ready[0]);
    ::alarm(60);
    StopAtProgress stop(20, ready[1]);
    ZipWriter writer;
    Open(writer, dir / "a.zip", ZipWriter::OpenExisting, dir / "new");
    writer.SetProgressCallback(&stop, ZipActionCallback::CallbackAdd);
    for (int i = 0; i < 40; ++i) writer.AddFile(dir / ("new/n" + std::to_string(i)));
    writer.CloseArchive();
    ::_exit(0);
  }
  ::close(ready[1]);
  struct pollfd stopped = {ready[0], POLLIN, 0};
  const bool reached = ::poll(&stopped, 1, 60000) == 1;
  ::close(ready[0]);
  ASSERT_EQ(0, ::kill(child, SIGKILL));
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(reached) << "the child did not reach its 20th progress report within a minute";
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
