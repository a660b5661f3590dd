#!/bin/sh
# The same project and files give the same setup to the byte: the example
# built in two folders, a second apart, with one encoding thread and with
# two, from files the file system lists in another order; with
# SOURCE_DATE_EPOCH also from fresh copies (new file times) in other time
# zones. A changed file changes the setup, and only that file's resource.
. "$(dirname "$0")/common.sh"
EXAMPLE="$DATA/../../examples/hello"
[ -f "$EXAMPLE/hello.xml" ] || fail "no example at $EXAMPLE"
build() {  # build PROJECT OUT [ARGS...]: full setup OUT.exe and online setup OUT-online.exe
  p=$1 out=$2
  shift 2
  "$SETUPKIT" build "$p" --stub "$DATA/stub_res.exe" -o "$WORK/$out.exe" --online "$WORK/$out-online.exe" \
    "$@" > "$WORK/$out.log" 2>&1 || fail "build $out: $(cat "$WORK/$out.log")"
}
same() {  # same A B: both setups and both online setups are the same bytes
  for s in "" -online; do
    cmp -s "$WORK/$1$s.exe" "$WORK/$2$s.exe" || fail "$1$s.exe and $2$s.exe differ: $(cmp "$WORK/$1$s.exe" "$WORK/$2$s.exe")"
  done
}
pe_stamp() { od -An -tu4 -j $(($(od -An -tu4 -j 60 -N4 "$1") + 8)) -N4 "$1" | tr -d ' '; }
res_ids() { "$SETUPKIT" list --xml "$1" | grep -o 'ResID="[^"]*"' | sort; }

# One copy keeps the example's file times; the other is made file by file
# in reverse order, deeper, under another name, and given the same times.
cp -a "$EXAMPLE" "$WORK/a"
mkdir -p "$WORK/deep/er"
(cd "$EXAMPLE" && find . -type f | sort -r) | while read -r f; do
  mkdir -p "$WORK/deep/er/b/$(dirname "$f")"
  cp -p "$EXAMPLE/$f" "$WORK/deep/er/b/$f"
done
build "$WORK/a/hello.xml" a --jobs 1
sleep 1.1
build "$WORK/deep/er/b/hello.xml" b --jobs 2
same a b
ids=$(res_ids "$WORK/a.exe")
[ "$(printf '%s\n' "$ids" | grep -c '^ResID="{[0-9A-F]\{8\}-[0-9A-F]\{4\}-8[0-9A-F]\{3\}-[89AB][0-9A-F]\{3\}-[0-9A-F]\{12\}}"$')" -eq 7 ] ||
  fail "resource names are not 7 name-based GUIDs: $ids"
# Without SOURCE_DATE_EPOCH the time stamp is the newest source file's.
touch -d '2031-05-06 07:08:09 UTC' "$WORK/a/files/docs/CHANGES.txt"
build "$WORK/a/hello.xml" newest
[ "$(pe_stamp "$WORK/newest.exe")" = "$(date -d "2031-05-06 07:08:09 UTC" +%s)" ] || fail "time stamp $(pe_stamp "$WORK/newest.exe"), not the newest file's"

# SOURCE_DATE_EPOCH: fresh copies (every file time is now) in two zones.
cp -r "$EXAMPLE" "$WORK/c"
cp -r "$EXAMPLE" "$WORK/d"
touch "$WORK/d/files/hello.ini"
SOURCE_DATE_EPOCH=1700000000 TZ=Asia/Shanghai build "$WORK/c/hello.xml" c --jobs 1
sleep 1.1
SOURCE_DATE_EPOCH=1700000000 TZ=America/New_York build "$WORK/d/hello.xml" d --jobs 2
same c d
[ "$(pe_stamp "$WORK/c.exe")" = 1700000000 ] || fail "time stamp $(pe_stamp "$WORK/c.exe"), not SOURCE_DATE_EPOCH"
"$SETUPKIT" list "$WORK/c.exe" > "$WORK/c.txt"
[ "$(grep -c '2023-11-14 22:13:20$' "$WORK/c.txt")" -eq 3 ] || fail "file times not clamped to the epoch in UTC: $(cat "$WORK/c.txt")"
# A file older than the epoch keeps its own time.
touch -d '2020-01-02 03:04:05 UTC' "$WORK/c/files/hello.ini"
SOURCE_DATE_EPOCH=1700000000 build "$WORK/c/hello.xml" old
"$SETUPKIT" list "$WORK/old.exe" | grep -q 'hello.ini .*2020-01-02 03:04:05$' || fail "an older file lost its time"
rc=0
SOURCE_DATE_EPOCH=yesterday "$SETUPKIT" build "$WORK/c/hello.xml" --stub "$DATA/stub_res.exe" -o "$WORK/x.exe" \
  > "$WORK/x.log" 2>&1 || rc=$?
[ $rc -eq 2 ] && grep -q "SOURCE_DATE_EPOCH 'yesterday'" "$WORK/x.log" || fail "a malformed SOURCE_DATE_EPOCH: rc $rc, $(cat "$WORK/x.log")"

# One changed byte: another setup, and another name for that file alone.
cp -a "$WORK/deep/er/b" "$WORK/e"
printf 'x' >> "$WORK/e/files/hello.ini"
touch -r "$WORK/a/files/hello.ini" "$WORK/e/files/hello.ini"
build "$WORK/e/hello.xml" e
cmp -s "$WORK/b.exe" "$WORK/e.exe" && fail "a changed file gives the same setup"
res_ids "$WORK/b.exe" > "$WORK/b.ids"
res_ids "$WORK/e.exe" > "$WORK/e.ids"
[ "$(comm -13 "$WORK/b.ids" "$WORK/e.ids" | wc -l)" -eq 1 ] ||
  fail "not just the changed file's resource was renamed: $(comm -3 "$WORK/b.ids" "$WORK/e.ids")"

# A name the project gives is kept; the same name for two files is refused.
sed 's|ResID="" SourceMask="hello.ini"|ResID="{11111111-2222-4333-8444-555555555555}" SourceMask="hello.ini"|' \
  "$WORK/e/hello.xml" > "$WORK/e/given.xml"
build "$WORK/e/given.xml" given
res_ids "$WORK/given.exe" | grep -q '{11111111-2222-4333-8444-555555555555}' || fail "the given ResID was not kept"
sed 's|ResID="" SourceMask="\*.txt"|ResID="{11111111-2222-4333-8444-555555555555}" SourceMask="README.txt"|' \
  "$WORK/e/given.xml" > "$WORK/e/twice.xml"
rc=0
"$SETUPKIT" build "$WORK/e/twice.xml" --stub "$DATA/stub_res.exe" -o "$WORK/twice.exe" > "$WORK/twice.log" 2>&1 || rc=$?
[ $rc -ne 0 ] && grep -q 'have the same ResID' "$WORK/twice.log" && [ ! -e "$WORK/twice.exe" ] ||
  fail "two files under one ResID: rc $rc, $(cat "$WORK/twice.log")"

# A project without a product GUID would be another product at each build.
sed 's| GUID="{[^"]*}"||' "$WORK/e/hello.xml" > "$WORK/e/noguid.xml"
rc=0
"$SETUPKIT" build "$WORK/e/noguid.xml" --stub "$DATA/stub_res.exe" -o "$WORK/noguid.exe" > "$WORK/noguid.log" 2>&1 || rc=$?
[ $rc -ne 0 ] && grep -q 'BaseInfo has no GUID' "$WORK/noguid.log" || fail "no GUID: rc $rc, $(cat "$WORK/noguid.log")"
echo "PASS"
