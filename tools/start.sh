#!/usr/bin/env bash
# Installs what is missing, builds Arkivault and starts it with the arguments given.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DARKIVAULT_TESTS=OFF >/dev/null
cmake --build build/release
exec build/release/arkivault "$@"
