#!/bin/bash
# deb_install.sh DEB [SETUPKIT]: setupkit's Debian package as a CI runner
# would use it. Installs DEB with apt-get, builds the example with
# /usr/bin/setupkit alone (the installers and uninstallers it takes from
# /usr/lib/setupkit), a 32-bit and a 64-bit product, checks them with
# setupkit list, and removes the package again, leaving nothing behind.
# With SETUPKIT (another build of the tool, such as build/native's), both
# must build the same setup to the byte. Needs root; exits 77 without it.
set -euo pipefail
deb=$(realpath "${1:?usage: deb_install.sh DEB [SETUPKIT]}")
other=${2:+$(realpath "$2")}
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
fail() { echo "FAIL: $*" >&2; exit 1; }
[[ $(id -u) -eq 0 ]] || { echo "SKIP: installing a package needs root"; exit 77; }
[[ -f $deb ]] || fail "no package at $deb"
if dpkg -s setupkit >/dev/null 2>&1; then fail "a setupkit package is installed already; remove it first"; fi
work=$(mktemp -d "${TMPDIR:-/tmp}/setupkit-deb.XXXXXX")
cleanup() {
  apt-get remove -y -q setupkit >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

export DEBIAN_FRONTEND=noninteractive
apt-get install -y -q "$deb" >"$work/apt.log" 2>&1 || fail "apt-get install: $(tail -n 20 "$work/apt.log")"
for f in /usr/bin/setupkit /usr/lib/setupkit/{Setup,Uninstall,Setup-x64,Uninstall-x64}.exe \
  /usr/share/man/man1/setupkit.1.gz /usr/share/doc/setupkit/copyright /usr/share/doc/setupkit/README.md.gz; do
  [[ -f $f ]] || fail "the package did not install $f"
done
version=$(dpkg-deb -f "$deb" Version)
# Nothing of this tree on the way: the installed tool alone, from a
# folder of its own.
kit() { env -i PATH=/usr/bin:/bin HOME="$work" ${SOURCE_DATE_EPOCH:+SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH} /usr/bin/setupkit "$@"; }
[[ $(kit --version) == "setupkit $version"* ]] || fail "setupkit --version says '$(kit --version)', the package $version"
zcat /usr/share/man/man1/setupkit.1.gz | grep -q '^\.TH SETUPKIT 1 ' || fail "the manual page has no title line"
zcat /usr/share/man/man1/setupkit.1.gz | grep -q '^setupkit build PROJECT.xml' || fail "the manual page lacks the commands"
kit help build | grep -q 'usage: setupkit build' || fail "setupkit help build"

cp -r "$root/examples/hello" "$work/hello"
cd "$work/hello"
kit build hello.xml >"$work/build.log" 2>&1 || fail "setupkit build: $(cat "$work/build.log")"
grep -q 'added the uninstaller /usr/lib/setupkit/Uninstall.exe' "$work/build.log" ||
  fail "the uninstaller did not come from /usr/lib/setupkit: $(cat "$work/build.log")"
kit list HelloSetup.exe >"$work/list.txt" || fail "setupkit list"
grep -q '^Architecture: *x86' "$work/list.txt" || fail "not a 32-bit setup: $(cat "$work/list.txt")"
cmp -s <(kit extract HelloSetup.exe "$work/x" >/dev/null && cat "$work/x/{app}/Uninstall.exe") /usr/lib/setupkit/Uninstall.exe ||
  fail "the setup's uninstaller is not /usr/lib/setupkit/Uninstall.exe"
kit build hello.xml --arch x64 -o Hello64.exe >"$work/build64.log" 2>&1 || fail "build --arch x64: $(cat "$work/build64.log")"
grep -q 'added the uninstaller /usr/lib/setupkit/Uninstall-x64.exe' "$work/build64.log" ||
  fail "the 64-bit uninstaller did not come from /usr/lib/setupkit: $(cat "$work/build64.log")"
kit list Hello64.exe | grep -q '^Architecture: *x64' || fail "not a 64-bit setup"

if [[ -n $other ]]; then
  # Another build of the tool (other flags, another folder) packs the same.
  SOURCE_DATE_EPOCH=1700000000 kit build hello.xml --stub /usr/lib/setupkit/Setup.exe --no-uninstaller -o a.exe >/dev/null 2>&1
  SOURCE_DATE_EPOCH=1700000000 "$other" build hello.xml --stub /usr/lib/setupkit/Setup.exe --no-uninstaller -o b.exe \
    >/dev/null 2>&1 || fail "$other build"
  cmp -s a.exe b.exe || fail "/usr/bin/setupkit and $other build different setups"
fi

cd /
apt-get remove -y -q setupkit >"$work/apt.log" 2>&1 || fail "apt-get remove: $(tail -n 20 "$work/apt.log")"
for f in /usr/bin/setupkit /usr/lib/setupkit /usr/share/doc/setupkit /usr/share/man/man1/setupkit.1.gz; do
  [[ ! -e $f ]] || fail "$f is left after removing the package"
done
echo "PASS: the package installs, builds 32- and 64-bit setups with /usr/bin/setupkit alone, and goes again"
