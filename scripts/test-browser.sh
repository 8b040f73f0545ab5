#!/usr/bin/env bash
# The viewer in a real browser: qelctl view on the rig, loaded by Debian's
# chromium (headless) under puppeteer-core from npm (no browser download),
# checked as a person sees it. The screenshots stay in
# build/<preset>/browser-test/. Where chromium cannot start it says SKIPPED
# and why; QEL_BROWSER_TEST_REQUIRED=1 makes that a failure.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
extra=()
command -v npm > /dev/null || extra+=(npm)
scripts/setup.sh chromium "${extra[@]}"

skip() {
  echo "SKIPPED: the browser test: $1"
  [ "${QEL_BROWSER_TEST_REQUIRED:-0}" = 1 ] && exit 1
  exit 0
}

qelctl="build/$preset/tools/qelctl/qelctl"
if [ ! -x "$qelctl" ]; then
  cmake --preset "$preset" > /dev/null
  cmake --build --preset "$preset" --target qelctl
fi
out="build/$preset/browser-test"
rm -rf "$out" && mkdir -p "$out"

# puppeteer-core, kept beside the builds; it never downloads a browser.
node_dir="build/browser-node"
if [ ! -d "$node_dir/node_modules/puppeteer-core" ]; then
  mkdir -p "$node_dir"
  PUPPETEER_SKIP_DOWNLOAD=1 npm install --prefix "$node_dir" --no-audit --no-fund --silent \
    puppeteer-core@25
fi
# Modules resolve from the script's own directory.
cp tests/browser/viewer_check.mjs "$node_dir/"

chromium="$(command -v chromium)" || skip "chromium is not installed"
if ! why="$(timeout 60 "$chromium" --headless --no-sandbox --disable-gpu --dump-dom about:blank \
            2>&1 > /dev/null)"; then
  skip "chromium cannot start: $(echo "$why" | tail -n 3)"
fi

"$qelctl" --rig view 0 --no-browser > "$out/view.log" 2>&1 &
viewer=$!
trap 'kill -INT "$viewer" 2> /dev/null; wait "$viewer" 2> /dev/null || true' EXIT
url=""
for _ in $(seq 100); do
  url="$(grep -o 'http://[^ ]*' "$out/view.log" || true)"
  [ -n "$url" ] && break
  sleep 0.1
done
[ -n "$url" ] || { cat "$out/view.log"; echo "qelctl view printed no address"; exit 1; }

timeout 180 node "$node_dir/viewer_check.mjs" "$url" "$out" "$chromium"
echo "screenshots in $out"
