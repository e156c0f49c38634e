#!/usr/bin/env bash
# Sets up, builds and runs every test. Usage: scripts/test.sh [sanitize]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-deps.sh qt6-base-dev qt6-translations-l10n clang libclang-rt-14-dev strace
preset=${1:-default}
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j"$(nproc)"
ctest --preset "$preset" -j"$(nproc)"
