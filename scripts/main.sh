#!/bin/bash
# main.sh: the main job. Builds both configurations (native and win32),
# then puts the example product in examples/hello through setupkit: the
# project read as a script (XML and JSON), its files round-tripped through
# the package codec, a full and an online setup built, listed and extracted.
# The built setup runs under Wine, and the Windows setupkit.exe does all of
# it once more under Wine.
#
# Until the installer is built, setups are packed into the resource test
# stub (tests/data/stub_res.exe): a small Windows program that looks up each
# resource it is named, as the installer will.
#
# Environment: BUILD_ROOT (default build), JOBS (default the core count),
# SKIP_DEPS=1 (do not check and install the Debian packages), STUB (another
# installer to pack into).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
BUILD_ROOT="${BUILD_ROOT:-build}"
mkdir -p "$BUILD_ROOT"
BUILD_ROOT="$(realpath "$BUILD_ROOT")"
JOBS="${JOBS:-$(nproc)}"
[[ ${SKIP_DEPS:-0} == 1 ]] || bash scripts/install-deps.sh

banner() { printf '\n==== %s\n' "$*"; }

for preset in native win32; do
  banner "building $preset"
  log="$BUILD_ROOT/$preset.build.log"
  if ! { cmake --preset "$preset" -B "$BUILD_ROOT/$preset" && cmake --build "$BUILD_ROOT/$preset" -j "$JOBS"; } >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "main.sh: the $preset build failed (log in $log)" >&2
    exit 1
  fi
  echo "$preset: built ($BUILD_ROOT/$preset/bin)"
done

stub="${STUB:-$root/tests/data/stub_res.exe}"
out="$BUILD_ROOT/example"
mkdir -p "$out"

banner "setupkit (native) with the example"
bash scripts/try-example.sh --stub "$stub" --work "$out/native" "$BUILD_ROOT/native/bin/setupkit"

# Wine gets a prefix of this run's own and a display, both ended here.
scratch="$(mktemp -d "${TMPDIR:-/tmp}/setupkit-main.XXXXXX")"
xvfb_pid=""
cleanup() {
  if [[ -n ${WINEPREFIX:-} ]]; then wineserver -k >/dev/null 2>&1 || true; fi
  if [[ -n $xvfb_pid ]]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT
if [[ -z ${DISPLAY:-} ]]; then
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$scratch/display" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do [[ -s $scratch/display ]] && break; sleep 0.1; done
  DISPLAY=":$(head -n 1 "$scratch/display")"
  export DISPLAY
fi
export WINEPREFIX="$scratch/wineprefix" WINEDEBUG=-all
banner "preparing Wine"
bash tests/wine/wine-run.sh --prepare

banner "the setup under Wine: each package resource as the program finds it"
setup="$out/native/HelloSetup.exe"
mapfile -t names < <(wrestool -l --type=10 "$setup" | sed -n "s/^--type=10 --name='\([^']*\)'.*/\1/p")
bash tests/wine/wine-run.sh "$setup" "${names[@]}" | tr -d '\r' | tee "$out/found.txt"
if grep -q ' missing$' "$out/found.txt"; then
  echo "main.sh: the setup does not find all of its resources" >&2
  exit 1
fi

banner "setupkit.exe (win32) under Wine with the example"
bash scripts/try-example.sh --runner "$root/tests/wine/wine-run.sh" --stub "$stub" --work "$out/win32" \
  "$BUILD_ROOT/win32/bin/setupkit.exe"

banner "done"
echo "setups built from examples/hello:"
echo "  $out/native/HelloSetup.exe, $out/native/HelloOnlineSetup.exe (native setupkit)"
echo "  $out/win32/HelloSetup.exe, $out/win32/HelloOnlineSetup.exe (setupkit.exe under Wine)"
