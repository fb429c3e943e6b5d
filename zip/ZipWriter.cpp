#include "zip/ZipWriter.h"

#include <algorithm>
#include <cerrno>

#include "platform/Clock.h"
#include "zip/Zip64ExtraField.h"
#include "zip/ZipArchiveFile.h"
#include "zip/ZipAttributes.h"
#include "zip/ZipCentralDir.h"
#include "zip/ZipCompressor.h"
#include "zip/ZipDeflateLane.h"
#include "zip/ZipFile.h"
#include "zip/ZipFileHeader.h"
#include "zip/ZipJournal.h"
#include "zip/ZipMemFile.h"
#include "zip/ZipParallelDeflater.h"
#include "zip/ZipPathComponent.h"
#include "zip/ZipStorage.h"

namespace {

// An entry expected to stay below this size gets a classic local header and
// is read up to this size at most (a file that grows while it is read is cut
// there); a larger one gets a ZIP64 field in its local header. The margin
// leaves room for deflate output larger than its input.
constexpr uint64_t kClassicEntryLimit = 0xFFFFFFFFu - (64u << 20);
constexpr size_t kMoveChunkSize = 65536;
constexpr int kCallbackKindCount = 11;
// A file shorter than this is stored when OptStoreTinyFiles is given.
constexpr uint64_t kTinyFileSize = 5;

// Calls BeginAction on construction and EndAction when the scope ends, also
// when it ends by an exception: every add that began is ended exactly once.
class ActionScope {
 public:
  ActionScope(ZipActionCallback* callback, const std::string& name, const std::string& path)
      : callback_(callback) {
    if (callback_ != nullptr) callback_->BeginAction(name, path);
  }
  ~ActionScope() {
    if (callback_ != nullptr) callback_->EndAction();
  }
  ActionScope(const ActionScope&) = delete;
  ActionScope& operator=(const ActionScope&) = delete;

 private:
  ZipActionCallback* callback_;
};

bool HasMoreData(ZipAbstractFile& source) {
  char byte;
  return source.Read(&byte, 1) == 1;
}

}  // namespace

ZipWriter::ZipWriter()
    : storage_(std::make_unique<ZipStorage>()),
      centralDir_(std::make_unique<ZipCentralDir>(*storage_)),
      compressor_(std::make_unique<ZipCompressor>(*storage_)) {}

ZipWriter::~ZipWriter() {
  try {
    CloseArchive(true);
  } catch (const ZipException&) {
    // Nothing more is written after an error; a failing close changes nothing.
  }
}

void ZipWriter::OpenArchive(const std::string& path, ZipOpenMode mode, uint64_t /*volumeSize*/) {
  if (!IsClosed()) return;
  storage_->Open(path, mode);
  StartArchive(mode);
}

void ZipWriter::SetRetirePath(const std::string& retirePath) {
  if (!IsClosed()) storage_->SetRetirePath(retirePath);
}

void ZipWriter::OpenArchive(ZipMemFile* memoryFile, ZipOpenMode mode) {
  if (!IsClosed()) return;
  storage_->Open(memoryFile, mode);
  StartArchive(mode);
}

void ZipWriter::StartArchive(ZipOpenMode mode) {
  entryState_ = 0;
  changedInPlace_ = false;
  failure_ = 0;
  centralDir_->Clear();
  rootDirectory_.clear();
  if (mode != ZipOpenMode::OpenExisting && mode != ZipOpenMode::OpenReadOnly) return;
  try {
    centralDir_->Read();
  } catch (...) {
    centralDir_->Clear();
    storage_->Close(true);
    throw;
  }
}

void ZipWriter::SetRootDirectory(const std::string& path) {
  if (IsClosed() || entryState_ != 0) return;
  std::string root = WithoutTrailingSlashes(path);
  rootDirectory_ = root.empty() && !path.empty() ? "/" : root;
}

void ZipWriter::SetProgressCallback(ZipActionCallback* callback, int kinds) {
  for (int bit = 0; bit < kCallbackKindCount; ++bit) {
    int kind = 1 << bit;
    if ((kinds & kind) == 0) continue;
    if (callback != nullptr) {
      callbacks_.emplace(kind, callback);
    } else {
      callbacks_.erase(kind);
    }
  }
}

ZipActionCallback* ZipWriter::CallbackFor(int kind) {
  auto it = callbacks_.find(kind);
  if (it == callbacks_.end()) return nullptr;
  it->second->SetActionKind(kind);
  return it->second;
}

