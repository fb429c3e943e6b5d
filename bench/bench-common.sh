# Sourced by the backup and restore benchmarks after `set -euo pipefail`, with
# the program's path (or nothing) as $1. Sets $repo, $corpus_script (the one in
# the shared documents beside the repository, or the one CORPUS_SCRIPT names)
# and $program (built in build/bench when $1 is empty), and defines write_job
# and strip_stamps.
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
corpus_script=${CORPUS_SCRIPT:-$repo/../shared/bench/make-corpus.sh}
if [ ! -f "$corpus_script" ]; then
  echo "no corpus script at $corpus_script: check out the shared documents beside the" \
    "repository (../shared) or set CORPUS_SCRIPT" >&2
  exit 1
fi

program=${1:-}
if [ -z "$program" ]; then
  cmake -S "$repo" -B "$repo/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DARKIVAULT_TESTS=OFF >/dev/null
  cmake --build "$repo/build/bench" --target arkivault -j 2 >/dev/null
  program="$repo/build/bench/arkivault"
fi
program=$(realpath "$program")

source "$repo/bench/write-job.sh"

# Removes the archive stamps of every file below $1, so a full run does all
# of its work again.
strip_stamps() {
  python3 - "$1" <<'PY'
import os, sys
for root, dirs, files in os.walk(sys.argv[1]):
    for name in files:
        try:
            os.removexattr(os.path.join(root, name), "user.arkivault.archived", follow_symlinks=False)
        except OSError:
            pass
PY
}
