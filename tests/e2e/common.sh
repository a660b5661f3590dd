# Shared by the end-to-end tests: a scratch folder removed on exit, and
# failure messages that say which step went wrong.
set -eu
SETUPKIT=${SETUPKIT:?path of the setupkit executable}
DATA=${SETUPKIT_TEST_DATA:?path of tests/data}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/setupkit-e2e.XXXXXX")
cleanup() {
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then wineserver -k >/dev/null 2>&1 || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT
# The product picture every setup needs, beside the projects written here.
cp "$DATA/icon.png" "$WORK/icon.png"
fail() { echo "FAIL: $*" >&2; exit 1; }
skip() { echo "SKIP: $*"; exit 77; }
# A GUID-named value of the script, from 'setupkit list --xml'.
script_attr() { sed -n "s/.* $2=\"\([^\"]*\)\".*/\1/p" "$1" | head -n 1; }