bool ZipWriter::IsClosed() const { return !storage_->IsOpen(); }

std::string ZipWriter::ArchivePath() const { return storage_->ArchivePath(); }

bool ZipWriter::IsArchiveFile(const std::string& path) const {
  const std::string archive = ArchivePath();
  return !archive.empty() && (path == archive || path == ZipArchiveFile::StagingPathFor(archive) ||
                              path == ZipJournal::PathFor(archive));
}

bool ZipWriter::JournalSetAside() const {
  return storage_->JournalRecovery() == ZipJournal::Recovery::SetAside;
}

int ZipWriter::EntryCount() const { return centralDir_->Count(); }

bool ZipWriter::GetEntryInfo(int index, ZipFileHeader* header) {
  if (index < 0 || index >= centralDir_->Count()) return false;
  WriteQueued(true);
  *header = centralDir_->Entry(index);
  return true;
}

std::string ZipWriter::TrimRootDirectory(const std::string& path) const {
  const std::string& root = rootDirectory_;
  bool underRoot = !root.empty() && path.compare(0, root.size(), root) == 0 &&
                   (root.back() == '/' || path.size() == root.size() || path[root.size()] == '/');
  if (!underRoot) return ZipPathComponent(path).GetFileName();
  std::string::size_type start = path.find_first_not_of('/', root.size());
  return start == std::string::npos ? "" : path.substr(start);
}

// Names are UTF-8 with '/' in both the archive's and the system's form, so the
// archive form asked for by `archiveForm` is the same string.
std::string ZipWriter::PredictNameInArchive(const std::string& path, bool fullPath,
                                            NameKind nameKind, bool /*archiveForm*/) const {
  if (path.empty()) return "";
  bool appendSlash = nameKind == PredictDirectory || (nameKind == PredictAuto && path.back() == '/');
  std::string stripped = WithoutTrailingSlashes(path);
  std::string name = fullPath ? ZipPathComponent(stripped).GetPathWithoutDrive()
                              : TrimRootDirectory(stripped);
  if (appendSlash && !name.empty()) name += '/';
  return name;
}

int ZipWriter::FindDuplicate(const std::string& path, bool fullPath, bool nameOnly,
                             NameKind nameKind) {
  if (IsClosed()) return -1;
  if (!nameOnly) return centralDir_->FindEntry(PredictNameInArchive(path, fullPath, nameKind), false);
  std::string fileName = ZipPathComponent(WithoutTrailingSlashes(path)).GetFileName();
  return centralDir_->FindEntry(fileName, true);
}

// Entries are made by Unix, as Info-ZIP makes them on Linux: the file's mode
// in the high word (extractors restore permissions from it) and the attribute
// word in the low byte.
ZipFileHeader ZipWriter::NewHeader(const std::string& name, const ZipSourceProperties& source) const {
  ZipFileHeader header;
  header.SetSystem(ZipSystemUnix);
  const uint32_t mode = source.unixMode != 0
                            ? source.unixMode << 16
                            : ConvertAttributes(source.attributes, ZipSystemPlatform, ZipSystemUnix);
  header.externalAttributes = (mode & 0xFFFF0000u) | (source.attributes & 0xFF);
  header.SetTime(source.modificationTime);
  std::string finalName = name.empty() ? "file" + std::to_string(centralDir_->Count()) : name;
  if ((source.attributes & 0x10) != 0 && finalName.back() != '/') finalName += '/';
  header.SetFileName(finalName);
  return header;
}

bool ZipWriter::ResolveReplaceIndex(int* index, const std::string& name) {
  if (*index == -2) *index = IsClosed() ? -1 : centralDir_->FindEntry(name, false);
  if (*index == -1) return true;
  WriteQueued(true);
  if (*index < 0 || *index >= centralDir_->Count()) return false;
  if (*index == centralDir_->Count() - 1) {
    // Cut off and appended again: from here on the old entry exists only in
    // the journal, so a cancel completes the new one and an error rolls back.
    BeginInPlaceChange(*index);
    if (onCancel_ == OnCancel::Stop) onCancel_ = OnCancel::CompleteFirst;
    RemoveLast();
    *index = -1;
  }
  return true;
}

