#!/bin/bash
# main.sh: the main job. Builds the configurations (native, win32 and
# win64), puts setupkit, the installers and the uninstallers side by side
# in dist/ (those of 64-bit products as Setup-x64.exe and Uninstall-x64.exe),
# packs the example product (examples/hello) into a real setup with it
# (which adds the uninstaller to it), and installs that
# setup under Wine in /Auto mode: the progress window on your display, or
# on a virtual one when there is none. Then prints what was installed: the
# files, the uninstall entry and the shortcuts.
#
# Environment: BUILD_ROOT (default build), DIST (default dist), JOBS
# (default the core count), SKIP_DEPS=1 (do not check and install the
# Debian packages), KEEP_PREFIX=1 (keep the Wine prefix and say where).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
BUILD_ROOT="${BUILD_ROOT:-build}"
mkdir -p "$BUILD_ROOT"
BUILD_ROOT="$(realpath "$BUILD_ROOT")"
DIST="${DIST:-dist}"
JOBS="${JOBS:-$(nproc)}"
[[ ${SKIP_DEPS:-0} == 1 ]] || bash scripts/install-deps.sh
# The 32-bit installer runs under Wine as users get it: on a kernel that
# refuses 32-bit code, the job re-enters itself through the emulated route.
if [[ -z ${SETUPKIT_WINE_ROUTE:-} ]]; then
  SKIP_DEPS=1 exec bash tests/wine/wine-route.sh bash "$root/scripts/main.sh"
fi

banner() { printf '\n==== %s\n' "$*"; }

# shellcheck source=../tests/wine/wine-env.sh
source tests/wine/wine-env.sh
# The 64-bit build gives the installer and uninstaller of 64-bit products;
# where no route runs 32-bit programs, the installation below also falls
# back on it.
presets=(native win32 win64)
for preset in "${presets[@]}"; do
  banner "building $preset"
  log="$BUILD_ROOT/$preset.build.log"
  if ! { cmake --preset "$preset" -B "$BUILD_ROOT/$preset" && cmake --build "$BUILD_ROOT/$preset" -j "$JOBS"; } >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "main.sh: the $preset build failed (log in $log)" >&2
    exit 1
  fi
  echo "$preset: built ($BUILD_ROOT/$preset/bin)"
done

# What a publisher takes away: the tool for this machine, the tool for
# Windows, the installer they both pack into and the uninstaller they add
# to every product (found beside them).
banner "dist: setupkit, the installer and the uninstaller side by side"
mkdir -p "$DIST"
DIST="$(realpath "$DIST")"
cp "$BUILD_ROOT/native/bin/setupkit" "$BUILD_ROOT/win32/bin/setupkit.exe" "$BUILD_ROOT/win32/bin/Setup.exe" \
  "$BUILD_ROOT/win32/bin/Uninstall.exe" "$DIST/"
# Those of 64-bit products (setupkit build --arch x64), named for it.
cp "$BUILD_ROOT/win64/bin/Setup.exe" "$DIST/Setup-x64.exe"
cp "$BUILD_ROOT/win64/bin/Uninstall.exe" "$DIST/Uninstall-x64.exe"
ls -l "$DIST"

banner "setupkit with the example: $DIST/setupkit build examples/hello/hello.xml"
out="$BUILD_ROOT/example"
bash scripts/try-example.sh --stub "$DIST/Setup.exe" --work "$out" "$DIST/setupkit"
setup="$out/HelloSetup.exe"
if [[ $SETUPKIT_WINE_BITS == 64 ]]; then
  echo
  echo "main.sh: ######## Wine runs no 32-bit programs here (see wine-route above), so the 32-bit setup"
  echo "main.sh: ######## cannot be installed; the example is packed once more into the 64-bit build of the"
  echo "main.sh: ######## installer for the run below."
  "$DIST/setupkit" build examples/hello/hello.xml --arch x64 -o "$out/HelloSetup64.exe"
  setup="$out/HelloSetup64.exe"
fi

# Wine gets a prefix of this run's own; a display when there is none.
scratch="$(mktemp -d "${TMPDIR:-/tmp}/setupkit-main.XXXXXX")"
xvfb_pid=""
cleanup() {
  if [[ -n ${WINEPREFIX:-} ]]; then wineserver -k >/dev/null 2>&1 || true; fi
  if [[ -n $xvfb_pid ]]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  [[ ${KEEP_PREFIX:-0} == 1 ]] || rm -rf "$scratch"
}
trap cleanup EXIT
if [[ -z ${DISPLAY:-} ]]; then
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$scratch/display" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do [[ -s $scratch/display ]] && break; sleep 0.1; done
  DISPLAY=":$(head -n 1 "$scratch/display")"
  export DISPLAY
  echo "main.sh: no display; the installer's window goes to Xvfb on $DISPLAY"
fi
export WINEPREFIX="$scratch/wineprefix" WINEDEBUG=-all HOME="$scratch/home"
export WINEDLLOVERRIDES="winemenubuilder.exe=d"
mkdir -p "$HOME"
banner "preparing Wine"
bash tests/wine/wine-run.sh --prepare

banner "installing: $(basename "$setup") /Auto"
rc=0
wine "$setup" /Auto || rc=$?
echo "$(basename "$setup") ended with exit code $rc"
[[ $rc -eq 0 ]] || { echo "main.sh: the installation failed" >&2; exit 1; }

banner "what was installed"
pf="Program Files (x86)"
[[ $SETUPKIT_WINE_BITS == 32 ]] || pf="Program Files"
app="$WINEPREFIX/drive_c/$pf/Hello"
echo "files in C:\\$pf\\Hello:"
(cd "$app" && find . -type f -printf '  %P  %s bytes  %TY-%Tm-%Td %TH:%TM\n' | sort)
echo
echo "the uninstall entry:"
view=/reg:32
[[ $SETUPKIT_WINE_BITS == 32 ]] || view=/reg:64
wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\{94D44A92-0BE3-4701-9588-FAAD61DB7B0B}' \
  "$view" 2>/dev/null | tr -d '\r' | sed -n 's/^    /  /p'
echo
echo "the product's own registry value:"
wine reg query 'HKLM\Software\Hello Software\Hello' "$view" 2>/dev/null | tr -d '\r' | sed -n 's/^    /  /p'
echo
echo "shortcuts:"
find "$WINEPREFIX/drive_c" -name 'Hello README.lnk' -printf '  C:/%P\n'
[[ ${KEEP_PREFIX:-0} != 1 ]] || echo "the Wine prefix stays in $WINEPREFIX"
banner "done"
