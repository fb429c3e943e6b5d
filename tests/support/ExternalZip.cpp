#include "tests/support/ExternalZip.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>

#include "tests/support/TempDir.h"

namespace testing_support {
namespace {

// Looked up once per tool and test program.
bool HaveTool(const std::string& name) {
  static std::map<std::string, bool> known;
  if (known.count(name) == 0) known[name] = RunCommand("command -v " + name + " >/dev/null") == 0;
  return known[name];
}

// Python script printing one line per entry: name, attributes, content as
// hex. Names are hex too, so any byte survives.
const char kListScript[] = R"PY(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    bad = z.testzip()
    if bad is not None:
        print("BAD", bad.encode().hex()); sys.exit(1)
    for i in z.infolist():
        print(i.filename.encode().hex(), i.external_attr, z.read(i).hex() or "-")
)PY";

}  // namespace

std::string Python() {
  return ::access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
}

std::string ExternalCheck(const std::string& archivePath) {
  std::string complaints, output;
  const std::string quoted = ShellQuote(archivePath);
  struct Checker { const char* tool; std::string command; };
  const Checker checkers[] = {
      {"unzip", "unzip -tqq " + quoted},
      {"7zz", "7zz t -bd -bso0 -bsp0 " + quoted},
      {"bsdtar", "bsdtar -tf " + quoted + " >/dev/null"},
      {"python3", Python() + " -c 'import sys,zipfile; z=zipfile.ZipFile(sys.argv[1]); "
                  "sys.exit(0 if z.testzip() is None else 1)' " + quoted},
  };
  for (const Checker& checker : checkers) {
    if (!HaveTool(checker.tool)) continue;
    if (RunCommand(checker.command, &output) != 0) {
      complaints += std::string(checker.tool) + ": " + output + "\n";
    }
  }
  return complaints;
}

std::map<std::string, ExternalEntry> ExternalEntries(const std::string& archivePath) {
  std::map<std::string, ExternalEntry> entries;
  std::string output;
  int status = RunCommand(Python() + " -c " + ShellQuote(kListScript) + " " + ShellQuote(archivePath),
                          &output);
  EXPECT_EQ(0, status) << "python zipfile refused " << archivePath << ": " << output;
  if (status != 0) return entries;
  auto fromHex = [](const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
      bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return bytes;
  };
  std::istringstream lines(output);
  std::string nameHex, contentHex;
  ExternalEntry entry;
  while (lines >> nameHex >> entry.externalAttr >> contentHex) {
    entry.content = fromHex(contentHex);
    entries[fromHex(nameHex)] = entry;
  }
  return entries;
}

}  // namespace testing_support
