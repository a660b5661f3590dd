#!/bin/sh
# A large product is built in bounded memory: 1.5 GB of compressible files
# (48 of 32 MiB) with two encoding threads must peak under 128 MB plus two
# files per thread. A 2.5 GB product is refused before any output exists,
# with its total in the message.
. "$(dirname "$0")/common.sh"
MIB=1048576
FILE_MB=32
JOBS=2
BOUND_KB=$(((128 + 2 * JOBS * FILE_MB) * 1024))
P="$WORK/product"
mkdir -p "$P"
# Half the files are text (copies of one, so they are made quickly), half
# sparse runs of zeros that take no disk.
yes 'setupkit bounded memory line with some words 0123456789' | head -c $((FILE_MB * MIB)) > "$P/t0.dat"
i=1
while [ $i -lt 24 ]; do cp "$P/t0.dat" "$P/t$i.dat"; i=$((i + 1)); done
i=0
while [ $i -lt 24 ]; do truncate -s $((FILE_MB * MIB)) "$P/z$i.dat"; i=$((i + 1)); done
project() {
  cat > "$WORK/$1.xml" <<XML
<TSetupScript>
    <BaseInfo IconFile="icon.png" AppTitleENG="Large" Version="1.0" GUID="{0E2E0E2E-9999-4AAA-8BBB-CCCCCCCCCCCC}"/>
    <FileList><Items><TSetupFile DestDir="{app}" SourcePath="$2" SourceMask="*" IncludeSubPath="True"/></Items></FileList>
</TSetupScript>
XML
}
project large product
# setupkit's own peak resident size: the only child of this Python, whose
# children's maxrss is therefore setupkit's.
peak_kb() {
  python3 -c '
import resource, subprocess, sys
rc = subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL).returncode
print(rc, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)' "$@"
}
set -- $(peak_kb "$SETUPKIT" build "$WORK/large.xml" --stub "$DATA/stub_res.exe" -o "$WORK/out/Setup.exe" --jobs $JOBS)
[ "$1" = 0 ] || fail "build of the 1.5 GB product exited with $1"
# AddressSanitizer holds freed memory back and adds its own, so the bound
# holds for a plain build only.
if ldd "$SETUPKIT" 2>/dev/null | grep -q libasan; then
  echo "setupkit runs under AddressSanitizer: peak $2 KB not held to the bound"
else
  [ "$2" -lt "$BOUND_KB" ] || fail "peak memory $2 KB, more than the bound of $BOUND_KB KB"
fi
"$SETUPKIT" list "$WORK/out/Setup.exe" > "$WORK/list.txt" || fail "list"
grep -q '^Files: 48,' "$WORK/list.txt" || fail "list does not show 48 files: $(grep '^Files' "$WORK/list.txt")"
[ "$(ls "$WORK/out")" = "Setup.exe" ] || fail "the output folder holds more than the setup: $(ls "$WORK/out")"
echo "1.5 GB product built with a peak of $2 KB (bound $BOUND_KB KB)"
rm -rf "$P" "$WORK/out"

# 2.5 GB of sparse files (each below the 2 GB a file may have).
mkdir -p "$WORK/huge"
truncate -s $((1280 * MIB)) "$WORK/huge/a.bin" "$WORK/huge/b.bin"
project huge huge
if "$SETUPKIT" build "$WORK/huge.xml" --stub "$DATA/stub_res.exe" -o "$WORK/out/Setup.exe" 2> "$WORK/err.txt"; then
  fail "a 2.5 GB product was built"
fi
grep -q "$((2560 * MIB)) bytes" "$WORK/err.txt" || fail "the refusal does not name the total: $(cat "$WORK/err.txt")"
grep -q '2 GB' "$WORK/err.txt" || fail "the refusal does not name the limit: $(cat "$WORK/err.txt")"
[ ! -e "$WORK/out" ] || fail "something was written before the refusal: $(ls -a "$WORK/out")"
echo "2.5 GB product refused: $(cat "$WORK/err.txt")"
