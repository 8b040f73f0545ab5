#!/usr/bin/env bash
# How CTest runs the Windows programs: `wine-run.sh LOADER PROGRAM ARGS...`
# runs PROGRAM under the Wine loader LOADER.
#
# Under load, Wine now and then ends a program before any of it has run: a
# failure code, no output at all, within a few milliseconds, where the
# quickest of these programs takes 80 ms. Such a start is made again, at most
# twice, and written to the file that QEL_WINE_RETRY_LOG names, for the run to
# report. Anything the program itself did, its output and its failures
# included, is passed on as it was.
#
# Wine's heap runs with its checks on (it validates blocks and fills freed
# ones) and a program whose run made it warn fails: a free of something that
# is not a block, a block written past its end. The sanitizers never see the
# Windows build; this is its check of the heap.
set -u
export WINEDEBUG="${WINEDEBUG:+$WINEDEBUG,}warn+heap"
loader="$1"
shift
output="$(mktemp)"
trap 'rm -f "$output"' EXIT
for attempt in 1 2 3; do
  started=${EPOCHREALTIME/./}
  "$loader" "$@" >"$output" 2>&1
  status=$?
  elapsed_ms=$(((${EPOCHREALTIME/./} - started) / 1000))
  if [ "$status" -eq 0 ] || [ -s "$output" ] || [ "$elapsed_ms" -ge 40 ] || [ "$attempt" -eq 3 ]; then
    cat "$output"
    if [ "$status" -eq 0 ] && grep -q ':warn:heap:' "$output"; then
      echo "wine-run.sh: Wine's heap check warned above: the program misused the heap" >&2
      exit 1
    fi
    exit "$status"
  fi
  if [ -n "${QEL_WINE_RETRY_LOG:-}" ]; then
    echo "$(basename "$1") ${*:2}: Wine ended it with $status after $elapsed_ms ms, before it ran; started again" \
      >>"$QEL_WINE_RETRY_LOG"
  fi
done
