#include "engine/ArchiveIndex.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "engine/PathUtil.h"

const char* const ArchiveIndex::kFileName = "arkivault-index.txt";

namespace {

constexpr const char* kTimeFormat = "%Y-%m-%d %H:%M:%S";

std::string Escape(const std::string& name) {
  std::string escaped;
  for (char c : name) {
    switch (c) {
      case '\\': escaped += "\\\\"; break;
      case '\t': escaped += "\\t"; break;
      case '\n': escaped += "\\n"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

// False for a dangling backslash or an unknown escape.
bool Unescape(const std::string& text, std::string* name) {
  name->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      *name += text[i];
      continue;
    }
    if (++i == text.size()) return false;
    switch (text[i]) {
      case '\\': *name += '\\'; break;
      case 't': *name += '\t'; break;
      case 'n': *name += '\n'; break;
      default: return false;
    }
  }
  return !name->empty();
}

// A ".." component: no archive name of ours has one, and following it would
// read (and restore from) a file outside the backup directory.
bool HasParentStep(const std::string& name) {
  std::string::size_type start = 0;
  for (;;) {
    const std::string::size_type end = name.find('/', start);
    if (name.compare(start, end == std::string::npos ? std::string::npos : end - start, "..") == 0) {
      return true;
    }
    if (end == std::string::npos) return false;
    start = end + 1;
  }
}

bool ParseKind(const std::string& text, ArchiveKind* kind) {
  for (ArchiveKind candidate : {ArchiveKind::Full, ArchiveKind::Incremental, ArchiveKind::Initial}) {
    if (text == ArchiveKindName(candidate)) {
      *kind = candidate;
      return true;
    }
  }
  return false;
}

bool ParseTime(const std::string& text, wxDateTime* when) {
  int year, month, day, hour, minute, second;
  char tail;
  if (text.size() != 19 ||
      std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &year, &month, &day, &hour,
                  &minute, &second, &tail) != 6 ||
      month < 1 || month > 12 || day < 1 || day > wxDateTime::GetNumberOfDays(
          static_cast<wxDateTime::Month>(month - 1), year) ||
      hour > 23 || minute > 59 || second > 59 || hour < 0 || minute < 0 || second < 0) {
    return false;
  }
  *when = wxDateTime(static_cast<wxDateTime::wxDateTime_t>(day),
                     static_cast<wxDateTime::Month>(month - 1), year,
                     static_cast<wxDateTime::wxDateTime_t>(hour),
                     static_cast<wxDateTime::wxDateTime_t>(minute),
                     static_cast<wxDateTime::wxDateTime_t>(second));
  return when->IsValid();
}

bool ParseLine(const std::string& line, IndexedArchive* archive) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (int i = 0; i < 3; ++i) {
    size_t tab = line.find('\t', start);
    if (tab == std::string::npos) return false;
    fields.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
  const std::string& entries = fields[2];
  if (entries.empty() || entries.size() > 19 ||
      !std::all_of(entries.begin(), entries.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  archive->entries = std::stoull(entries);
  return ParseTime(fields[0], &archive->committed) && ParseKind(fields[1], &archive->kind) &&
         Unescape(line.substr(start), &archive->name) && !HasParentStep(archive->name);
}

}  // namespace

const char* ArchiveKindName(ArchiveKind kind) {
  switch (kind) {
    case ArchiveKind::Full: return "full";
    case ArchiveKind::Incremental: return "incremental";
    case ArchiveKind::Initial: return "initial";
  }
  return "full";
}

ArchiveIndex ArchiveIndex::Parse(const std::string& text) {
  ArchiveIndex index;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    // Every line is written with its newline: one without it is torn.
    if (end == std::string::npos) break;
    IndexedArchive archive;
    if (ParseLine(text.substr(start, end - start), &archive)) index.Record(archive);
    start = end + 1;
  }
  return index;
}

std::string ArchiveIndex::Format() const {
  std::string text;
  for (const IndexedArchive& archive : archives_) {
    text += archive.committed.Format(kTimeFormat).utf8_string() + '\t' +
            ArchiveKindName(archive.kind) + '\t' + std::to_string(archive.entries) + '\t' +
            Escape(archive.name) + '\n';
  }
  return text;
}

namespace {

ArchiveIndex ReadIndex(platform::File& file) {
  std::string text;
  char buffer[8192];
  size_t got = 0;
  while (file.Read(buffer, sizeof buffer, &got) == 0 && got > 0) text.append(buffer, got);
  return ArchiveIndex::Parse(text);
}

}  // namespace

ArchiveIndex ArchiveIndex::Load(platform::Env& env, const std::string& backupDirectory) {
  std::unique_ptr<platform::File> file;
  if (env.OpenFile(JoinPath(backupDirectory, kFileName), platform::OpenMode::ReadOnly, &file) != 0) {
    return ArchiveIndex();
  }
  return ReadIndex(*file);
}

ArchiveIndex ArchiveIndex::LoadOwn(platform::Env& env, const std::string& backupDirectory) {
  std::unique_ptr<platform::File> file;
  if (env.OpenOwnFile(JoinPath(backupDirectory, kFileName), false, nullptr, &file) != 0) {
    return ArchiveIndex();
  }
  return ReadIndex(*file);
}

const IndexedArchive* ArchiveIndex::Find(const std::string& name) const {
  for (const IndexedArchive& archive : archives_) {
    if (archive.name == name) return &archive;
  }
  return nullptr;
}

void ArchiveIndex::Record(const IndexedArchive& archive) {
  Remove(archive.name);
  archives_.push_back(archive);
}

void ArchiveIndex::Rename(const std::string& from, const std::string& to) {
  if (from == to || !Find(from)) return;
  Remove(to);
  for (IndexedArchive& archive : archives_) {
    if (archive.name == from) archive.name = to;
  }
}

void ArchiveIndex::Remove(const std::string& name) {
  archives_.erase(std::remove_if(archives_.begin(), archives_.end(),
                                 [&](const IndexedArchive& a) { return a.name == name; }),
                  archives_.end());
}

bool ArchiveIndex::Save(platform::Env& env, const std::string& backupDirectory) const {
  int error = env.WriteFileAtomically(JoinPath(backupDirectory, kFileName), Format());
  if (error != 0) errno = error;
  return error == 0;
}
