#!/bin/bash
# setupkit.exe gives the same setup as itself: the example built in two
# folders, a second apart, with one encoding thread and with two, and with
# SOURCE_DATE_EPOCH from a fresh copy in another time zone. (The native
# tool compresses with another library, so its bytes are its own.)
. "$(dirname "$0")/harness.sh"
wh_init

example="$(dirname "$0")/../../examples/hello"
[[ -f $example/hello.xml ]] || wh_fail "no example at $example"
kit() {  # kit OUT ARGS...: setupkit.exe build, its own uninstaller added
  local out=$1 rc=0
  shift
  SETUPKIT_NATIVE='' wh_setupkit build "$@" -o "$WH_WORK/$out.exe" >"$WH_WORK/$out.log" 2>&1 || rc=$?
  [[ $rc == 0 ]] || wh_fail "setupkit.exe build $out: rc $rc, $(head -c 600 "$WH_WORK/$out.log")"
}
cp -a "$example" "$WH_WORK/a"
mkdir -p "$WH_WORK/deeper/folder"
cp -a "$example" "$WH_WORK/deeper/folder/b"
kit a "$WH_WORK/a/hello.xml" --jobs 1
sleep 1.1
kit b "$WH_WORK/deeper/folder/b/hello.xml" --jobs 2
cmp -s "$WH_WORK/a.exe" "$WH_WORK/b.exe" || wh_fail "two builds of one project differ: $(cmp "$WH_WORK/a.exe" "$WH_WORK/b.exe")"
grep -q 'added the uninstaller' "$WH_WORK/a.log" || wh_fail "setupkit.exe added no uninstaller: $(cat "$WH_WORK/a.log")"

cp -r "$example" "$WH_WORK/c"
SOURCE_DATE_EPOCH=1700000000 TZ=Asia/Tokyo kit c "$WH_WORK/c/hello.xml" --jobs 2
sleep 1.1
SOURCE_DATE_EPOCH=1700000000 TZ=Europe/Lisbon kit d "$WH_WORK/a/hello.xml" --jobs 1
cmp -s "$WH_WORK/c.exe" "$WH_WORK/d.exe" || wh_fail "SOURCE_DATE_EPOCH builds differ: $(cmp "$WH_WORK/c.exe" "$WH_WORK/d.exe")"
cmp -s "$WH_WORK/a.exe" "$WH_WORK/c.exe" && wh_fail "SOURCE_DATE_EPOCH changed nothing"
echo "PASS: setupkit.exe gives the same bytes across folders, times, jobs and zones"
