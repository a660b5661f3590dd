#!/bin/bash
# package.sh: setupkit as a Debian package, dist/setupkit_VERSION_ARCH.deb.
#
#   /usr/bin/setupkit                     the tool, built with Debian's
#                                         hardening flags (dpkg-buildflags)
#   /usr/lib/setupkit/Setup.exe, Uninstall.exe            32-bit products
#   /usr/lib/setupkit/Setup-x64.exe, Uninstall-x64.exe    64-bit products
#   /usr/share/man/man1/setupkit.1.gz     made from the README's setupkit section
#   /usr/share/doc/setupkit/              README, copyright, changelog
#
# The Windows programs come from the win32 and win64 builds (built here
# when missing); the dependencies are those dpkg-shlibdeps finds for the
# tool. lintian checks the package: an error fails the script, warnings
# are shown. The package is reproducible: its times are SOURCE_DATE_EPOCH,
# by default the last commit's.
#
# Environment: BUILD_ROOT (default build), DIST (default dist), JOBS
# (default the core count), SKIP_DEPS=1 (do not install the Debian
# packages), NO_LINTIAN=1 (leave the check out).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
[[ ${SKIP_DEPS:-0} == 1 ]] || bash scripts/install-deps.sh
BUILD_ROOT="${BUILD_ROOT:-build}"
mkdir -p "$BUILD_ROOT"
BUILD_ROOT="$(realpath "$BUILD_ROOT")"
DIST="${DIST:-dist}"
mkdir -p "$DIST"
DIST="$(realpath "$DIST")"
JOBS="${JOBS:-$(nproc)}"
fail() { echo "package.sh: $*" >&2; exit 1; }

if [[ -z ${SOURCE_DATE_EPOCH:-} ]]; then
  SOURCE_DATE_EPOCH="$(git -C "$root" log -1 --format=%ct 2>/dev/null || date +%s)"
fi
export SOURCE_DATE_EPOCH

build() {  # build DIR TARGET [CMAKE-ARGS...]
  local dir=$1 target=$2
  shift 2
  local log="$dir.package.log"
  if ! { cmake -S "$root" -B "$dir" "$@" && cmake --build "$dir" -j "$JOBS" --target "$target"; } >"$log" 2>&1; then
    tail -n 40 "$log"
    fail "cannot build $target in $dir (log in $log)"
  fi
}
# The tool as Debian builds its packages: hardening flags, paths of this
# machine mapped away.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
cflags="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
build "$BUILD_ROOT/deb-native" setupkit -G Ninja -DCMAKE_BUILD_TYPE=None -DSETUPKIT_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_C_FLAGS="$cflags" -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
for preset in win32 win64; do
  build "$BUILD_ROOT/$preset" Setup --preset "$preset"
  build "$BUILD_ROOT/$preset" Uninstall --preset "$preset"
done

tool="$BUILD_ROOT/deb-native/bin/setupkit"
version="$("$tool" --version | sed -n 's/^setupkit \([0-9][0-9.]*\).*/\1/p')"
[[ -n $version ]] || fail "setupkit --version gives no version: $("$tool" --version)"
arch="$(dpkg --print-architecture)"
deb="$DIST/setupkit_${version}_${arch}.deb"

stage="$BUILD_ROOT/deb"
rm -rf "$stage"
pkg="$stage/root"
install -d -m 755 "$pkg/DEBIAN" "$pkg/usr/bin" "$pkg/usr/lib/setupkit" "$pkg/usr/share/man/man1" \
  "$pkg/usr/share/doc/setupkit"
install -m 755 "$tool" "$pkg/usr/bin/setupkit"
# What dh_strip does: no debugging information, no compiler notes.
strip --strip-unneeded --remove-section=.comment --remove-section=.note "$pkg/usr/bin/setupkit"
install -m 644 "$BUILD_ROOT/win32/bin/Setup.exe" "$BUILD_ROOT/win32/bin/Uninstall.exe" "$pkg/usr/lib/setupkit/"
install -m 644 "$BUILD_ROOT/win64/bin/Setup.exe" "$pkg/usr/lib/setupkit/Setup-x64.exe"
install -m 644 "$BUILD_ROOT/win64/bin/Uninstall.exe" "$pkg/usr/lib/setupkit/Uninstall-x64.exe"

