#!/usr/bin/env bash
# Backup engine benchmark: full batch backups of the mixed and the small corpus
# and an incremental run with nothing changed, side by side with Info-ZIP
# `zip -q -r -6` (and, for the mixed corpus, 7-Zip `-tzip -mx5` on two
# threads when `7zz` is installed) on the same trees in the same run. Prints
# wall time, CPU time (user + system) and peak resident memory of each, with
# the targets beside them: wall and CPU time against zip's (the incremental
# run against our full run) and peak memory.
#
#   bench/engine-bench.sh [path/to/arkivault]
#
# Without an argument the program is built in build/bench. Corpora and archives
# go to a temporary directory (under $TMPDIR), removed at the end. Each figure
# is the best of $REPEAT runs (default 3), so that other work on the machine
# disturbs it less; every full run starts from files without archive stamps.
set -euo pipefail
source "$(dirname "$0")/bench-common.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/arkivault-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

repeat=${REPEAT:-3}

# Runs a command under /usr/bin/time; sets $wall and $cpu (seconds) and $rss (KiB).
measure_once() {
  local report="$work/time.txt" status=0 user sys
  /usr/bin/time -f '%e %U %S %M' -o "$report" "$@" >/dev/null 2>"$work/stderr.txt" || status=$?
  read -r wall user sys rss < <(tail -n 1 "$report")
  cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')
  return $status
}

# measure PREPARE COMMAND...: runs PREPARE (not timed) and then COMMAND,
# $repeat times; sets $wall and $cpu to the shortest wall and CPU times and
# $rss to the largest peak memory. Fails when any run failed.
measure() {
  local prepare=$1 best_wall="" best_cpu="" max_rss=0 status=0 i
  shift
  for ((i = 0; i < repeat; i++)); do
    $prepare
    measure_once "$@" || status=1
    if [ -z "$best_wall" ] || awk -v a="$wall" -v b="$best_wall" 'BEGIN { exit !(a < b) }'; then
      best_wall=$wall
    fi
    if [ -z "$best_cpu" ] || awk -v a="$cpu" -v b="$best_cpu" 'BEGIN { exit !(a < b) }'; then
      best_cpu=$cpu
    fi
    [ "$rss" -gt "$max_rss" ] && max_rss=$rss
  done
  wall=$best_wall cpu=$best_cpu rss=$max_rss
  return $status
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
verdict() { awk -v r="$1" -v t="$2" 'BEGIN { print (r != "-" && r <= t) ? "met" : "MISSED" }'; }

mib() { [ "$1" = "-" ] && echo - || awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

# Targets: wall-time ratio per run, CPU ratio of the mixed corpus, peak memory.
memory_target_mib=24
printf '%-30s %8s %8s %8s | %8s %8s %8s | %8s %8s | %7s %7s %-6s | %7s %7s %-6s | %s\n' \
  run "ours s" "CPU s" MiB "zip s" "CPU s" MiB "7zz s" MiB "ratio" target result \
  "CPU" target result "memory"
# row NAME OURS_S OURS_CPU OURS_KB ZIP_S ZIP_CPU ZIP_KB 7ZZ_S 7ZZ_KB TARGET CPU_TARGET [BASE_S]
# The ratio is ours / zip, or ours / BASE_S when there is no zip figure.
row() {
  local name=$1 ours_s=$2 ours_cpu=$3 ours_kb=$4 zip_s=$5 zip_cpu=$6 zip_kb=$7 z7_s=$8 z7_kb=$9
  local target=${10} cpu_target=${11} base=${12:-} r rc=- cpu_verdict=-
  if [ "$zip_s" = "-" ]; then r=$(ratio "$ours_s" "$base"); else r=$(ratio "$ours_s" "$zip_s"); fi
  if [ "$cpu_target" != "-" ]; then
    rc=$(ratio "$ours_cpu" "$zip_cpu")
    cpu_verdict=$(verdict "$rc" "$cpu_target")
  fi
  printf '%-30s %8s %8s %8s | %8s %8s %8s | %8s %8s | %7s %7s %-6s | %7s %7s %-6s | %s\n' \
    "$name" "$ours_s" "$ours_cpu" "$(mib "$ours_kb")" "$zip_s" "$zip_cpu" "$(mib "$zip_kb")" \
    "$z7_s" "$(mib "$z7_kb")" "$r" "$target" "$(verdict "$r" "$target")" "$rc" "$cpu_target" \
    "$cpu_verdict" "$(awk -v k="$ours_kb" -v t="$memory_target_mib" \
      'BEGIN { print (k / 1024 <= t) ? "met" : "MISSED" }') (<= $memory_target_mib MiB)"
}

for kind in mixed small; do
  tree="$work/$kind"
  echo "== corpus $kind ==" >&2
  "$corpus_script" "$kind" "$tree" >&2
  # Warm the page cache so that neither program pays for the first read.
  tar -cf - -C "$tree" . >/dev/null 2>&1 || true

  mkdir -p "$work/out-$kind"
  write_job "$tree" "$work/out-$kind" "$work/$kind.xml"

  # Every timed run starts with nothing left to write back from the one before.
  fresh_zip() { rm -f "$work/zip-$kind.zip"; sync; }
  fresh_tree() { strip_stamps "$tree"; sync; }
  measure fresh_zip zip -q -r -6 "$work/zip-$kind.zip" "$tree" || echo "zip reported problems with the $kind corpus" >&2
  zip_s=$wall zip_cpu=$cpu zip_kb=$rss
  z7_s=- z7_kb=-
  if [ "$kind" = mixed ] && command -v 7zz >/dev/null; then
    fresh_7z() { rm -f "$work/7z-$kind.zip"; sync; }
    measure fresh_7z 7zz a -bd -tzip -mx5 -mmt2 "$work/7z-$kind.zip" "$tree" ||
      echo "7zz reported problems with the $kind corpus" >&2
    z7_s=$wall z7_kb=$rss
    rm -f "$work/7z-$kind.zip"
  fi
  measure fresh_tree "$program" "$work/$kind.xml" -s || { echo "full $kind backup failed" >&2; cat "$work/stderr.txt" >&2; }
  full_s=$wall full_cpu=$cpu full_kb=$rss
  archive="$work/out-$kind/bench.zip"
  unzip -tqq "$archive" >/dev/null || echo "archive of $kind corpus does not test clean" >&2
  echo "$kind: ours $(stat -c %s "$archive") bytes, zip $(stat -c %s "$work/zip-$kind.zip") bytes" >&2

  if [ "$kind" = mixed ]; then
    row "full, mixed" "$full_s" "$full_cpu" "$full_kb" "$zip_s" "$zip_cpu" "$zip_kb" \
      "$z7_s" "$z7_kb" 0.52 1.00
  else
    row "full, small (50,000 files)" "$full_s" "$full_cpu" "$full_kb" "$zip_s" "$zip_cpu" \
      "$zip_kb" - - 0.60 -
    measure sync "$program" "$work/$kind.xml" -i -s || { echo "incremental $kind backup failed" >&2; cat "$work/stderr.txt" >&2; }
    row "incremental, small, no change" "$wall" "$cpu" "$rss" - - - - - 0.05 - "$full_s"
  fi
  rm -rf "$tree" "$work/out-$kind" "$work/zip-$kind.zip"
done
echo "ratio: wall time ours / zip (incremental: ours / our full run); CPU: user + system," \
  "ours / zip; MiB: peak resident set size; times are the best of $repeat runs, and on a" \
  "machine shared with other work CPU time is the steadier figure" >&2
