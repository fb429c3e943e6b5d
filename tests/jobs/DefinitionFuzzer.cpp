// libFuzzer target: arbitrary bytes as a job definition file, read into a
// blank job. Reading may refuse the file, never crash or hang.
#include <wx/init.h>
#include <wx/log.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "jobs/BackupJob.h"
#include "jobs/JobDefinitionReader.h"
#include "tests/support/TempDir.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  wxInitialize();
  wxLog::EnableLogging(false);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static testing_support::TempDir dir;
  const std::string path = dir / "job.xml";
  testing_support::WriteFile(path, std::string(reinterpret_cast<const char*>(data), size));
  BackupJob job;
  JobDefinitionReader::Read(path, &job);
  return 0;
}
