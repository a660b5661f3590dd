#!/bin/bash
# install-deps.sh [--update] [--no-wine]: installs, from Debian 12's own
# packages, what building and testing setupkit needs. Run as root. Packages
# already installed are not asked for again, so a second run takes a moment.
#
# --update   always run apt-get update first (otherwise only when something
#            is missing)
# --no-wine  leave out Wine and Xvfb (no Windows-side runs)
#
# On a kernel that refuses 32-bit code it also fetches qemu-i386 for Wine
# (scripts/fetch-qemu-i386.sh).
set -euo pipefail

update=0
wine=1
for arg in "$@"; do
  case "$arg" in
    --update) update=1 ;;
    --no-wine) wine=0 ;;
    -h|--help) sed -n '2,11p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "install-deps.sh: unknown option '$arg'" >&2; exit 2 ;;
  esac
done

# Compilers and libraries for the native, sanitizer, fuzz and MinGW builds
# (libssl-dev: the HTTP client's TLS in the native build); then test peers
# written by others: icoutils reads PE resources without our reader,
# osslsigncode and openssl sign and verify built setups, nginx-light (with
# its echo module) and squid serve and proxy the HTTP client's requests,
# apache2-utils writes squid's password file; nsis's makensis builds the
# installers that the benchmarks measure setupkit against; python3-yaml and
# python3-jsonschema check the winget manifests against their schemas;
# dpkg-dev (dpkg-shlibdeps, dpkg-buildflags) and lintian make and check
# setupkit's own Debian package (scripts/package.sh).
build_packages=(cmake ninja-build g++ g++-mingw-w64-i686 g++-mingw-w64-x86-64-posix libz-mingw-w64-dev zlib1g-dev libgtest-dev
                nlohmann-json3-dev libdeflate-dev libssl-dev clang libclang-rt-14-dev icoutils osslsigncode openssl
                nginx-light libnginx-mod-http-echo squid apache2-utils nsis python3-yaml python3-jsonschema
                dpkg-dev lintian)
# The Windows build runs under Wine: 32-bit programs in a 64-bit prefix,
# windows on a virtual display, driven by xdotool and photographed by
# imagemagick; the Chinese texts need a CJK font; Wine's NTLM provider
# needs winbind's ntlm_auth.
wine_packages=(wine wine64 wine32:i386 xvfb xdotool imagemagick fonts-wqy-microhei winbind)

packages=("${build_packages[@]}")
[[ $wine -eq 0 ]] || packages+=("${wine_packages[@]}")

# On a kernel that refuses 32-bit code, Wine runs the 32-bit programs
# through QEMU's user-mode emulator (tests/wine/wine-route.sh), which
# Debian 12 has no static build of: Debian 13's is fetched into a cache
# folder, without installing it.
fetch_emulator() {
  [[ $wine -eq 1 ]] || return 0
  [[ -e /lib/ld-linux.so.2 ]] || return 0
  /lib/ld-linux.so.2 --version >/dev/null 2>&1 && return 0
  local here
  here="$(dirname "${BASH_SOURCE[0]}")"
  if [[ -z "$(bash "$here/fetch-qemu-i386.sh" --print 2>/dev/null)" ]]; then
    echo "install-deps.sh: this kernel refuses 32-bit code; fetching qemu-i386 from Debian 13 (nothing is installed)"
  fi
  local emulator
  if ! emulator="$(bash "$here/fetch-qemu-i386.sh")"; then
    echo "install-deps.sh: failed: no qemu-i386, so the 32-bit Windows programs cannot be tested here" >&2
    exit 1
  fi
  echo "install-deps.sh: 32-bit programs run through $emulator"
}

missing=()
for p in "${packages[@]}"; do
  if [[ "$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null)" != installed ]]; then missing+=("$p"); fi
