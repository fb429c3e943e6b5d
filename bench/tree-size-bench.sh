#!/usr/bin/env bash
# Backup runs over large trees of small files: for each size in SIZES (default
# "300000 1000000" files, 1-64 bytes each, 1,000 to a folder) a full run and
# an incremental run with nothing changed. Prints wall and CPU time and peak
# memory of each run, and the memory each further file costs between the two
# sizes (the central directory's and the pending stamps' share per entry).
#
#   bench/tree-size-bench.sh [path/to/arkivault]
#
# Trees and archives go to a temporary directory (under $TMPDIR), removed at
# the end; a million files take about 4 GiB of inodes and a few minutes to make.
set -euo pipefail
source "$(dirname "$0")/bench-common.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/arkivault-trees-XXXXXX")
trap 'rm -rf "$work"' EXIT

make_tree() {
  python3 - "$1" "$2" <<'PY'
import os, sys
root, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    if i % 1000 == 0:
        folder = os.path.join(root, "d%04d" % (i // 1000))
        os.makedirs(folder)
    with open(os.path.join(folder, "f%04d.txt" % (i % 1000)), "wb") as f:
        f.write(b"x" * (1 + i % 64))
PY
}

# Runs the program; prints "wall cpu peak-KiB".
run() {
  /usr/bin/time -f '%e %U %S %M' -o "$work/time.txt" "$program" "$@" >/dev/null 2>"$work/err.txt" ||
    { echo "run failed:" >&2; cat "$work/err.txt" >&2; }
  awk '{ printf "%s %.2f %d\n", $1, $2 + $3, $4 }' "$work/time.txt"
}

printf '%-10s | %8s %8s %8s | %8s %8s %8s %-22s\n' files "full s" "CPU s" MiB "incr s" "CPU s" MiB "(target <= 1.5 s at 300,000)"
previous_files="" previous_kb=""
for files in ${SIZES:-300000 1000000}; do
  tree="$work/tree-$files"
  make_tree "$tree" "$files"
  mkdir -p "$work/out-$files"
  write_job "$tree" "$work/out-$files" "$work/job-$files.xml"
  read -r full_s full_cpu full_kb < <(run "$work/job-$files.xml" -s)
  # The full run's stamps are written back first: an unchanged tree is one
  # whose last run is long done, not one the kernel is still writing out.
  sync
  read -r incr_s incr_cpu incr_kb < <(run "$work/job-$files.xml" -i -s)
  verdict=-
  if [ "$files" = 300000 ]; then
    verdict=$(awk -v s="$incr_s" 'BEGIN { print (s <= 1.5) ? "met" : "MISSED" }')
  fi
  printf '%-10s | %8s %8s %8.1f | %8s %8s %8.1f %-22s\n' "$files" "$full_s" "$full_cpu" \
    "$(awk -v k="$full_kb" 'BEGIN { print k / 1024 }')" "$incr_s" "$incr_cpu" \
    "$(awk -v k="$incr_kb" 'BEGIN { print k / 1024 }')" "$verdict"
  if [ -n "$previous_files" ]; then
    awk -v a="$previous_kb" -v b="$full_kb" -v n="$previous_files" -v m="$files" \
      'BEGIN { printf "full run memory per further file: %.0f bytes (aim <= 120)\n", (b - a) * 1024 / (m - n) }'
  fi
  previous_files=$files previous_kb=$full_kb
  rm -rf "$tree" "$work/out-$files"
done
