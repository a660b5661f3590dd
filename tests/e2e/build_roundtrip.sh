#!/bin/sh
# build then extract gives every file back byte for byte with its time: a
# tree of many small files, empty files, names with spaces and non-ASCII
# letters, and one large file (E2E_LARGE_MB, default 300).
. "$(dirname "$0")/common.sh"
LARGE_MB=${E2E_LARGE_MB:-300}
P="$WORK/product"
mkdir -p "$P/bin" "$P/data/deep/er" "$P/empty dir"
i=0
while [ $i -lt 400 ]; do
  d="$P/data/d$((i % 9))"
  mkdir -p "$d"
  printf 'file %d\n%s\n' "$i" "$(seq $i $((i + i % 50)))" > "$d/f$i.txt"
  i=$((i + 1))
done
: > "$P/data/empty1.dat"
: > "$P/data/deep/er/empty2.dat"
printf 'spaces\n' > "$P/data/name with spaces.txt"
printf 'letters\n' > "$P/data/größe-中文.txt"
head -c $((LARGE_MB * 1024 * 1024 / 2)) /dev/urandom > "$P/bin/large.bin"
yes 'setupkit large file line' | head -c $((LARGE_MB * 1024 * 1024 / 2)) >> "$P/bin/large.bin"
touch -d '2019-03-04 05:06:07.890' "$P/data/d1/f1.txt"
touch -d '2024-07-01 12:00:00' "$P/data/deep/er/empty2.dat"

cat > "$WORK/project.xml" <<XML
<TSetupScript>
    <BaseInfo IconFile="icon.png" AppTitleENG="Round trip" Version="1.0.0.0" GUID="{0E2E0E2E-1111-2222-3333-444444444444}"/>
    <FileList>
        <Items>
            <TSetupFile DestDir="{app}" SourcePath="product" SourceMask="*" IncludeSubPath="True"/>
        </Items>
    </FileList>
</TSetupScript>
XML
"$SETUPKIT" build "$WORK/project.xml" --stub "$DATA/stub_res.exe" -o "$WORK/Setup.exe" || fail "build"
"$SETUPKIT" list "$WORK/Setup.exe" > "$WORK/list.txt" || fail "list"
grep -q '^Files: 405,' "$WORK/list.txt" || fail "list does not show 405 files: $(grep '^Files' "$WORK/list.txt")"
"$SETUPKIT" extract "$WORK/Setup.exe" "$WORK/out" || fail "extract"

count=0
cd "$P"
find . -type f | while read -r f; do
  cmp -s "$f" "$WORK/out/{app}/$f" || fail "content differs: $f"
  a=$(stat -c %Y "$f"); b=$(stat -c %Y "$WORK/out/{app}/$f")
  [ "$a" = "$b" ] || fail "time differs: $f ($a, $b)"
done
n=$(find "$WORK/out/{app}" -type f | wc -l)
[ "$n" -eq 405 ] || fail "extracted $n files, expected 405"

# A damaged package is reported by the file's name.
python3 - "$WORK/Setup.exe" <<'PY'
import sys
p = sys.argv[1]
b = bytearray(open(p, 'rb').read())
i = b.find(b'\x78\xda')  # the first encoded image of the file data
if i < 0:
    i = len(b) // 2
for k in range(i + 40, i + 60):
    b[k] ^= 0x5A
open(p, 'wb').write(bytes(b))
PY
if "$SETUPKIT" extract "$WORK/Setup.exe" "$WORK/out2" 2> "$WORK/err.txt"; then
  # A flipped byte may also land in the script; then the setup is refused whole.
  fail "a damaged setup was extracted without complaint"
fi
grep -q 'damaged' "$WORK/err.txt" || fail "no damage report: $(cat "$WORK/err.txt")"
echo "round trip of 405 files (one of ${LARGE_MB} MB): ok"
