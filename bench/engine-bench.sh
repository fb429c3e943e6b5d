#!/usr/bin/env bash
# Backup engine benchmark: full batch backups of the mixed and the small corpus
# and an incremental run with nothing changed, side by side with Info-ZIP
# `zip -q -r -6` on the same trees in the same run. Prints wall time and peak
# resident memory of each.
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

# Runs a command under /usr/bin/time; sets $wall (seconds) and $rss (KiB).
measure_once() {
  local report="$work/time.txt" status=0
  /usr/bin/time -f '%e %M' -o "$report" "$@" >/dev/null 2>"$work/stderr.txt" || status=$?
  read -r wall rss < <(tail -n 1 "$report")
  return $status
}

# measure PREPARE COMMAND...: runs PREPARE (not timed) and then COMMAND,
# $repeat times; sets $wall to the shortest wall time and $rss to the largest
# peak memory. Fails when any run failed.
measure() {
  local prepare=$1 best_wall="" max_rss=0 status=0 i
  shift
  for ((i = 0; i < repeat; i++)); do
    $prepare
    measure_once "$@" || status=1
    if [ -z "$best_wall" ] || awk -v a="$wall" -v b="$best_wall" 'BEGIN { exit !(a < b) }'; then
      best_wall=$wall
    fi
    [ "$rss" -gt "$max_rss" ] && max_rss=$rss
  done
  wall=$best_wall rss=$max_rss
  return $status
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
verdict() { awk -v r="$1" -v t="$2" 'BEGIN { print (r != "-" && r <= t) ? "met" : "MISSED" }'; }

printf '%-28s %10s %10s %10s %10s %7s %7s  %s\n' \
  run "ours s" "ours MiB" "zip s" "zip MiB" ratio target result
row() {
  local name=$1 ours_s=$2 ours_kb=$3 zip_s=$4 zip_kb=$5 target=$6 r
  if [ "$zip_s" = "-" ]; then r=$(ratio "$ours_s" "$7"); else r=$(ratio "$ours_s" "$zip_s"); fi
  printf '%-28s %10s %10s %10s %10s %7s %7s  %s\n' "$name" "$ours_s" \
    "$(awk -v k="$ours_kb" 'BEGIN { printf "%.1f", k / 1024 }')" "$zip_s" \
    "$( [ "$zip_kb" = "-" ] && echo - || awk -v k="$zip_kb" 'BEGIN { printf "%.1f", k / 1024 }')" \
    "$r" "$target" "$(verdict "$r" "$target")"
}

for kind in mixed small; do
  tree="$work/$kind"
  echo "== corpus $kind ==" >&2
  "$corpus_script" "$kind" "$tree" >&2
  # Warm the page cache so that neither program pays for the first read.
  tar -cf - -C "$tree" . >/dev/null 2>&1 || true

  mkdir -p "$work/out-$kind"
  write_job "$tree" "$work/out-$kind" "$work/$kind.xml"

  fresh_zip() { rm -f "$work/zip-$kind.zip"; }
  fresh_tree() { strip_stamps "$tree"; }
  measure fresh_zip zip -q -r -6 "$work/zip-$kind.zip" "$tree" || echo "zip reported problems with the $kind corpus" >&2
  zip_s=$wall zip_kb=$rss
  measure fresh_tree "$program" "$work/$kind.xml" -s || { echo "full $kind backup failed" >&2; cat "$work/stderr.txt" >&2; }
  full_s=$wall full_kb=$rss
  archive="$work/out-$kind/bench.zip"
  unzip -tqq "$archive" >/dev/null || echo "archive of $kind corpus does not test clean" >&2
  echo "$kind: ours $(stat -c %s "$archive") bytes, zip $(stat -c %s "$work/zip-$kind.zip") bytes" >&2

  if [ "$kind" = mixed ]; then
    row "full, mixed" "$full_s" "$full_kb" "$zip_s" "$zip_kb" 0.90
  else
    row "full, small (50,000 files)" "$full_s" "$full_kb" "$zip_s" "$zip_kb" 1.00
    measure true "$program" "$work/$kind.xml" -i -s || { echo "incremental $kind backup failed" >&2; cat "$work/stderr.txt" >&2; }
    row "incremental, small, no change" "$wall" "$rss" - - 0.10 "$full_s"
  fi
  rm -rf "$tree" "$work/out-$kind" "$work/zip-$kind.zip"
done
echo "ratio: ours / zip (incremental: ours / our full run); peak memory is the maximum resident set size" >&2
