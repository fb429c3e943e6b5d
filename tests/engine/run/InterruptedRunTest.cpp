// Batch runs that are interrupted lose no file. Killed (kill -9) at a random
// point: whatever no readable archive holds in its current state is still
// unstamped, so the next incremental run stores it. Terminated (SIGTERM): the
// archive being written is closed and committed, and the run fails. Archives
// are read by Python's zipfile.
#include <csignal>
#include <chrono>
#include <random>

#include <wx/log.h>

#include "engine/BatchRun.h"
#include "jobs/JobDefinitionWriter.h"
#include "platform/TerminationSignals.h"
#include "tests/engine/run/GateEnv.h"
#include "tests/engine/run/RunTestSupport.h"

using testing_support::RunCommand;
using testing_support::ShellQuote;
using testing_support::WriteFile;

namespace {

const char* const kArchiveDirectories[] = {"A", "B", "C", "D"};
constexpr int kDirectoriesPerArchive = 10;
constexpr int kFilesPerDirectory = 50;

// Prints every source file that no readable archive below the target holds
// with its current content. An archive "X.zip" or "X (old n).zip" holds the
// files of the archive directory X.
const char kUnheldFiles[] = R"(
import os, re, sys, zipfile
source, target = sys.argv[1], sys.argv[2]
held = set()
for directory, _, names in os.walk(target):
    for name in names:
        match = re.fullmatch(r'(.*?)( \(old \d+\))?\.zip', name)
        if not match: continue
        try:
            with zipfile.ZipFile(os.path.join(directory, name)) as archive:
                for entry in archive.infolist():
                    path = os.path.join(source, match.group(1), entry.filename)
                    if os.path.isfile(path) and open(path, 'rb').read() == archive.read(entry):
                        held.add(path)
        except Exception: pass
for directory, _, names in os.walk(source):
    for name in names:
        path = os.path.join(directory, name)
        if path not in held: print(os.path.relpath(path, source))

)";

class KilledRunTest : public run_test::RunSandbox {
 protected:
  void SetUp() override {
    if (*run_test::kProgram == '\0') GTEST_SKIP() << "this build has no program to run";
    job.Archives = {std::begin(kArchiveDirectories), std::end(kArchiveDirectories)};
    for (const std::string& file : SourceFiles()) WriteFile(file, "first version of " + file);
    WriteFile(tmp / "job.xml", JobDefinitionWriter::ToXml(job));
    WriteFile(tmp / "unheld.py", kUnheldFiles);
  }

  std::vector<std::string> SourceFiles() const {
    std::vector<std::string> files;
    for (const char* archive : kArchiveDirectories) {
      for (int d = 0; d < kDirectoriesPerArchive; ++d) {
        for (int f = 0; f < kFilesPerDirectory; ++f) {
          files.push_back(source + "/" + archive + "/d" + std::to_string(d) + "/f" + std::to_string(f) + ".txt");
        }
      }
    }
    return files;
  }

  // Runs the job as a batch; with `killAfter` set, kills it with SIGKILL after
  // that many microseconds (or lets it end, if it ends first).
  void RunBatch(bool incremental, long killAfter = -1) {
    std::string command =
        run_test::BatchCommand(tmp.path(), "job.xml", incremental ? " -s -i" : " -s");
    if (killAfter >= 0) {
      command = "(" + command + ") & pid=$!; sleep " + std::to_string(killAfter / 1e6) +
                "; kill -9 $pid 2>/dev/null; wait $pid";
    }
    std::string output;
    const int status = RunCommand(command, &output);
    if (killAfter < 0) { EXPECT_EQ(0, status) << output; }
  }

  std::string UnheldFiles() {
    std::string output;
    RunCommand(testing_support::Python() + " " + ShellQuote(tmp / "unheld.py") + " " + ShellQuote(source) + " " +
               ShellQuote(target), &output);
    return output;
  }
};

TEST_F(KilledRunTest, KilledIncrementalRunsLoseNoFile) {
  const auto start = std::chrono::steady_clock::now();
  RunBatch(false);
  const auto fullRun = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - start).count();
  std::mt19937 random(std::random_device{}());
  for (int round = 1; round <= 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    // A third of the files change; the run is killed somewhere in its length.
    for (const std::string& file : SourceFiles()) {
      if (random() % 3 == 0) WriteFile(file, "version of round " + std::to_string(round));
    }

    const long killAfter = static_cast<long>(random() % static_cast<unsigned long>(fullRun));
    SCOPED_TRACE("killed after " + std::to_string(killAfter) + " us");
    RunBatch(true, killAfter);
    RunBatch(true);
    EXPECT_EQ("", UnheldFiles());
  }
  for (const char* archive : kArchiveDirectories) EXPECT_ZIP_VALID(target + "/Docs/" + archive + ".zip");
}

// The batch run as the program runs it, in this process, ended by SIGTERM
// when the walk lists the second archive's directory (after the source check
// and the space estimate have listed it and its subdirectories), or while it
// waits in a read for data that never comes, long before that read would be
// given up for waiting too long: the archive being written is closed and
// committed, no later one is begun or replaced, and the run fails.
TEST_F(KilledRunTest, TerminatedRunClosesItsArchiveAndFails) {
  using Point = run_test::GateEnv::Point;
  const struct {  // blocked: the file's reads wait for ever
    const char* label; Point point; const char* path; int arrival; bool blocked;
  } cases[] = {

      {"between entries", Point::ListDirectory, "/src/B", kDirectoriesPerArchive + 3, false},
      {"blocked in a read", Point::FirstRead, "/src/B/d0/f0.txt", 1, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    run_test::GateEnv gate;
    if (c.blocked) {
      gate.BlockReads(c.path);
      gate.LimitReadWait(60000);
    }
    gate.SetGate(c.point, c.path, false, [] { ::kill(::getpid(), SIGTERM); }, c.arrival);
    const std::string laterArchives[] = {target + "/Docs/B.zip", target + "/Docs/C.zip"};
    std::map<std::string, std::string> before;
    for (const std::string& archive : laterArchives) before[archive] = testing_support::ReadFile(archive);
    run_test::LogText log;
    const auto start = std::chrono::steady_clock::now();
    {
      run_test::ScopedEnv installed(&gate);
      const platform::TerminationSignals signals;
      EXPECT_EQ(BatchStatus::Failed, RunDefinitionFile(runner, tmp / "job.xml", true, false,
                                                       run_test::kProgram, &signals));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_NE(std::string::npos, log.text.find("Backup failed.\nCancelled by signal: Terminated.\n"))
        << log.text;
    EXPECT_ZIP_VALID(target + "/Docs/A.zip");
    // B, stopped before its first file was stored, and C are as they were
    // (missing, the first time).
    for (const std::string& archive : laterArchives)
      EXPECT_EQ(before[archive], testing_support::ReadFile(archive)) << archive;
    EXPECT_FALSE(testing_support::PathExists(target + "/Docs/B.zip.partial"));
    RunBatch(true);
    EXPECT_EQ("", UnheldFiles());
  }
}

}  // namespace