void ZipWriter::BeginInPlaceChange(int index) {
  centralDir_->ReadLocalHeaderOf(index);
  if (index + 1 < centralDir_->Count()) centralDir_->ReadLocalHeaderOf(index + 1);
  changedInPlace_ = true;
}

void ZipWriter::NoteFailure(const ZipException& error) {
  bool cancelled = error.code == ZipException::CancelledFinished ||
                   error.code == ZipException::CancelledUnfinished;
  if (changedInPlace_ && !cancelled && failure_ == 0) failure_ = error.code;
}

bool ZipWriter::AddFile(const std::string& sourcePath, int level, bool fullPath, int options,
                        uint32_t bufferSize) {
  AddFileRequest request(sourcePath, fullPath);
  request.level = level;
  request.options = options;
  request.bufferSize = bufferSize;
  return AddFile(request);
}

bool ZipWriter::AddFile(const AddFileRequest& request) {
  bool outermost = (request.options & AddFileRequest::OptInternalRetry) == 0;
  if (!outermost) return AddPreparedFile(request);
  return Guarded([&] { return AddPreparedFile(request); });
}

bool ZipWriter::CancelNow(ZipActionCallback* callback, size_t count, bool completeFirst) {
  if (callback == nullptr || onCancel_ == OnCancel::Pending || callback->Advance(count)) {
    return false;
  }
  if (!completeFirst && onCancel_ == OnCancel::Stop) return true;
  onCancel_ = OnCancel::Pending;
  return false;
}

bool ZipWriter::AddPreparedFile(const AddFileRequest& request) {
  if (IsClosed() || entryState_ != 0 || storage_->IsReadOnly() || request.bufferSize == 0) {
    return false;
  }
  std::string sourcePath = WithoutTrailingSlashes(request.sourcePath);
  if (sourcePath.empty() && request.sourceFile == nullptr) return false;
  std::string name = request.nameInArchive;
  if (name.empty() && !sourcePath.empty()) {
    name = request.fullPath ? ZipPathComponent(sourcePath).GetPathWithoutDrive()
                            : TrimRootDirectory(sourcePath);
  }
  ZipSourceProperties properties;
  properties.attributes = kDefaultFileAttributes & 0xFFFF;
  properties.unixMode = kDefaultFileAttributes >> 16;
  properties.modificationTime = platform::Clock::Current()->Now();
  if (request.sourceProperties != nullptr) {
    properties = *request.sourceProperties;
  } else if (request.sourceFile == nullptr && !GetSourceProperties(sourcePath, &properties)) {
    return false;
  }
  ZipFileHeader header = NewHeader(name, properties);
  bool internal = (request.options & AddFileRequest::OptInternalRetry) != 0;
  ActionScope action(internal ? nullptr : CallbackFor(ZipActionCallback::CallbackAdd),
                     header.SystemName(), sourcePath);
  if (header.IsDirectory()) return AddDirectory(header, request.replaceIndex);

  ZipFile ownSource;
  ZipAbstractFile* source = request.sourceFile;
  if (source != nullptr) {
    source->SeekToStart();
  } else if (ownSource.Open(sourcePath, ZipAbstractFile::kReadSource, false)) {
    source = &ownSource;
  } else {
    return false;
  }
  uint64_t size = source->Length();
  int level = request.level < -1 || request.level > 9 ? -1 : request.level;
  if ((request.options & AddFileRequest::OptStoreTinyFiles) != 0 && size < kTinyFileSize) level = 0;
  bool gainCheck = (request.options & AddFileRequest::OptCheckCompressionGain) != 0 && level != 0;

  // The source is open before anything is removed, so an unreadable file
  // never costs the archive its earlier version.
  int replaceIndex = request.replaceIndex;
  if (!ResolveReplaceIndex(&replaceIndex, header.SystemName())) return false;
  if (replaceIndex >= 0 && level != 0) {
    bool inMemory = gainCheck && (request.options & AddFileRequest::OptGainCheckInMemory) != 0;
    std::string temporaryPath = inMemory ? "" : TemporaryFileName(temporaryDirectory_, size);
    if (inMemory || !temporaryPath.empty()) {
      AddFileRequest staged = request;
      staged.nameInArchive = header.SystemName();
      staged.level = level;
      return AddFileViaTemporary(staged, temporaryPath, replaceIndex, gainCheck);
    }
    level = 0;  // no room for a temporary archive: the file is stored in place
    gainCheck = false;
  }
  bool retry = (request.options & AddFileRequest::OptInternalRetry) == AddFileRequest::OptInternalRetry;
  if (!AddFileDirect(header, *source, size, level, replaceIndex, request.bufferSize, retry,
                     !gainCheck && replaceIndex < 0)) {
    return false;
  }
  if (!gainCheck || replaceIndex >= 0) return true;
  const ZipFileHeader added = centralDir_->Entry(centralDir_->Count() - 1);
  if (added.compressedSize <= added.uncompressedSize) return true;
  ownSource.Close();
  RemoveLast();
  AddFileRequest stored = request;
  stored.nameInArchive = header.SystemName();
  stored.level = 0;
  stored.options = AddFileRequest::OptInternalRetry;
  stored.replaceIndex = -1;
  return AddPreparedFile(stored);
}