date_man="$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y-%m-%d)"
python3 scripts/deb/readme-man.py README.md "$version" "$date_man" >"$stage/setupkit.1"
gzip -9n <"$stage/setupkit.1" >"$pkg/usr/share/man/man1/setupkit.1.gz"
gzip -9n <README.md >"$pkg/usr/share/doc/setupkit/README.md.gz"
install -m 644 scripts/deb/copyright "$pkg/usr/share/doc/setupkit/copyright"
maintainer="The setupkit developers <setupkit@example.com>"
{
  echo "setupkit ($version) unstable; urgency=medium"
  echo
  echo "  * Release $version. The README says what it does."
  echo
  echo " -- $maintainer  $(date -u -R -d "@$SOURCE_DATE_EPOCH")"
} | gzip -9n >"$pkg/usr/share/doc/setupkit/changelog.gz"

# dpkg-shlibdeps reads the package's name from a control file of a source
# package; a stand-in for one is enough.
mkdir -p "$stage/src/debian"
printf 'Source: setupkit\n\nPackage: setupkit\nArchitecture: any\n' >"$stage/src/debian/control"
depends="$(cd "$stage/src" && dpkg-shlibdeps -O "$pkg/usr/bin/setupkit" | sed -n 's/^shlibs:Depends=//p')"
[[ -n $depends ]] || fail "dpkg-shlibdeps found no dependencies of $pkg/usr/bin/setupkit"
size="$(du -sk --exclude=DEBIAN "$pkg" | cut -f1)"
cat >"$pkg/DEBIAN/control" <<CONTROL
Package: setupkit
Version: $version
Architecture: $arch
Maintainer: $maintainer
Installed-Size: $size
Depends: $depends
Section: devel
Priority: optional
Description: build setups for Windows programs from a folder of files
 setupkit packs a Windows product (its files, registry values, shortcuts,
 license texts and picture) into one Setup.exe that installs it, registers
 it with Windows and can remove it again; also an online setup that
 downloads the full one, checked against its digest.
 .
 The package carries the tool and the 32-bit and 64-bit installers and
 uninstallers it packs products into, so setups can be built on a Linux
 machine, for example a CI runner: "setupkit init FOLDER" writes a project
 for a folder of files and "setupkit build project.xml" builds its setup,
 the same bytes from the same sources.
CONTROL
(cd "$pkg" && find usr -type f | LC_ALL=C sort | xargs md5sum) >"$pkg/DEBIAN/md5sums"
chmod 644 "$pkg/DEBIAN/control" "$pkg/DEBIAN/md5sums"
find "$pkg" -type d -exec chmod 755 {} +
find "$pkg" -newermt "@$SOURCE_DATE_EPOCH" -exec touch --no-dereference -d "@$SOURCE_DATE_EPOCH" {} +

rm -f "$DIST"/setupkit_*.deb
dpkg-deb --root-owner-group -Zxz --build "$pkg" "$deb" >/dev/null
echo "package.sh: $deb ($(stat -c %s "$deb") bytes)"
dpkg-deb --info "$deb" | sed -n '/Package:/,$p'

if [[ ${NO_LINTIAN:-0} != 1 ]]; then
  command -v lintian >/dev/null || fail "lintian is not installed (scripts/install-deps.sh installs it)"
  rc=0
  lintian --fail-on error --display-info "$deb" >"$stage/lintian.txt" 2>&1 || rc=$?
  echo "package.sh: lintian: $(grep -c '^E:' "$stage/lintian.txt") error(s), $(grep -c '^W:' "$stage/lintian.txt") warning(s)"
  cat "$stage/lintian.txt"
  [[ $rc == 0 ]] || fail "lintian reports errors on $deb"
fi
