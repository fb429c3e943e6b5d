#include "zip/ZipActionCallback.h"

void ZipActionCallback::BeginAction(const std::string& nameInArchive,
                                    const std::string& externalPath) {
  nameInArchive_ = nameInArchive;
  externalPath_ = externalPath;
  actionTotal_ = 0;
  actionDone_ = 0;
}

void ZipActionCallback::SetActionTotal(uint64_t total) { actionTotal_ = total; }

void ZipActionCallback::EndAction() {}

bool ZipActionCallback::Advance(uint64_t progress) {
  actionDone_ += progress;
  return OnProgress(progress);
}
