# wine-env.sh: sourced by everything that starts Wine (wine-run.sh, the
# test command, the main job, the end-to-end harness, the benchmarks).
#
# SETUPKIT_WINE_BITS tells the callers which Windows programs Wine runs
# here: 32 (the win32 build, the one users receive, in a 64-bit prefix as on
# 64-bit Windows) or 64 (only the win64 build).
#
# 32-bit programs need the 32-bit Wine loader, an i386 Linux program. It
# runs where the kernel runs 32-bit code, or inside the emulated route of
# wine-route.sh, which the test command and the main job enter on kernels
# that refuse 32-bit code. Anywhere else Debian's wine script would still
# pick that loader and fail, so the wrappers that wine and the wine tools
# (wineboot, ...) call go through Wine's 64-bit loader instead. A caller may
# also ask for the 64-bit loader with SETUPKIT_WINE_BITS=64 (the short
# win64 stage of the tests, the benchmarks): the 64-bit build then starts
# natively even inside the emulated route.
if [[ ${SETUPKIT_WINE_BITS:-} != 64 ]] && /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  SETUPKIT_WINE_BITS=32
elif [[ -x /usr/lib/wine/wine64 ]]; then
  shim="${TMPDIR:-/tmp}/setupkit-wine64-$(id -u)"
  if [[ ! -x $shim/wine-stable ]]; then
    mkdir -p "$shim"
    printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$shim/wine.tmp.$$"
    chmod +x "$shim/wine.tmp.$$"
    cp "$shim/wine.tmp.$$" "$shim/wine.new.$$" && mv -f "$shim/wine.new.$$" "$shim/wine"
    mv -f "$shim/wine.tmp.$$" "$shim/wine-stable"
  fi
  [[ :$PATH: == *":$shim:"* ]] || export PATH="$shim:$PATH"
  export WINELOADER=/usr/lib/wine/wine64
  SETUPKIT_WINE_BITS=64
else
  SETUPKIT_WINE_BITS=32
fi
export SETUPKIT_WINE_BITS

# wine_program_name PID: the file name of the Windows program that a Unix
# process runs, when it is a Wine process; fails for any other process.
# Natively Wine shows the program's Windows path as the command line; under
# the emulated route the process is the emulator, with the loader and the
# program's path after it ("qemu-i386 /usr/lib/wine/wine C:\x\a.exe ...").
wine_program_name() {
  local exe arg
  exe=$(readlink "/proc/$1/exe" 2>/dev/null) || return 1
  case ${exe##*/} in wine | wine64 | wine-preloader | wine64-preloader | qemu-i386) ;; *) return 1 ;; esac
  while IFS= read -r -d '' arg; do
    case ${arg##*/} in qemu-i386 | wine | wine64 | wine-preloader | wine64-preloader) continue ;; esac
    arg=${arg##*[\\/]}
    printf '%s\n' "$arg"
    return 0
  done <"/proc/$1/cmdline" 2>/dev/null
  return 1
}
