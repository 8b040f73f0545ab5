# Sourced by the Windows scripts: installs what cross-building and Wine need
# for an architecture, and starts Wine in a prefix of its own.
#
#   qel_windows_setup ARCH          ARCH x64 or x86; sets QEL_PRESET and
#                                   QEL_MINGW_TRIPLE
#   qel_wine_can_run ARCH           whether this machine runs Wine for ARCH
#   qel_wine_start BUILD_DIR ARCH   a Wine prefix in BUILD_DIR/wine-prefix;
#                                   sets QEL_WINE, the loader to run with

qel_windows_setup() {
  case "$1" in
    x64)
      QEL_PRESET=windows
      QEL_MINGW_TRIPLE=x86_64-w64-mingw32
      scripts/setup.sh g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 googletest llvm
      ;;
    x86)
      # 32-bit Wine comes from Debian's i386 architecture; where the kernel
      # cannot run it, it is not installed (Debian's wine command would
      # prefer it to the 64-bit loader and fail).
      QEL_PRESET=windows-x86
      QEL_MINGW_TRIPLE=i686-w64-mingw32
      local wine32=()
      qel_kernel_runs_32bit && wine32=(wine32:i386)
      scripts/setup.sh g++-mingw-w64-i686-posix mingw-w64-tools wine "${wine32[@]}" googletest llvm
      ;;
    *)
      echo "unknown architecture '$1': x64 or x86" >&2
      return 2
      ;;
  esac
}

# 32-bit Wine is a 32-bit Linux program: a kernel without IA-32 emulation
# (booted with ia32_emulation=off, as some virtual machines are) cannot run
# it, and then nothing 32-bit can be run here.
qel_wine_can_run() {
  [ "$1" != x86 ] && return 0
  if qel_kernel_runs_32bit && /usr/lib/wine/wine --version >/dev/null 2>&1; then
    return 0
  fi
  echo "SKIPPED: this machine's kernel cannot run 32-bit programs (no IA-32 emulation)," \
    "so 32-bit Wine cannot start; the x86 programs were built but not run" >&2
  return 1
}

# Runs a 93-byte 32-bit Linux program that only exits.
qel_kernel_runs_32bit() {
  local probe
  probe="$(mktemp)"
  printf '\x7fELF\x01\x01\x01\0\0\0\0\0\0\0\0\0\x02\0\x03\0\x01\0\0\0\x54\x80\x04\x08' >"$probe"
  printf '\x34\0\0\0\0\0\0\0\0\0\0\0\x34\0\x20\0\x01\0\0\0\0\0\0\0' >>"$probe"
  printf '\x01\0\0\0\0\0\0\0\0\x80\x04\x08\0\x80\x04\x08\x5d\0\0\0\x5d\0\0\0' >>"$probe"
  printf '\x05\0\0\0\0\x10\0\0\x31\xdb\xb8\x01\0\0\0\xcd\x80' >>"$probe"
  chmod +x "$probe"
  local ok=1
  "$probe" 2>/dev/null && ok=0
  rm -f "$probe"
  return $ok
}

qel_wine_start() {
  # Wine without a display, quiet, without the .NET and HTML engines it would
  # offer to install, and without its debugger: a program that crashes must
  # end with a failure code (after the debugger has run, it may end with 0).
  export WINEPREFIX="$PWD/$1/wine-prefix"
  if [ "$2" = x86 ]; then
    export WINEARCH=win32
  else
    export WINEARCH=win64
  fi
  # The loader of the architecture (Debian's wine command takes the 32-bit
  # one whenever wine32 is installed).
  QEL_WINE=wine
  if [ "$2" = x64 ] && [ -x /usr/lib/wine/wine64 ]; then
    QEL_WINE=/usr/lib/wine/wine64
    export WINELOADER=$QEL_WINE
  fi
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
  unset DISPLAY
  trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
  # A server left running for this prefix (a persistent one never exits, and
  # would keep wineserver -w waiting) is stopped first.
  wineserver -k >/dev/null 2>&1 || true
  "$QEL_WINE" wineboot --init >/dev/null 2>&1 </dev/null
  wineserver -w
  # A persistent server and Wine's background services, started with every
  # standard stream detached: otherwise the services, which outlive the
  # program that started them, inherit the caller's output pipe and CTest
  # waits for ever.
  wineserver -p </dev/null >/dev/null 2>&1
  "$QEL_WINE" cmd /c exit </dev/null >/dev/null 2>&1
}