bool ZipWriter::AddDirectory(ZipFileHeader& header, int replaceIndex) {
  ZipActionCallback* callback = CallbackFor(ZipActionCallback::CallbackAdd);
  if (callback != nullptr) callback->SetActionTotal(0);
  if (!ResolveReplaceIndex(&replaceIndex, header.SystemName())) return false;
  if (replaceIndex < 0 && QueuesEntryOf(0)) {
    QueueEntry(header, 0, "");
    return true;
  }
  if (!BeginEntry(header, 0, replaceIndex, 0, 0)) return false;
  try {
    EndEntry(false);
  } catch (...) {
    DiscardCurrentEntry();
    throw;
  }
  return true;
}

// A small file appended at the end is read whole and queued for the lane; one
// that grows past the lane's limit while it is read is written here after all.
bool ZipWriter::AddFileDirect(ZipFileHeader& header, ZipAbstractFile& source, uint64_t size,
                              int level, int replaceIndex, uint32_t bufferSize, bool retry,
                              bool mayQueue) {
  ZipActionCallback* callback = CallbackFor(retry ? ZipActionCallback::CallbackAddStored
                                                  : ZipActionCallback::CallbackAdd);
  ActionScope retryAction(retry ? callback : nullptr, header.SystemName(), source.Path());
  if (callback != nullptr) callback->SetActionTotal(size);
  bool replacing = replaceIndex >= 0;
  bool queued = mayQueue && QueuesEntryOf(size);
  std::string held;  // the data read so far while it is to be queued
  if (!queued && !BeginEntry(header, level, replaceIndex, replacing ? size : 0, size)) return false;
  // In place, the entry may not outgrow the room made for it: a file that
  // grew since its size was taken is stored with the bytes that were there.
  uint64_t limit = replacing ? size : header.zip64Local ? UINT64_MAX : kClassicEntryLimit;
  uint64_t done = 0;
  try {
    ZipAutoBuffer& buffer = readBuffer_;
    buffer.Allocate(bufferSize);
    for (;;) {
      size_t want = static_cast<size_t>(std::min<uint64_t>(bufferSize, limit - done));
      size_t got = want == 0 ? 0 : source.Read(buffer.Data(), want);
      if (got > 0 && queued) held.append(buffer.Data(), got);
      if (got > 0 && !queued) WriteEntryData(buffer.Data(), got);
      done += got;
      bool more = want != 0 && got == want;
      if (queued && held.size() > ZipDeflateLane::kMaxEntrySize) {
        queued = false;
        if (!BeginEntry(header, level, -1, 0, held.size())) return false;
        WriteEntryData(held.data(), held.size());
        std::string().swap(held);
      }
      // An entry replaced in place is completed first: its old data is gone.
      if (got > 0 && CancelNow(callback, got, replacing)) {
        if (more && HasMoreData(source)) {
          DiscardCurrentEntry();
        } else if (queued) {
          QueueEntry(header, level, std::move(held));
        } else {
          EndEntry(false);
        }
        throw ZipException(ZipException::CancelledFinished, "");
      }
      if (!more) break;
    }
    if (queued) {
      QueueEntry(header, level, std::move(held));
    } else {
      EndEntry(false);
    }
  } catch (...) {
    DiscardCurrentEntry();
    throw;
  }
  if (replacing && done < size) {
    MakeRoomForReplacement(replaceIndex, header.LocalHeaderSize(false) + done, header.SystemName());
  }
  return true;
}

bool ZipWriter::QueuesEntryOf(uint64_t size) {
  return size <= ZipDeflateLane::kMaxEntrySize && ZipParallelDeflater::Workers() > 1;
}

