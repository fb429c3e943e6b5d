#include "engine/RunResult.h"

void NamedPaths::Add(const std::string& path, const std::string& reason) {
  ++count;
  if (paths.size() >= kNamed) return;
  paths.push_back("'" + path + "'" + (reason.empty() ? "" : " (" + reason + ")"));
}

void RunResult::Fail(const std::string& reason, const std::string& path) {
  succeeded = false;
  if (!failure.empty()) return;
  failure = reason;
  failurePath = path;
}

void RunResult::AddSkipped(const std::string& path) {
  ++skippedCount;
  if (skippedFiles.size() < kNamedSkipped) skippedFiles.push_back(path);
}

std::string RunResult::FailureText() const {
  if (failure.empty() || failurePath.empty()) return failure;
  return failure + ": '" + failurePath + "'";
}

bool RunResult::Incomplete() const {
  return skippedCount > 0 || unreadFolders.count > 0 || changedFiles.count > 0;
}
