#!/usr/bin/env bash
# Builds the .NET binding (bindings/dotnet) with Debian's Mono and runs its
# tests and the C# example against a preset's build (default) on the rig.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
scripts/setup.sh mono-mcs mono-runtime
out="build/$preset/dotnet"
mkdir -p "$out"
mcs -nologo -warnaserror -target:library -out:"$out/Qel.Net.dll" bindings/dotnet/*.cs
cp bindings/dotnet/Qel.Net.dll.config "$out/"
mcs -nologo -warnaserror -r:"$out/Qel.Net.dll" -out:"$out/BindingTests.exe" \
  bindings/dotnet/tests/BindingTests.cs
mcs -nologo -warnaserror -r:"$out/Qel.Net.dll" -out:"$out/FirstFrame.exe" examples/FirstFrame.cs
# The binding loads libqel.so.1, as the runtime package installs it.
export LD_LIBRARY_PATH="$PWD/build/$preset${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
(cd "$out" && mono BindingTests.exe)
(cd "$out" && QEL_PLATFORM=rig mono FirstFrame.exe)
