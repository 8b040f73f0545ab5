#!/usr/bin/env bash
# Cross-builds qel.dll, qelctl.exe and the test suite for Windows with
# mingw-w64 and runs the tests under Wine, in a Wine prefix of its own inside
# the build directory.
#
#   scripts/test-windows.sh [x64|x86] [ctest arguments...]
#
# x64 (the default) builds the preset "windows" and runs it under 64-bit Wine;
# x86 builds "windows-x86" and runs it under 32-bit Wine. Then qelctl.exe view
# serves its page to curl.
set -euo pipefail
cd "$(dirname "$0")/.."
arch=x64
case "${1:-}" in x64 | x86) arch="$1"; shift ;; esac
source scripts/wine-env.sh
qel_windows_setup "$arch"

cmake --preset "$QEL_PRESET"
cmake --build --preset "$QEL_PRESET"
qel_wine_can_run "$arch" || exit 0
qel_wine_start "build/$QEL_PRESET" "$arch"
# Programs that Wine ended before they ran were started again (see
# cmake/wine-run.sh); the run says which.
export QEL_WINE_RETRY_LOG="$PWD/build/$QEL_PRESET/wine-retries.log"
rm -f "$QEL_WINE_RETRY_LOG"
status=0
ctest --preset "$QEL_PRESET" "$@" || status=$?
if [ -s "$QEL_WINE_RETRY_LOG" ]; then
  echo "Wine ended these programs before they ran; each was started again:"
  cat "$QEL_WINE_RETRY_LOG"
fi
[ "$status" -eq 0 ] || exit "$status"

# qelctl.exe view on the rig serves its page to a local HTTP client.
scripts/setup.sh curl
log="build/$QEL_PRESET/view-check.log"
rm -f "$log"  # the address is read from a log of this run only
# winepath through the architecture's own loader: Debian's winepath command takes
# the 32-bit one wherever wine32 is installed.
WINEPATH="$("$QEL_WINE" winepath.exe -w "build/$QEL_PRESET" | tr -d '\r')" "$QEL_WINE" \
  "build/$QEL_PRESET/tools/qelctl/qelctl.exe" --rig view 0 --no-browser >"$log" 2>&1 </dev/null &
viewer=$!
url=""
for _ in $(seq 300); do
  url="$(grep -so 'http://[^ ]*' "$log" | tr -d '\r' || true)"
  [ -n "$url" ] && break
  sleep 0.2
done
page="$(curl -sf -m 30 "$url" || true)"
kill "$viewer" 2>/dev/null || true
wait "$viewer" 2>/dev/null || true
if [[ "$page" != *"<title>qelctl view</title>"* ]]; then
  cat "$log"
  echo "qelctl.exe view did not serve its page" >&2
  exit 1
fi
echo "qelctl.exe view served its page at ${url%%\?*}"
