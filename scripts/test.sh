#!/usr/bin/env bash
# Sets everything up, builds and runs the test suite. With a preset name
# (asan, tsan) it runs the suite in that sanitizer build instead.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
scripts/setup.sh
cmake --preset "$preset"
cmake --build --preset "$preset"
# The API reference: any Doxygen warning (an export without documentation)
# fails the run.
if [ "$preset" = default ]; then
  cmake --build --preset "$preset" --target docs
fi
# ThreadSanitizer cannot map its shadow memory under the kernel's widest
# address-space randomisation; run the suite without it there.
run=()
if [ "$preset" = tsan ] && setarch "$(uname -m)" -R true 2>/dev/null; then
  run=(setarch "$(uname -m)" -R)
fi
"${run[@]}" ctest --preset "$preset"
# The Python package, the examples and the .NET binding, against the default
# build.
if [ "$preset" = default ]; then
  scripts/test-python.sh "$preset"
  scripts/test-examples.sh "$preset"
  scripts/test-dotnet.sh "$preset"
fi
