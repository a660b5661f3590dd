#!/bin/bash
# fetch-qemu-i386.sh [--print]: puts a static qemu-i386 (QEMU's user-mode
# emulator for i386 Linux programs) into setupkit's cache folder and prints
# its path. tests/wine/wine-route.sh runs Debian 12's 32-bit Wine through it
# on kernels that refuse 32-bit code.
#
# The emulator comes from Debian 13's qemu-user package, which ships it
# statically linked (Debian 12 has no static build that runs Wine's
# loader). Nothing is installed: the package is fetched with apt-get under a
# private configuration of its own (its own source list, lists and cache, in
# a temporary folder), so the host's apt set-up, package lists and dpkg
# database stay as they are; apt checks the archive's signature and the
# package's hash as always, and dpkg-deb unpacks the one file we need.
#
# --print   only print the cached emulator's path; fail when there is none
#
# Environment:
#   SETUPKIT_CACHE         the cache folder (default: /var/cache/setupkit as
#                          root, else ~/.cache/setupkit)
#   SETUPKIT_QEMU_MIRROR   the Debian mirror (default: the host's own Debian
#                          mirror, else deb.debian.org)
set -euo pipefail

if [[ $(id -u) -eq 0 ]]; then cache_default=/var/cache/setupkit; else cache_default="$HOME/.cache/setupkit"; fi
cache="${SETUPKIT_CACHE:-$cache_default}/qemu-i386"
emulator="$cache/qemu-i386"

if [[ ${1:-} == --print ]]; then
  [[ -x $emulator ]] || { echo "fetch-qemu-i386.sh: no emulator in $cache" >&2; exit 1; }
  echo "$emulator"
  exit 0
fi
[[ $# -eq 0 ]] || { echo "usage: fetch-qemu-i386.sh [--print]" >&2; exit 2; }

if [[ -x $emulator ]] && "$emulator" --version >/dev/null 2>&1; then
  echo "$emulator"
  exit 0
fi

# The host's own mirror for Debian, so that a machine behind a local mirror
# keeps using it.
mirror="${SETUPKIT_QEMU_MIRROR:-}"
if [[ -z $mirror ]]; then
  mirror="$(grep -hsE '^(URIs:|deb ) *' /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list /etc/apt/sources.list 2>/dev/null |
    grep -oE 'https?://[^ ]+/debian/?( |$)' | grep -v security | head -n 1 | tr -d ' ')" || true
  mirror="${mirror:-http://deb.debian.org/debian}"
fi
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
[[ -r $keyring ]] || { echo "fetch-qemu-i386.sh: no Debian archive keyring ($keyring): apt-get install debian-archive-keyring" >&2; exit 1; }

work="$(mktemp -d "${TMPDIR:-/tmp}/setupkit-qemu.XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/etc/apt.conf.d" "$work/etc/preferences.d" "$work/etc/sources.list.d"
echo "deb [arch=amd64 signed-by=$keyring] $mirror trixie main" >"$work/etc/sources.list"
: >"$work/status"
apt_opts=(
  -o "Dir::Etc=$work/etc" -o "Dir::Etc::SourceList=$work/etc/sources.list" -o "Dir::Etc::SourceParts=$work/etc/sources.list.d"
  -o "Dir::Etc::Parts=$work/etc/apt.conf.d" -o "Dir::Etc::PreferencesParts=$work/etc/preferences.d"
  -o "Dir::State::Lists=$work/lists" -o "Dir::State::status=$work/status" -o "Dir::Cache=$work/cache"
  -o "APT::Architecture=amd64" -o "APT::Architectures=amd64" -o "Debug::NoLocking=1"
)
log="$work/apt.log"
fail() {
  tail -n 30 "$log" >&2 2>/dev/null || true
  echo "fetch-qemu-i386.sh: $*" >&2
  exit 1
}
ok=0
for attempt in 1 2 3; do
  if apt-get "${apt_opts[@]}" -q update >>"$log" 2>&1; then ok=1; break; fi
  sleep $((attempt * 5))
done
[[ $ok -eq 1 ]] || fail "cannot read the package list of Debian 13 (trixie) from $mirror"
(cd "$work" && apt-get "${apt_opts[@]}" -q download qemu-user >>"$log" 2>&1) || fail "cannot download qemu-user from $mirror"
deb="$(ls "$work"/qemu-user_*.deb 2>/dev/null | head -n 1)"
[[ -n $deb ]] || fail "apt-get download left no qemu-user package"
dpkg-deb -x "$deb" "$work/root" || fail "cannot unpack $deb"
[[ -x $work/root/usr/bin/qemu-i386 ]] || fail "$(basename "$deb") holds no usr/bin/qemu-i386"
# A dynamically linked emulator would need Debian 13's libraries; only a
# static one runs here.
if file "$work/root/usr/bin/qemu-i386" 2>/dev/null | grep -q 'dynamically linked'; then
  fail "$(basename "$deb") ships a dynamically linked qemu-i386, which cannot run on Debian 12"
fi
"$work/root/usr/bin/qemu-i386" --version >/dev/null 2>&1 || fail "the unpacked qemu-i386 does not run"
mkdir -p "$cache"
cp "$work/root/usr/bin/qemu-i386" "$emulator.new.$$"
chmod 755 "$emulator.new.$$"
mv -f "$emulator.new.$$" "$emulator"
basename "$deb" >"$cache/package"
echo "$emulator"