// The entry takes its place in the central directory now, so that it is
// counted and found by name; its bytes follow once the lane is done with it.
void ZipWriter::QueueEntry(ZipFileHeader& header, int level, std::string data) {
  if (!header.PrepareForWrite(level, false)) throw ZipException(ZipException::EntryTooLong, ArchivePath());
  header.zip64Local = false;
  if (lane_ == nullptr) lane_ = std::make_unique<ZipDeflateLane>();
  centralDir_->AddEntry(header, -1);
  centralDir_->ForgetCurrent();
  lane_->Submit(std::move(data), header.method == 8 ? level : 0);
  if (lane_->Full()) lane_->WaitFor(lane_->Queued() / 2);
  WriteQueued(false);
}

// An entry that cannot be written is cut off with every entry queued after
// it, as an unfinished entry is, and the failure thrown.
void ZipWriter::WriteQueued(bool all) {
  if (lane_ == nullptr || lane_->Queued() == 0) return;
  int next = FirstQueued();
  try {
    if (all) lane_->WaitFor(lane_->Queued());
    for (ZipDeflateLane::Entry entry; lane_->TakeDone(&entry); ++next) {
      if (entry.error != 0) {
        throw ZipException(ZipException::CodeOfZlibResult(entry.error), ArchivePath());
      }
      WriteQueuedEntry(next, entry.data, entry.crc, entry.inputSize);
    }
  } catch (const ZipException&) {
    CutFailedQueued(next);
    throw;
  }
}

// The CRC and sizes are known, so the local header is complete as written.
void ZipWriter::WriteQueuedEntry(int index, const std::string& data, uint32_t crc,
                                 uint64_t inputSize) {
  ZipFileHeader* entry = centralDir_->ResumeEntry(index);
  entry->crc32 = crc;
  entry->compressedSize = data.size();
  entry->uncompressedSize = inputSize;
  entry->WriteLocalHeader(*storage_);
  storage_->Write(data.data(), data.size());
  centralDir_->ForgetCurrent();
}

void ZipWriter::DropQueued(int from) {
  if (lane_ != nullptr) lane_->Clear();
  centralDir_->ForgetCurrent();
  while (centralDir_->Count() > from) centralDir_->RemoveEntry(centralDir_->Count() - 1);
}

void ZipWriter::CutFailedQueued(int from) {
  const uint64_t before = centralDir_->BytesBeforeArchive();
  const ZipFileHeader* failed = centralDir_->Current();
  uint64_t cut = failed != nullptr ? failed->localHeaderOffset + before : storage_->Position();
  DropQueued(from);
  try {
    storage_->TruncateAt(cut);
    storage_->Flush();  // the entries before it, when the file has room for them
    return;
  } catch (const ZipException&) {
  }
  const uint64_t onDisk = storage_->FlushedPosition();
  while (from > 0 && cut > onDisk) {
    --from;
    cut = centralDir_->Entry(from).localHeaderOffset + before;
  }
  DropQueued(from);
  try {
    storage_->TruncateAt(cut);
  } catch (const ZipException&) {
    // The entries are out of the central directory; their bytes stay as unused room.
  }
}

int ZipWriter::FirstQueued() const {
  return centralDir_->Count() - (lane_ == nullptr ? 0 : static_cast<int>(lane_->Queued()));
}

bool ZipWriter::AddFileViaTemporary(const AddFileRequest& request, const std::string& temporaryPath,
                                    int replaceIndex, bool gainCheck) {
  ZipMemFile memoryFile(1024);
  ZipWriter temporary;
  struct Cleanup {
    ZipWriter& archive;
    const std::string& path;
    ~Cleanup() {
      try {
        archive.CloseArchive(true);
      } catch (const ZipException&) {
      }
      if (!path.empty()) RemoveFileOf(path, false);
    }
  } cleanup{temporary, temporaryPath};

  if (temporaryPath.empty()) {
    temporary.OpenArchive(&memoryFile, ZipOpenMode::CreateNew);
  } else {
    temporary.storage_->OpenScratch(temporaryPath);
    temporary.StartArchive(ZipOpenMode::CreateNew);
  }
  temporary.rootDirectory_ = rootDirectory_;
  temporary.SetProgressCallback(CallbackFor(ZipActionCallback::CallbackAdd),
                                ZipActionCallback::CallbackAdd);
  AddFileRequest nested = request;
  nested.options = kNestedAdd;
  nested.replaceIndex = -1;
  try {
    if (!temporary.AddFile(nested)) return false;
  } catch (const ZipException& error) {
    // Cancelled after the last chunk: the entry is complete and is still
    // stored here; the cancel is reported once it is.
    if (error.code != ZipException::CancelledFinished || temporary.EntryCount() != 1) throw;
    onCancel_ = OnCancel::Pending;
  }
  temporary.WriteQueued(true);
  const ZipFileHeader staged = temporary.centralDir_->Entry(0);
  if (gainCheck && staged.compressedSize > staged.uncompressedSize) {
    AddFileRequest stored = request;
    stored.level = 0;
    stored.options = AddFileRequest::OptInternalRetry;
    stored.replaceIndex = replaceIndex;
    return AddPreparedFile(stored);
  }
  return CopyEntry(temporary, 0, "", replaceIndex, true,
                   CallbackFor(ZipActionCallback::CallbackAddCopy));
}

