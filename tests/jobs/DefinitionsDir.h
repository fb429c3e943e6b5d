// A temporary directory made the current directory, with "BackupDef" in it,
// for the tests of the job record and the job store.
#pragma once

#include <filesystem>
#include <set>
#include <string>

#include "tests/support/TempDir.h"

namespace job_test {

// Each test runs as its own process, so changing directory is safe.
class DefinitionsDir {
 public:
  DefinitionsDir() : previous_(std::filesystem::current_path()) {
    std::filesystem::create_directory(temp_ / "BackupDef");
    std::filesystem::current_path(temp_.path());
  }
  ~DefinitionsDir() { std::filesystem::current_path(previous_); }
  // Names of the files directly inside `relative`, sorted and joined by "|".
  std::string List(const std::string& relative = "BackupDef") const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(temp_ / relative)) {
      names.insert(entry.path().filename());
    }
    std::string list;
    for (const std::string& name : names) list += (list.empty() ? "" : "|") + name;
    return list;
  }

 private:
  testing_support::TempDir temp_;
  std::filesystem::path previous_;
};

}  // namespace job_test
