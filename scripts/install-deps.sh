#!/bin/bash
# install-deps.sh [--update] [--no-wine]: installs, from Debian 12's own
# packages, what building and testing setupkit needs. Run as root. Packages
# already installed are not asked for again, so a second run takes a moment.
#
# --update   always run apt-get update first (otherwise only when something
#            is missing)
# --no-wine  leave out Wine and Xvfb (no Windows-side runs)
set -euo pipefail

update=0
wine=1
for arg in "$@"; do
  case "$arg" in
    --update) update=1 ;;
    --no-wine) wine=0 ;;
    -h|--help) sed -n '2,9p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "install-deps.sh: unknown option '$arg'" >&2; exit 2 ;;
  esac
done

# Compilers and libraries for the native, sanitizer, fuzz and MinGW builds;
# then test peers written by others: icoutils reads PE resources without
# our reader, osslsigncode and openssl sign and verify built setups.
build_packages=(cmake ninja-build g++ g++-mingw-w64-i686 libz-mingw-w64-dev zlib1g-dev libgtest-dev
                nlohmann-json3-dev clang libclang-rt-14-dev icoutils osslsigncode openssl)
# The Windows build runs under Wine: 32-bit programs in a 64-bit prefix,
# windows on a virtual display.
wine_packages=(wine wine64 wine32:i386 xvfb)

packages=("${build_packages[@]}")
[[ $wine -eq 0 ]] || packages+=("${wine_packages[@]}")

missing=()
for p in "${packages[@]}"; do
  if [[ "$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null)" != installed ]]; then missing+=("$p"); fi
done
if [[ ${#missing[@]} -eq 0 && $update -eq 0 ]]; then
  echo "install-deps.sh: all ${#packages[@]} packages are installed"
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
if [[ ${#missing[@]} -gt 0 ]]; then
  echo "install-deps.sh: installing ${missing[*]}"
  if ! with_retries apt-get install -y -q -o Dpkg::Use-Pty=0 "${missing[@]}"; then
    tail -n 40 "$log" >&2
    echo "install-deps.sh: failed: apt-get install ${missing[*]}" >&2
    exit 1
  fi
else
  echo "install-deps.sh: all ${#packages[@]} packages are installed"
fi
