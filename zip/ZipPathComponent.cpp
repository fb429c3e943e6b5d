#include "zip/ZipPathComponent.h"

namespace {

std::string Trimmed(const std::string& text) {
  std::string::size_type first = text.find_first_not_of('/');
  if (first == std::string::npos) return "";
  std::string::size_type last = text.find_last_not_of('/');
  return text.substr(first, last - first + 1);
}

std::string JoinedWithSlash(const std::string& left, const std::string& right) {
  if (left.empty() || right.empty()) return left + right;
  return left + "/" + right;
}

}  // namespace

ZipPathComponent::ZipPathComponent(const std::string& path) {
  absolute_ = !path.empty() && path[0] == '/';
  std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) {
    fileName_ = path;
  } else {
    directory_ = Trimmed(path.substr(0, slash));
    fileName_ = path.substr(slash + 1);
  }
  SplitFileName();
}

void ZipPathComponent::SplitFileName() {
  std::string::size_type dot = fileName_.rfind('.');
  if (dot == std::string::npos) {
    title_ = fileName_;
    extension_.clear();
    return;
  }
  title_ = fileName_.substr(0, dot);
  extension_ = fileName_.substr(dot + 1);
}

std::string ZipPathComponent::GetFilePath() const {
  return (absolute_ ? "/" : "") + directory_;
}

std::string ZipPathComponent::GetFullPath() const {
  std::string directory = GetFilePath();
  if (fileName_.empty()) return directory;
  if (directory.empty() || directory == "/") return directory + fileName_;
  return directory + "/" + fileName_;
}

std::string ZipPathComponent::GetPathWithoutDrive() const {
  return JoinedWithSlash(directory_, fileName_);
}

void ZipPathComponent::SetExtension(const std::string& extension) {
  std::string::size_type first = extension.find_first_not_of('.');
  extension_ = first == std::string::npos ? "" : extension.substr(first);
  fileName_ = extension_.empty() ? title_ : title_ + "." + extension_;
}