bool ZipWriter::BeginEntry(ZipFileHeader& header, int level, int replaceIndex,
                           uint64_t reserveSize, uint64_t sizeHint) {
  if (IsClosed() || entryState_ != 0 || storage_->IsReadOnly()) return false;
  WriteQueued(true);
  bool replacing = replaceIndex >= 0 && replaceIndex < centralDir_->Count();
  if (level < -1 || level > 9) level = -1;
  if (!header.PrepareForWrite(level, false)) throw ZipException(ZipException::EntryTooLong, ArchivePath());
  header.zip64Local = sizeHint > kClassicEntryLimit;
  uint64_t neededSize = header.LocalHeaderSize(false) + reserveSize;
  if (replacing) BeginInPlaceChange(replaceIndex);
  ZipFileHeader* entry = centralDir_->AddEntry(header, replacing ? replaceIndex : -1);
  currentIndex_ = replacing ? replaceIndex : centralDir_->Count() - 1;
  currentReplacing_ = replacing;
  entryState_ = 1;
  try {
    if (replacing) MakeRoomForReplacement(replaceIndex, neededSize, entry->SystemName());
    entry->WriteLocalHeader(*storage_);
    compressor_->Begin(entry->method, level, sizeHint);
  } catch (...) {
    DiscardCurrentEntry();
    throw;
  }
  return true;
}

void ZipWriter::WriteEntryData(const void* buffer, size_t count) {
  if (entryState_ == 1) compressor_->Write(buffer, count);
}

void ZipWriter::EndEntry(bool afterError) {
  if (entryState_ != 1) return;
  if (afterError) {
    compressor_->Discard();
    centralDir_->ForgetCurrent();
    entryState_ = 0;
    return;
  }
  compressor_->Finish();
  ZipFileHeader* entry = centralDir_->Current();
  entry->crc32 = compressor_->Crc();
  entry->compressedSize = compressor_->BytesOut();
  entry->uncompressedSize = compressor_->BytesIn();
  centralDir_->EndEntryWrite();
  entryState_ = 0;
}

// Drops the entry being written from the central directory: an appended one
// is also cut from the file, one written in place leaves its room unused.
void ZipWriter::DiscardCurrentEntry() {
  if (entryState_ != 1) return;
  compressor_->Discard();
  entryState_ = 0;
  uint64_t position = centralDir_->Entry(currentIndex_).localHeaderOffset +
                      centralDir_->BytesBeforeArchive();
  centralDir_->RemoveEntry(currentIndex_);
  if (currentReplacing_) return;
  try {
    storage_->TruncateAt(position);
  } catch (const ZipException&) {
    // The entry is out of the central directory; its bytes stay as unused room.
  }
}

bool ZipWriter::RemoveLastEntry(bool evenIfSmaller) {
  if (IsClosed() || entryState_ != 0 || centralDir_->Count() == 0 || storage_->IsReadOnly()) {
    return false;
  }
  WriteQueued(true);
  const ZipFileHeader entry = centralDir_->Entry(centralDir_->Count() - 1);
  if (!evenIfSmaller && entry.compressedSize <= entry.uncompressedSize) return false;
  return Guarded([&] {
    BeginInPlaceChange(centralDir_->Count() - 1);
    RemoveLast();
    return true;
  });
}

