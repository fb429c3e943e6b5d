// Splits a Linux path once into its directory, file title and extension.
// '/' is the only separator; there are no drives or long-path prefixes, and a
// '\' is an ordinary character.
#pragma once

#include <string>

class ZipPathComponent {
 public:
  explicit ZipPathComponent(const std::string& path);

  // Title and extension: the last component, exactly as given.
  const std::string& GetFileName() const { return fileName_; }
  // "/" for an absolute path, then the directory: the parent of the file.
  std::string GetFilePath() const;
  // GetFilePath() + "/" + GetFileName().
  std::string GetFullPath() const;
  // The directory without its leading '/', then the file name: a relative path.
  std::string GetPathWithoutDrive() const;
  const std::string& GetFileTitle() const { return title_; }
  const std::string& GetExtension() const { return extension_; }
  // Replaces the extension (leading dots are dropped).
  void SetExtension(const std::string& extension);

 private:
  void SplitFileName();

  bool absolute_ = false;
  std::string directory_;  // without leading and trailing '/'
  std::string fileName_;
  std::string title_;
  std::string extension_;
};
