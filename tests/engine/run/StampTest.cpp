// What the archived stamp recognises: after a full run and incremental runs
// over one rolling archive, every file's current content is in the archive
// under its own name, whatever copied, restored, renamed, linked or edited it.
#include <chrono>
#include <filesystem>
#include <thread>

#include <wx/log.h>

#include "tests/engine/run/RunTestSupport.h"

using testing_support::ReadFile;
using testing_support::RunCommand;
using testing_support::ShellQuote;
using testing_support::WriteFile;

namespace {

struct StampCase {
  const char* label;
  const char* command;  // run in the source folder after the stamps were written
  const char* file;     // the file whose current content must be stored
};

// A file system that keeps whole seconds (ext4 with 128-byte inodes), from an
// image in `image`, mounted at `mount` for the guard's lifetime; not mounted
// where loop mounts are refused.
struct WholeSecondFileSystem {
  WholeSecondFileSystem(const std::string& image, const std::string& mount) : mount(mount) {
    mounted = RunCommand("truncate -s 8M " + ShellQuote(image) + " && mkfs.ext4 -q -I 128 " +
                         ShellQuote(image) + " && mkdir -p " + ShellQuote(mount) +
                         " && mount -o loop " + ShellQuote(image) + " " + ShellQuote(mount)) == 0;
  }
  ~WholeSecondFileSystem() {
    if (mounted) RunCommand("umount " + ShellQuote(mount));
  }
  std::string mount;
  bool mounted = false;
};

TEST(StampTest, IncrementalRunsTakeEveryFileWhoseContentIsNotStored) {
  run_test::Sandbox t;
  t.job.Archives = {};
  WriteFile(t.source + "/a.txt", "alpha");
  WriteFile(t.source + "/r.txt", "one");
  WriteFile(t.source + "/old/x.txt", "ex");
  WriteFile(t.source + "/e.txt", "aaaa");
  const WholeSecondFileSystem wholeSeconds(t.tmp / "ext4.img", t.source + "/ws");
  if (wholeSeconds.mounted) WriteFile(t.source + "/ws/in/s.txt", "1111");
  const std::vector<StampCase> cases = {
      {"cp -a", "cp -a a.txt copy.txt", "copy.txt"},
      {"bsdtar -xp restore", "bsdtar -xpf ../r.tar", "r.txt"},
      {"rename of a folder", "mv old renamed", "renamed/x.txt"},
      {"new hard link", "ln a.txt link.txt", "link.txt"},
      {"same-size edit, time reset",
       "touch -r e.txt ../e.ref && printf bbbb > e.txt && touch -r ../e.ref e.txt", "e.txt"},
  };
  wxLogNull quiet;
  const auto run = [&t](bool full) { ASSERT_TRUE(t.RunJob(full)); };
  const auto inSource = [&t](const std::string& command) {
    ASSERT_EQ(0, RunCommand("cd " + ShellQuote(t.source) + " && " + command)) << command;
  };
  run(true);
  inSource("bsdtar -cf ../r.tar r.txt && printf two-longer > r.txt");
  run(false);
  // The write of a stamp moves the file's change time; a change within the
  // stamp's allowance after it would pass unseen.
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  for (const StampCase& c : cases) inSource(c.command);
  if (wholeSeconds.mounted) {
    // Changed in the second of the previous run, keeping its size.
    inSource("printf 2222 > ws/in/s.txt");
    run(false);
    inSource("printf 3333 > ws/in/s.txt");
  }
  run(false);

  const std::map<std::string, std::string> entries = run_test::Entries(t.target + "/Docs.zip");
  std::vector<StampCase> checked = cases;
  if (wholeSeconds.mounted) checked.push_back({"whole seconds", "", "ws/in/s.txt"});
  for (const StampCase& c : checked) {
    SCOPED_TRACE(c.label);
    const auto entry = entries.find(c.file);
    ASSERT_NE(entries.end(), entry);
    EXPECT_EQ(ReadFile(t.source + "/" + c.file), entry->second);
  }
}

}  // namespace