void ZipWriter::RemoveLast() {
  int last = centralDir_->Count() - 1;
  uint64_t position = centralDir_->Entry(last).localHeaderOffset + centralDir_->BytesBeforeArchive();
  centralDir_->RemoveEntry(last);
  centralDir_->MarkNotOnDisk();
  storage_->TruncateAt(position);
}

bool ZipWriter::CopyEntryFrom(ZipWriter& source, int index, const std::string& newName,
                              int replaceIndex, bool keepSystem, ZipActionCallback* callback) {
  return Guarded([&] {
    return CopyEntry(source, index, newName, replaceIndex, keepSystem, callback);
  });
}

bool ZipWriter::CopyEntry(ZipWriter& source, int index, const std::string& newName,
                          int replaceIndex, bool keepSystem, ZipActionCallback* callback) {
  if (&source == this || IsClosed() || source.IsClosed() || entryState_ != 0 ||
      source.entryState_ != 0 || storage_->IsReadOnly()) {
    return false;
  }
  if (index < 0 || index >= source.EntryCount()) return false;
  WriteQueued(true);
  source.WriteQueued(true);
  ZipFileHeader header = source.centralDir_->ReadLocalHeaderOf(index);
  uint64_t dataStart = header.localHeaderOffset + header.LocalHeaderSize(true);
  uint64_t roomEnd = source.centralDir_->EntryRoomEnd(index);
  bool descriptor = (header.flags & ZipFileHeader::kFlagDescriptor) != 0;
  uint64_t minimum = header.compressedSize + (descriptor ? 12 : 0);
  // A descriptor has 12 to 24 bytes (signature, ZIP64 sizes).
  uint64_t maximum = header.compressedSize + (descriptor ? 24 : 0);
  if (roomEnd < dataStart || roomEnd - dataStart < minimum) {
    throw ZipException(ZipException::BadArchive, source.ArchivePath());
  }
  uint64_t span = std::min(roomEnd - dataStart, maximum);

  if (!newName.empty()) header.SetFileName(newName);
  if (header.Name().size() > ZipFileHeader::kMaxFieldLength) {
    throw ZipException(ZipException::EntryTooLong, ArchivePath());
  }
  if (!keepSystem && header.System() != ZipSystemUnix) {
    header.externalAttributes =
        ConvertAttributes(header.externalAttributes, header.System(), ZipSystemUnix);
    header.SetSystem(ZipSystemUnix);
  }
  header.SetExtraField("");
  header.zip64Local = Zip64ExtraField::Overflows(header.compressedSize) ||
                      Zip64ExtraField::Overflows(header.uncompressedSize);
  std::string name = header.SystemName();
  if (!ResolveReplaceIndex(&replaceIndex, name)) return false;
  bool replacing = replaceIndex >= 0;
  if (replacing) BeginInPlaceChange(replaceIndex);

  ZipFileHeader* entry = centralDir_->AddEntry(header, replaceIndex);
  currentIndex_ = replacing ? replaceIndex : centralDir_->Count() - 1;
  currentReplacing_ = replacing;
  entryState_ = 1;
  try {
    if (replacing) MakeRoomForReplacement(replaceIndex, header.LocalHeaderSize(false) + span, name);
    ActionScope action(callback, name, source.ArchivePath());
    if (callback != nullptr) callback->SetActionTotal(header.compressedSize);
    entry->WriteLocalHeader(*storage_);
    CopyEntryData(source, dataStart, span, replacing, callback);
    storage_->Flush();
  } catch (...) {
    DiscardCurrentEntry();
    throw;
  }
  centralDir_->ForgetCurrent();
  entryState_ = 0;
  return true;
}

void ZipWriter::CopyEntryData(ZipWriter& source, uint64_t dataStart, uint64_t span, bool replacing,
                              ZipActionCallback* callback) {
  ZipStorage& from = *source.storage_;
  from.SeekTo(dataStart + source.centralDir_->BytesBeforeArchive());
  ZipAutoBuffer buffer(ZipCompressor::kBufferSize);
  uint64_t copied = 0;
  while (copied < span) {
    size_t want = static_cast<size_t>(std::min<uint64_t>(buffer.Size(), span - copied));
    size_t got = from.File().Read(buffer.Data(), want);
    if (got == 0) break;
    storage_->Write(buffer.Data(), got);
    copied += got;
    // A copy in place or at its last chunk is completed, then the cancel reported.
    if (!CancelNow(callback, got, replacing || copied == span)) continue;
    DiscardCurrentEntry();
    throw ZipException(ZipException::CancelledFinished, "");
  }
  if (copied < span) throw ZipException(ZipException::BadArchive, source.ArchivePath());
}

