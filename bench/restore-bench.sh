#!/usr/bin/env bash
# Restore and verify benchmark: a full backup of the mixed corpus, then
#   restore of the whole job   vs  `unzip -q` of the same archive
#   --verify of the job        vs  `unzip -tq`
# and the share of the full run that its after-run verification costs (the
# same work as --verify of the one archive it wrote). Prints wall time and
# peak resident memory of each.
#
#   bench/restore-bench.sh [path/to/arkivault]
#
# Without an argument the program is built in build/bench. The corpus script is
# ../shared/bench/make-corpus.sh beside the repository unless CORPUS_SCRIPT
# names another. Each figure is the best of $REPEAT runs (default 3).
set -euo pipefail
source "$(dirname "$0")/bench-common.sh"
repeat=${REPEAT:-3}

work=$(mktemp -d "${TMPDIR:-/tmp}/arkivault-restore-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

# measure PREPARE COMMAND...: best wall time ($wall, seconds) and largest peak
# memory ($rss, KiB) of $repeat runs, each after PREPARE.
measure() {
  local prepare=$1 best="" max=0 status=0 i w r
  shift
  for ((i = 0; i < repeat; i++)); do
    $prepare
    /usr/bin/time -f '%e %M' -o "$work/time.txt" "$@" >/dev/null 2>"$work/stderr.txt" || status=1
    read -r w r < <(tail -n 1 "$work/time.txt")
    if [ -z "$best" ] || awk -v a="$w" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$w; fi
    [ "$r" -gt "$max" ] && max=$r
  done
  wall=$best rss=$max
  return $status
}

mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
verdict() { awk -v r="$1" -v t="$2" 'BEGIN { print (r != "-" && r <= t) ? "met" : "MISSED" }'; }
row() {
  local r
  r=$(ratio "$2" "$4")
  printf '%-26s %9s %9s %9s %9s %6s %6s  %s\n' "$1" "$2" "$(mib "$3")" "$4" "$(mib "$5")" "$r" "$6" \
    "$(verdict "$r" "$6")"
}

tree="$work/mixed"
"$corpus_script" mixed "$tree" >&2
mkdir -p "$work/out"
write_job "$tree" "$work/out" "$work/job.xml"
archive="$work/out/bench.zip"
"$program" "$work/job.xml" -s || { echo "the full backup failed" >&2; cat "$work/stderr.txt" >&2; exit 1; }

fresh_tree() { strip_stamps "$tree"; }
fresh_restore() { rm -rf "$work/restored"; }
fresh_unzip() { rm -rf "$work/unzipped"; }

printf '%-26s %9s %9s %9s %9s %6s %6s\n' run "ours s" "ours MiB" "unzip s" "unzip MiB" ratio target
measure fresh_unzip unzip -q "$archive" -d "$work/unzipped"
unzip_s=$wall unzip_kb=$rss
measure fresh_restore "$program" "$work/job.xml" --restore "$work/restored" -s ||
  { echo "restore failed" >&2; cat "$work/stderr.txt" >&2; }
row "restore, mixed" "$wall" "$rss" "$unzip_s" "$unzip_kb" 1.00
diff -r "$work/unzipped" "$work/restored" >/dev/null || echo "restored tree differs from unzip's" >&2

measure true unzip -tq "$archive"
test_s=$wall test_kb=$rss
measure true "$program" "$work/job.xml" --verify -s || { echo "verify failed" >&2; cat "$work/stderr.txt" >&2; }
verify_s=$wall
row "verify, mixed" "$wall" "$rss" "$test_s" "$test_kb" 0.60

measure fresh_tree "$program" "$work/job.xml" -s
full_s=$wall
echo "after-run verification: $verify_s s of a $full_s s full run ($(ratio "$verify_s" "$full_s"), target 0.10)"
echo "ratio: ours / unzip; peak memory is the maximum resident set size" >&2
