#include "engine/RunHistory.h"

#include <cerrno>
#include <memory>

#include "platform/Env.h"

RunHistory::RunHistory(std::string directory)
    : directory_(std::move(directory)),
      file_(directory_ + "/runs.log"),
      lock_(directory_ + "/runs.lock") {}

std::string RunHistory::DefaultDirectory() {
  const std::string state = platform::Env::Current()->StateDirectory();
  return state.empty() ? std::string() : state + "/arkivault";
}

int RunHistory::MakeDirectory() const {
  platform::Env* env = platform::Env::Current();
  for (size_t slash = directory_.find('/', 1);; slash = directory_.find('/', slash + 1)) {
    const std::string prefix = directory_.substr(0, slash);
    const int error = env->CreateDirectory(prefix);
    if (error != 0 && error != EEXIST) return error;
    if (slash == std::string::npos) return 0;
  }
}

int RunHistory::Append(const RunRecord& record) {
  if (directory_.empty()) return ENOENT;
  platform::Env* env = platform::Env::Current();
  if (const int error = MakeDirectory()) return error;
  bool full = false;
  {
    std::unique_ptr<platform::File> lock;
    if (const int error = env->WaitForLock(lock_, platform::LockKind::Shared, &lock)) return error;
    if (const int error = env->AppendLine(file_, record.ToLine())) return error;
    platform::FileInfo info;
    full = env->Stat(file_, &info) == 0 && info.size > kMaxBytes;
  }
  if (full) DropOldest();
  return 0;
}

void RunHistory::DropOldest() const {
  platform::Env* env = platform::Env::Current();
  std::unique_ptr<platform::File> lock;
  if (env->WaitForLock(lock_, platform::LockKind::Exclusive, &lock) != 0) return;
  const std::string text = ReadAll();
  // Another process may have dropped them meanwhile.
  if (text.size() <= kMaxBytes) return;
  size_t keepFrom = text.find('\n', text.size() - kMaxBytes / 2);
  if (keepFrom == std::string::npos) return;
  env->WriteFileAtomically(file_, text.substr(keepFrom + 1));
}

std::string RunHistory::ReadAll() const {
  std::unique_ptr<platform::File> file;
  if (platform::Env::Current()->OpenFile(file_, platform::OpenMode::ReadOnly, &file) != 0) {
    return "";
  }
  std::string text;
  char buffer[65536];
  size_t read = 0;
  while (file->Read(buffer, sizeof buffer, &read) == 0 && read > 0) text.append(buffer, read);
  return text;
}

std::vector<RunRecord> RunHistory::Load() const {
  const std::string text = ReadAll();
  std::vector<RunRecord> records;
  // Only whole lines count: a last line without its newline was cut short.
  for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
       start = end + 1) {
    RunRecord record;
    if (RunRecord::FromLine(text.substr(start, end - start), &record)) records.push_back(record);
  }
  return records;
}

int64_t RunHistory::LastSuccess(const std::string& definition, bool full) const {
  int64_t last = 0;
  for (const RunRecord& record : Load()) {
    if (record.definition == definition && record.full == full &&
        record.outcome == RunRecord::Outcome::Succeeded && record.start > last) {
      last = record.start;
    }
  }
  return last;
}
