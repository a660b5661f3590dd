# wine-env.sh: sourced by everything that starts Wine (wine-run.sh, the
# test command, the main job, the end-to-end harness).
#
# A kernel built without 32-bit support cannot start the 32-bit Wine
# loader, which Debian's wine script always prefers. Wine's 64-bit loader
# then runs 64-bit Windows programs (the win64 build of the same sources);
# the wrappers that wine and the wine tools (wineboot, ...) call go through
# it. 32-bit Windows programs cannot run on such a machine at all.
# SETUPKIT_WINE_BITS tells the callers which programs can run: 32 or 64.
SETUPKIT_WINE_BITS=32
if [[ -x /usr/lib/wine/wine64 ]] && ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  shim="${TMPDIR:-/tmp}/setupkit-wine64-$(id -u)"
  if [[ ! -x $shim/wine-stable ]]; then
    mkdir -p "$shim"
    printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$shim/wine.tmp.$$"
    chmod +x "$shim/wine.tmp.$$"
    cp "$shim/wine.tmp.$$" "$shim/wine.new.$$" && mv -f "$shim/wine.new.$$" "$shim/wine"
    mv -f "$shim/wine.tmp.$$" "$shim/wine-stable"
  fi
  export PATH="$shim:$PATH" WINELOADER=/usr/lib/wine/wine64
  SETUPKIT_WINE_BITS=64
fi
export SETUPKIT_WINE_BITS