done
if [[ ${#missing[@]} -eq 0 && $update -eq 0 ]]; then
  echo "install-deps.sh: all ${#packages[@]} packages are installed"
  fetch_emulator
  exit 0
fi

if [[ $(id -u) -ne 0 ]]; then
  echo "install-deps.sh: missing packages: ${missing[*]}; run this as root to install them" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
run_quietly() {
  if ! "$@" >>"$log" 2>&1; then
    echo "install-deps.sh: failed: $*" >&2
    tail -n 40 "$log" >&2
    exit 1
  fi
}

if [[ $wine -eq 1 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "install-deps.sh: adding the i386 architecture (for wine32)"
  run_quietly dpkg --add-architecture i386
  update=1
fi
# A mirror caught in the middle of a sync fails an update now and then;
# the lists that are there may still do.
with_retries() {
  local attempt
  for attempt in 1 2 3; do
    if "$@" >>"$log" 2>&1; then return 0; fi
    [[ $attempt -eq 3 ]] || { echo "install-deps.sh: '$*' failed, trying again"; sleep $((attempt * 10)); }
  done
  return 1
}
if [[ $update -eq 1 || ${#missing[@]} -gt 0 ]]; then
  echo "install-deps.sh: apt-get update"
  if ! with_retries apt-get update -q; then
    tail -n 20 "$log" >&2
    echo "install-deps.sh: apt-get update failed; going on with the package lists there are" >&2
  fi
fi
# A mirror caught mid-sync may serve an i386 security index that does not
# match its release file. apt then drops that list, while the amd64
# security candidates stay: every Multi-Arch library that wine32 needs at
# the same version on both architectures (zlib1g, libssl3, ...) becomes
# uninstallable. Until the mirror is whole again, the security suite is
# held at the priority of an installed package, so apt keeps the versions
# it can match on both architectures and resolves wine32 from the
# release's own suites. Signatures are checked as always; only the choice
# among signed versions changes. The pin goes as soon as the index is back.
pin=/etc/apt/preferences.d/setupkit-i386-security-sync
security_pin() {
  [[ $wine -eq 1 ]] || return 0
  local policy
  policy="$(apt-cache policy 2>/dev/null)"
  if grep -q 'n=bookworm-security,.*b=amd64' <<<"$policy" && ! grep -q 'n=bookworm-security,.*b=i386' <<<"$policy"; then
    if [[ ! -e $pin ]]; then
      echo "install-deps.sh: the mirror serves no usable i386 security index (mirror mid-sync);" \
           "holding bookworm-security at priority 100 until it does ($pin)"
      printf '%s\n' "# Written by setupkit's install-deps.sh: the mirror's i386 security index" \
        "# was missing or failed its size check; removed once it is whole again." \
        "Package: *" "Pin: release n=bookworm-security" "Pin-Priority: 100" >"$pin"
    fi
  elif [[ -e $pin ]] && grep -q 'n=bookworm-security,.*b=i386' <<<"$policy"; then
    echo "install-deps.sh: the mirror's i386 security index is back; removing $pin and upgrading"
    rm -f "$pin"
    with_retries apt-get upgrade -y -q -o Dpkg::Use-Pty=0 || echo "install-deps.sh: apt-get upgrade failed; going on" >&2
  fi
}
security_pin

if [[ ${#missing[@]} -gt 0 ]]; then
  echo "install-deps.sh: installing ${missing[*]}"
  if ! with_retries apt-get install -y -q -o Dpkg::Use-Pty=0 "${missing[@]}"; then
    tail -n 40 "$log" >&2
    if [[ -e $pin ]]; then
      echo "install-deps.sh: the mirror served no i386 security index, and even the release's own suites" \
           "did not resolve; see the apt output above" >&2
    fi
    echo "install-deps.sh: failed: apt-get install ${missing[*]}" >&2
    exit 1
  fi
else
  echo "install-deps.sh: all ${#packages[@]} packages are installed"
fi
fetch_emulator