void ZipWriter::MakeRoomForReplacement(int index, uint64_t neededSize, const std::string& name) {
  uint64_t bytesBefore = centralDir_->BytesBeforeArchive();
  uint64_t start = centralDir_->Entry(index).localHeaderOffset;
  uint64_t roomEnd = centralDir_->EntryRoomEnd(index);
  uint64_t room = roomEnd - start;
  if (neededSize == room) return;
  int64_t delta = static_cast<int64_t>(neededSize) - static_cast<int64_t>(room);
  uint64_t distance = delta > 0 ? static_cast<uint64_t>(delta) : static_cast<uint64_t>(-delta);
  uint64_t archiveEnd = storage_->Length() - bytesBefore;
  ZipActionCallback* callback = CallbackFor(ZipActionCallback::CallbackMoveData);
  ActionScope action(callback, name, ArchivePath());
  if (callback != nullptr) callback->SetActionTotal(archiveEnd - roomEnd);
  if (delta > 0) storage_->SetLength(archiveEnd + bytesBefore + distance);
  MoveRange(roomEnd, archiveEnd, distance, callback, delta > 0);
  if (delta < 0) storage_->SetLength(archiveEnd + bytesBefore - distance);
  storage_->SeekTo(start + bytesBefore);
  centralDir_->ShiftOffsetsAfter(index, delta);
}

void ZipWriter::MoveRange(uint64_t from, uint64_t to, uint64_t distance,
                          ZipActionCallback* callback, bool forward) {
  uint64_t length = to - from;
  if (length == 0) return;
  uint64_t bytesBefore = centralDir_->BytesBeforeArchive();
  storage_->Flush();
  ZipAbstractFile& file = storage_->File();
  ZipAutoBuffer buffer(static_cast<size_t>(std::min<uint64_t>(kMoveChunkSize, length)));
  uint64_t moved = 0;
  while (moved < length) {
    size_t count = static_cast<size_t>(std::min<uint64_t>(buffer.Size(), length - moved));
    uint64_t position = forward ? to - moved - count : from + moved;
    uint64_t target = forward ? position + distance : position - distance;
    file.Seek(static_cast<int64_t>(position + bytesBefore), 0);
    size_t got = file.Read(buffer.Data(), count);
    if (got == 0) break;
    file.Seek(static_cast<int64_t>(target + bytesBefore), 0);
    file.Write(buffer.Data(), got);
    moved += got;
    // Moving is always completed: stopping halfway would leave entries that
    // no offset points at. A cancel is reported when the replacement is done.
    CancelNow(callback, got, true);
    if (got < count) break;
  }
  if (moved != length) throw ZipException(ZipException::MoveSizeMismatch, ArchivePath());
}

void ZipWriter::CloseArchive(bool afterError, bool updateTimeStamp) {
  if (IsClosed()) return;
  if (entryState_ == 1) {
    if (afterError) {
      EndEntry(true);
    } else {
      DiscardCurrentEntry();
    }
  }
  if (failure_ != 0 && !afterError) {
    // An entry was changed in place and the change failed: the archive goes
    // back to what it was at open, and the failure is reported again.
    int failure = failure_;
    std::string path = ArchivePath();
    CloseArchive(true);
    throw ZipException(failure, path);
  }
  if (afterError) {
    DropQueued(FirstQueued());
  } else {
    WriteQueued(true);  // a failure leaves the archive open with the entries before it
  }
  bool completed = true;
  if (!afterError) {
    try {
      completed = centralDir_->Write(CallbackFor(ZipActionCallback::CallbackSave));
    } catch (...) {
      centralDir_->Clear();
      storage_->Close(true);
      throw;
    }
  }
  int64_t newest = 0;
  for (int i = 0; updateTimeStamp && i < centralDir_->Count(); ++i) {
    newest = std::max(newest, centralDir_->Entry(i).GetTime());
  }
  bool inMemory = storage_->InMemory();
  centralDir_->Clear();
  compressor_->Release();
  lane_.reset();
  std::string path = storage_->Close(afterError);
  if (updateTimeStamp && !path.empty() && !inMemory) SetFileTimeOf(path, newest);
  if (!completed) throw ZipException(ZipException::CancelledFinished, path);
}
