// Progress reports of the ZIP writer. The writer hands a callback out for one
// action at a time (adding a file, copying an entry, saving the central
// directory, moving data); the callback can cancel by returning false.
#pragma once

#include <cstdint>
#include <string>

// Anything that is told about progress and may stop it.
class ZipCallback {
 public:
  virtual ~ZipCallback() = default;

  // `progress` more units were done; return false to cancel the operation.
  virtual bool OnProgress(uint64_t progress) = 0;
};

class ZipActionCallback : public ZipCallback {
 public:
  // The kinds of actions a callback can be registered for (single bits, so
  // several can be given at once to ZipWriter::SetProgressCallback).
  enum Kind {
    CallbackAdd = 0x0001,        // adding a file: total = file size, progress = bytes read
    CallbackAddCopy = 0x0002,    // copying a compressed entry from a temporary archive
    CallbackAddStored = 0x0004,  // re-adding a file stored after a failed compression-gain check
    CallbackSave = 0x0080,       // writing the central directory: total = entry count
    CallbackMoveData = 0x0400,   // moving data to make room for a replacement, in bytes
  };

  // Starts an action: remembers both names and clears the counters.
  virtual void BeginAction(const std::string& nameInArchive, const std::string& externalPath);
  virtual void SetActionTotal(uint64_t total);
  virtual void EndAction();
  // Counts `progress` as done and asks OnProgress whether to go on.
  virtual bool Advance(uint64_t progress);

  const std::string& ExternalPath() const { return externalPath_; }
  const std::string& NameInArchive() const { return nameInArchive_; }
  int ActionKind() const { return kind_; }
  uint64_t ActionTotal() const { return actionTotal_; }
  uint64_t ActionDone() const { return actionDone_; }

  // Set by the writer each time it hands the callback out.
  void SetActionKind(int kind) { kind_ = kind; }

 private:
  std::string externalPath_;
  int kind_ = 0;
  uint64_t actionTotal_ = 0;
  uint64_t actionDone_ = 0;
  std::string nameInArchive_;
};
