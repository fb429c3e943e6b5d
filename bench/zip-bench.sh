#!/usr/bin/env bash
# Adds the mixed benchmark corpus to one archive with Arkivault's ZIP writer
# (zip_bench) and with Info-ZIP "zip -q -r -6", in the same run, and prints
# wall time, throughput and peak memory of both side by side; then the time
# of reopening that archive for adding and closing it unchanged (what an
# incremental run that finds nothing new costs the writer).
#   bench/zip-bench.sh [BUILD_DIR]     (default build/zip)
# ROUNDS (default 3) and CORPUS (default mixed, or small) can be set in the
# environment. BASELINE=<git revision> also builds the writer of that
# revision (with today's bench program) and prints it as a third row, for
# before/after figures.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$repo/build/zip}" 2>/dev/null && pwd || echo "${1:-$repo/build/zip}")
rounds=${ROUNDS:-3}
# The corpus script of the shared documents beside the repository, or the one
# CORPUS_SCRIPT names.
corpus_script=${CORPUS_SCRIPT:-$repo/../shared/bench/make-corpus.sh}
if [ ! -f "$corpus_script" ]; then
  echo "no corpus script at $corpus_script: check out the shared documents beside the" \
    "repository (../shared) or set CORPUS_SCRIPT" >&2
  exit 1
fi
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target zip_bench -j2 >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
baseline_bench=""
if [ -n "${BASELINE:-}" ]; then
  mkdir "$work/baseline"
  git -C "$repo" archive "$BASELINE" | tar -x -C "$work/baseline"
  cp "$repo/bench/ZipBench.cpp" "$work/baseline/bench/ZipBench.cpp"
  cmake -S "$work/baseline" -B "$work/baseline/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DARKIVAULT_TESTS=OFF >/dev/null
  cmake --build "$work/baseline/build" --target zip_bench -j2 >/dev/null
  baseline_bench="$work/baseline/build/bench/zip_bench"
fi
bash "$corpus_script" "${CORPUS:-mixed}" "$work/corpus"

# Runs each command `rounds` times, alternating, and keeps the best wall time
# and the largest peak RSS (of the child process) of each.
python3 - "$work" "$rounds" "$build/bench/zip_bench" "$baseline_bench" "${BASELINE:-}" <<'PY'
import os, subprocess, sys, time
work, rounds, bench, baseline, revision = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5]
corpus = os.path.join(work, "corpus")
size = 0
for root, dirs, files in os.walk(corpus):
    for f in files:
        p = os.path.join(root, f)
        if os.path.isfile(p):
            size += os.path.getsize(p)
tools = {"arkivault": lambda out, *mode: [bench, corpus, out, *mode]}
if baseline:
    tools["ark@" + revision[:7]] = lambda out, *mode: [baseline, corpus, out, *mode]
tools["zip -6"] = lambda out: ["zip", "-q", "-r", "-6", out, "."]
rss_file = os.path.join(work, "rss")

def measure(command):
    started = time.perf_counter()
    status = subprocess.call(["/usr/bin/time", "-f", "%M", "-o", rss_file] + command,
                             cwd=corpus, stdout=subprocess.DEVNULL)
    seconds = time.perf_counter() - started
    if status not in (0, 12, 18):
        sys.exit(f"{command[0]} failed with status {status}")
    with open(rss_file) as f:
        return seconds, int(f.read().split()[-1]) / 1024

best = {name: None for name in tools}
reopen = {name: None for name in tools if name != "zip -6"}
for r in range(rounds):
    for name, command in tools.items():
        out = os.path.join(work, name.replace(" ", "").replace("@", "-") + ".zip")
        if os.path.exists(out):
            os.remove(out)
        seconds, rss = measure(command(out))
        archive = os.path.getsize(out) / 1e6
        old = best[name]
        best[name] = (min(seconds, old[0]) if old else seconds, max(rss, old[1]) if old else rss,
                      archive)
        if name in reopen:
            seconds, rss = measure(command(out, "reopen"))
            old = reopen[name]
            reopen[name] = (min(seconds, old[0]) if old else seconds, max(rss, old[1]) if old else rss)
print(f"input {size / 1e6:.1f} MB, best of {rounds} rounds")
print(f"{'full run':<12} {'time s':>8} {'MB/s':>8} {'peak MB':>8} {'archive MB':>11}")
for name, (seconds, rss, archive) in best.items():
    print(f"{name:<12} {seconds:8.2f} {size / 1e6 / seconds:8.1f} {rss:8.1f} {archive:11.1f}")
print(f"{'reopen':<12} {'time ms':>8} {'':>8} {'peak MB':>8}")
for name, (seconds, rss) in reopen.items():
    print(f"{name:<12} {seconds * 1000:8.1f} {'':>8} {rss:8.1f}")
ratio = best["arkivault"][0] / best["zip -6"][0]
print(f"time ratio arkivault / zip: {ratio:.2f} (target <= 0.85)")
if baseline:
    base = "ark@" + revision[:7]
    print(f"full run now / before: {best['arkivault'][0] / best[base][0]:.3f} (target <= 1.05)")
    print(f"reopen now / before: {reopen['arkivault'][0] / reopen[base][0]:.3f} (target <= 1.10)")
PY
unzip -tqq "$work/arkivault.zip" >/dev/null && echo "arkivault archive: unzip -t OK"
