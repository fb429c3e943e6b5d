#!/usr/bin/env bash
# Adds the mixed benchmark corpus to one archive with Arkivault's ZIP writer
# (zip_bench) and with Info-ZIP "zip -q -r -6", in the same run, and prints
# wall time, throughput and peak memory of both side by side.
#   bench/zip-bench.sh [BUILD_DIR]     (default build/zip)
# ROUNDS (default 3) and CORPUS (default mixed, or small) can be set in the
# environment.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$repo/build/zip}" 2>/dev/null && pwd || echo "${1:-$repo/build/zip}")
rounds=${ROUNDS:-3}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target zip_bench -j2 >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bash "$repo/../shared/bench/make-corpus.sh" "${CORPUS:-mixed}" "$work/corpus"

# Runs each command `rounds` times, alternating, and keeps the best wall time
# and the largest peak RSS (of the child process) of each.
python3 - "$work" "$rounds" "$build/bench/zip_bench" <<'PY'
import os, subprocess, sys, time
work, rounds, bench = sys.argv[1], int(sys.argv[2]), sys.argv[3]
corpus = os.path.join(work, "corpus")
size = 0
for root, dirs, files in os.walk(corpus):
    for f in files:
        p = os.path.join(root, f)
        if os.path.isfile(p):
            size += os.path.getsize(p)
tools = {
    "arkivault": lambda out: [bench, corpus, out],
    "zip -6": lambda out: ["zip", "-q", "-r", "-6", out, "."],
}
best = {name: None for name in tools}
rss_file = os.path.join(work, "rss")
for r in range(rounds):
    for name, command in tools.items():
        out = os.path.join(work, name.replace(" ", "") + ".zip")
        if os.path.exists(out):
            os.remove(out)
        # GNU time reports the peak RSS of the command itself.
        started = time.perf_counter()
        status = subprocess.call(["/usr/bin/time", "-f", "%M", "-o", rss_file] + command(out),
                                 cwd=corpus, stdout=subprocess.DEVNULL)
        seconds = time.perf_counter() - started
        if status not in (0, 12, 18):
            sys.exit(f"{name} failed with status {status}")
        with open(rss_file) as f:
            rss = int(f.read().split()[-1]) / 1024
        archive = os.path.getsize(out) / 1e6
        old = best[name]
        if old is None or seconds < old[0]:
            best[name] = (seconds, max(rss, old[1]) if old else rss, archive)
        else:
            best[name] = (old[0], max(rss, old[1]), old[2])
print(f"input {size / 1e6:.1f} MB, best of {rounds} rounds")
print(f"{'tool':<10} {'time s':>8} {'MB/s':>8} {'peak MB':>8} {'archive MB':>11}")
for name, (seconds, rss, archive) in best.items():
    print(f"{name:<10} {seconds:8.2f} {size / 1e6 / seconds:8.1f} {rss:8.1f} {archive:11.1f}")
ratio = best["arkivault"][0] / best["zip -6"][0]
print(f"time ratio arkivault / zip: {ratio:.2f} (target <= 0.85)")
PY
unzip -tqq "$work/arkivault.zip" >/dev/null && echo "arkivault archive: unzip -t OK"
