#include "platform/ArchiveStamp.h"

#include <charconv>
#include <cstring>

namespace platform {
namespace {

constexpr int64_t kNanosecondsPerSecond = 1000000000;

constexpr uint64_t kFnvPrime = 1099511628211ull;

// FNV-1a over the path with runs of '/' taken as one, so "a//b" and "a/b"
// (a root written with a trailing '/') name the same file, then over the
// file's identity and state.
uint64_t StateHash(ArchiveStamp::PathPieces path, const FileInfo& seen) {
  uint64_t hash = 14695981039346656037ull;
  char previous = '\0';
  for (const std::string_view piece : path) {
    for (const char c : piece) {
      if (c == '/' && previous == '/') continue;
      previous = c;
      hash ^= static_cast<unsigned char>(c);
      hash *= kFnvPrime;
    }
  }
  const uint64_t fields[] = {seen.device, seen.inode, static_cast<uint64_t>(seen.mtimeSeconds),
                             static_cast<uint64_t>(seen.mtimeNanoseconds), seen.size};
  for (uint64_t field : fields) {
    for (int i = 0; i < 8; ++i, field >>= 8) {
      hash ^= field & 0xFF;
      hash *= kFnvPrime;
    }
  }
  return hash;
}

// Writes "<seconds>.<nine digits>".
char* PutTime(char* p, char* end, int64_t seconds, int64_t nanoseconds) {
  p = std::to_chars(p, end, seconds).ptr;
  *p++ = '.';
  char digits[9];
  for (int i = 8; i >= 0; --i, nanoseconds /= 10) {
    digits[i] = static_cast<char>('0' + nanoseconds % 10);
  }
  std::memcpy(p, digits, sizeof digits);
  return p + sizeof digits;
}

// The stamp up to and including the space before its writing time.
size_t FormatState(ArchiveStamp::PathPieces path, const FileInfo& seen, char* text) {
  char* p = text;
  std::memcpy(p, "v3 ", 3);
  p += 3;
  uint64_t hash = StateHash(path, seen);
  for (int i = 15; i >= 0; --i, hash >>= 4) p[i] = "0123456789abcdef"[hash & 0xF];
  p += 16;
  *p++ = ' ';
  return static_cast<size_t>(p - text);
}

// Reads "<seconds>.<nine digits>" filling [p, end) exactly; false otherwise.
bool ParseTime(const char* p, const char* end, int64_t* nanoseconds) {
  int64_t seconds = 0;
  const auto [dot, error] = std::from_chars(p, end, seconds);
  if (error != std::errc() || end - dot != 10 || *dot != '.') return false;
  int64_t fraction = 0;
  const auto [last, fractionError] = std::from_chars(dot + 1, end, fraction);
  if (fractionError != std::errc() || last != end) return false;
  *nanoseconds = seconds * kNanosecondsPerSecond + fraction;
  return true;
}

}  // namespace

size_t ArchiveStamp::Format(const std::string& path, const FileInfo& seen,
                            int64_t stampedAtNanoseconds, char (&text)[kCapacity]) {
  char* const end = text + kCapacity;
  char* p = text + FormatState({path}, seen, text);
  p = PutTime(p, end, stampedAtNanoseconds / kNanosecondsPerSecond,
              stampedAtNanoseconds % kNanosecondsPerSecond);
  return static_cast<size_t>(p - text);
}

bool ArchiveStamp::Matches(const char* value, ptrdiff_t length, PathPieces path,
                           const FileInfo& info) {
  if (length <= 0) return false;
  char expected[kCapacity];
  const size_t state = FormatState(path, info, expected);
  const char* end = value + length;
  int64_t stampedAt = 0;
  if (static_cast<size_t>(length) <= state || std::memcmp(value, expected, state) != 0 ||
      !ParseTime(value + state, end, &stampedAt)) {
    return false;
  }
  const int64_t changed = info.ctimeSeconds * kNanosecondsPerSecond + info.ctimeNanoseconds;
  return changed <= stampedAt + kWriteAllowance;
}

}  // namespace platform
