#!/usr/bin/env bash
# Measures how many hand-made faults the test suite catches. Exports the given
# commit into a scratch directory, builds it once (the normal build of
# tools/test.sh), then applies each fault below alone and runs the suite until
# its first failure: the faulted subsystem's tests first, then the window
# tests, then the rest, each group built just before it runs, its slowest
# tests last. Every test still runs unless one fails, so the order changes
# only how soon a fault is caught.
# A fault is caught when a test fails and survives when all pass; one that
# does not build is not counted.
#
#   tools/fault-kill.sh [-k] COMMIT SCRATCH_DIR    (run inside a checkout)
#
# -k keeps going when the scratch directory already holds a build (re-measures
# without configuring again). The report goes to SCRATCH_DIR/fault-kill.txt.
set -uo pipefail

keep=0
if [ "${1:-}" = "-k" ]; then keep=1; shift; fi
if [ $# -ne 2 ]; then
  echo "usage: $0 [-k] COMMIT SCRATCH_DIR" >&2
  exit 2
fi
commit=$1
scratch=$2
repo=$(git rev-parse --show-toplevel) || exit 1

# Each fault: file@sed expression that changes exactly one line of it@what it breaks.
faults=(
  "zip/ZipFile.cpp@s#Check(file_->Sync());#Check(0);#@file data is never synced"
  "zip/ZipArchiveFile.cpp@s#int error = env->SyncDirectory(DirectoryOf(path_));#int error = 0;#@commit rename not made durable"
  "zip/ZipJournal.cpp@s#if (created) SyncDirectoryOf(path_);#if (false) SyncDirectoryOf(path_);#@new journal's directory not synced"
  "zip/ZipFileHeader.cpp@s#Put32(p + 16, crc32);#Put32(p + 16, crc32 + 1);#@wrong CRC in the central directory"
  "zip/ZipFileHeader.cpp@s#Put32(buffer, crc32);#Put32(buffer, 0);#@no CRC in the local header"
  "zip/ZipWriter.cpp@s#if (index < 0 || index >= centralDir_->Count()) return false;#if (index < 0 || index > centralDir_->Count()) return false;#@off-by-one entry bound"
  "zip/ZipWriter.cpp@s#if (added.compressedSize <= added.uncompressedSize) return true;#if (added.compressedSize < added.uncompressedSize) return true;#@stored instead of deflated at equal size"
  "zip/ZipWriter.cpp@s#if (index + 1 < centralDir_->Count()) centralDir_->ReadLocalHeaderOf(index + 1);#if (index + 2 < centralDir_->Count()) centralDir_->ReadLocalHeaderOf(index + 1);#@next local header not read"
  "engine/PendingStamps.cpp@s#paths_.insert(paths_.end(), path.begin(), path.end());#&ClearArchiveAttribute(path, seen);#@stamp written before the commit"
  "engine/BackupRunner.cpp@s#    stamps_.Discard();\$#    stamps_.Commit();#@stamps written after a failed close"
  "engine/BackupRunner.cpp@s#if (outcome == ArchiveOutcome::NotPrepared || StopRequested()) return false;#if (outcome == ArchiveOutcome::NotPrepared) return false;#@cancel does not stop the next archive"
  "engine/BackupRunner.cpp@s#result_.cancelled = true;#result_.cancelled = false;#@a cancel reported as a failure"
  "engine/ArchiveNaming.cpp@s#static_cast<int>(when.GetMonth()) + 1,#static_cast<int>(when.GetMonth()),#@month off by one in date suffix"
  "engine/ArchiveErrorText.cpp@s#\"the archive is damaged\"#\"the archive is broken\"#@wrong message"
  "engine/DirEnumerator.cpp@s#platform::Env::Current()->MarkArchived(ToNativeSeparators(path), seen);#(void)seen;#@stamp never written"
  "engine/Wildcard.cpp@s#prepared.Replace(\"\\\\\\\\\", \"\\\\\\\\\\\\\\\\\");#;#@backslash in a pattern taken as escape"
  "jobs/ScheduleCalendar.cpp@s#for (int64_t day = today; day <= today + 7; ++day) {#for (int64_t day = today; day < today + 7; ++day) {#@off-by-one: same weekday next week missed"
  "jobs/ScheduleCalendar.cpp@s#if (due >= now) return#if (due > now) return#@run due exactly now skipped"
  "jobs/XmlText.cpp@s#(codePoint >= 0x20 \&\& codePoint <= 0xD7FF)#(codePoint >= 0x21 \&\& codePoint <= 0xD7FF)#@space refused as XML character"
  "jobs/JobStore.cpp@s#if (index >= jobs_.size()) return nullptr;#if (index > jobs_.size()) return nullptr;#@off-by-one job index"
  "jobs/DefinitionFileName.cpp@s#if (name.size() <= limit) return name;#if (name.size() < limit) return name;#@name of exactly the limit cut"
  "scheduler/BackupScheduler.cpp@s#static_cast<int64_t>(now.GetTicks()) + 1);#static_cast<int64_t>(now.GetTicks()));#@handled run taken again"
  "scheduler/BackupScheduler.cpp@s#if (next.IsValid() \&\& next <= now) {#if (next.IsValid() \&\& next < now) {#@run due exactly at a check"
  "ui/RunPresenter.cpp@s#_(\"Backup '%s' completed.\")#_(\"Backup '%s' complete.\")#@wrong closing message"
  "ui/RunPresenter.cpp@s#\"%lu files added, %llu kB read\"#\"%lu files added, %llu KB read\"#@wrong status text"
  "ui/BackupJobDialog.cpp@s#if ((days \& (1u << day)) != 0#if ((days \& (2u << day)) != 0#@weekday boxes shifted by one"
  "ui/BackupJobDialog.cpp@s#GetSelectedItemCount() > 0);#GetSelectedItemCount() >= 0);#@remove enabled without a selection"
)

mkdir -p "$scratch"
report=$scratch/fault-kill.txt
if [ $keep -eq 0 ] || [ ! -d "$scratch/src" ]; then
  rm -rf "$scratch/src"
  mkdir -p "$scratch/src"
  git -C "$repo" archive "$commit" | tar -x -C "$scratch/src" || exit 1
  cmake -S "$scratch/src" -B "$scratch/src/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" -DCMAKE_CXX_COMPILER=g++ -DCMAKE_C_COMPILER=gcc \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache >/dev/null || exit 1
fi
cd "$scratch/src" || exit 1
timeout 3600 nice -n 19 cmake --build build -j2 >/dev/null || { echo "unmutated build fails" >&2; exit 1; }

# The tests that take a minute or more each (several GiB written, or waits
# for the program's first scheduler check) run after the rest of their group.
slow='OverFourGiB|StayAliveTest'

# Runs the tests of `group` that match (-R) or do not match (-E) $slow,
# stopping at the first failure, which it prints. A failing test runs once
# more alone, so that a failure that came from the machine's load (a deadline
# missed) is not taken for a catch.
run_tests() {
  if timeout 1800 nice -n 19 ctest --test-dir "build/tests/$1" "$2" "$slow" -j2 \
      --no-tests=ignore --stop-on-failure --timeout 300 >"$scratch/last-ctest.txt" 2>&1; then
    return 0
  fi
  local failed
  failed=$(sed -n '/The following tests FAILED:/{n;p;q}' "$scratch/last-ctest.txt" |
    sed -E 's/^[[:space:]]*[0-9]+ - //; s/ +(#|\().*$//')
  if [ -n "$failed" ] && timeout 900 nice -n 19 ctest --test-dir "build/tests/$1" -R "^${failed}\$" \
      --no-tests=error --timeout 300 >"$scratch/rerun-ctest.txt" 2>&1; then
    echo "load failure of $failed, not counted" >>"$scratch/fault-kill.log"
    reruns=$((reruns + 1))
    if [ "$reruns" -le 3 ]; then run_tests "$1" "$2"; return; fi
  fi
  echo "caught by $failed"
  return 1
}

# Builds and runs the tests of each group given, stopping at the first
# failure: returns 2 when a build fails, 1 when a test fails.
run_groups() {
  local group
  for group in "$@"; do
    timeout 1800 nice -n 19 cmake --build build -j2 --target "tests/$group/all" \
      >/dev/null 2>&1 || return 2
    run_tests "$group" -E || return 1
    run_tests "$group" -R || return 1
  done
}

echo "faults applied to $(git -C "$repo" rev-parse --short "$commit")" >"$report"
caught=0
total=0
for fault in "${faults[@]}"; do
  IFS='@' read -r file expression description <<<"$fault"
  cp "$file" "$file.orig"
  sed -i "$expression" "$file"
  subsystem=${file%%/*}
  reruns=0
  if cmp -s "$file" "$file.orig"; then
    verdict="NOT APPLIED"
  else
    groups=$(printf '%s\n' "$subsystem" app zip engine jobs scheduler ui platform | awk '!seen[$0]++')
    # shellcheck disable=SC2086
    verdict=$(run_groups $groups)
    case $? in
      0) verdict="survived"; total=$((total + 1)) ;;
      1) caught=$((caught + 1)); total=$((total + 1)) ;;
      *) verdict="DOES NOT BUILD" ;;
    esac
  fi
  # Restored with a new time stamp, so that the next build compiles it again.
  mv "$file.orig" "$file"
  touch "$file"
  echo "$verdict: $file: $description" | tee -a "$report"
done
timeout 3600 nice -n 19 cmake --build build -j2 >/dev/null
echo "caught $caught of $total" | tee -a "$report"
