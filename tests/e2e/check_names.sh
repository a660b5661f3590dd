#!/bin/sh
# A product folder as it comes from a Linux machine: names Windows cannot
# hold and bad links are refused by name before anything is written; valid
# names (non-ASCII, a link to a file) build and come back byte for byte.
. "$(dirname "$0")/common.sh"
project() {  # project FILE SOURCEFOLDER
  cat > "$1" <<XML
<TSetupScript>
    <BaseInfo IconFile="icon.png" AppTitleENG="Names" Version="1.0" GUID="{0E2E0E2E-5555-6666-7777-888888888888}"/>
    <FileList>
        <Items>
            <TSetupFile DestDir="{app}" SourcePath="$2" SourceMask="*" IncludeSubPath="True"/>
        </Items>
    </FileList>
</TSetupScript>
XML
}
expect_named() {  # expect_named FILE TEXT...
  f=$1; shift
  for t in "$@"; do grep -qF -- "$t" "$f" || fail "not named: '$t' in: $(cat "$f")"; done
}

B="$WORK/bad"
mkdir -p "$B/CON" "$B/deep"
for n in 'a:b.txt' 'q?.txt' 'back\slash.txt' 'trailing. ' 'Readme.txt' 'README.txt'; do printf '%s\n' "$n" > "$B/$n"; done
printf 'in a device\n' > "$B/CON/x.txt"
ln -s missing.txt "$B/dangling.txt"
ln -s ../.. "$B/deep/up"
project "$WORK/bad.xml" bad

# check names everything at once, links included.
if "$SETUPKIT" check "$WORK/bad.xml" > "$WORK/check.txt" 2>&1; then fail "check passed a bad product"; fi
expect_named "$WORK/check.txt" 'error: bad/a:b.txt: ":"' 'error: bad/q?.txt: "?"' 'error: bad/back\slash.txt: "\"' \
  'error: bad/trailing. : ' 'error: bad/CON: "CON" is a reserved' 'error: bad/Readme.txt: "{app}\Readme.txt" has the same Windows name as "{app}\README.txt" of bad/README.txt' \
  'error: "bad/dangling.txt" is a link to "missing.txt"' 'error: "bad/deep/up" is a link to the folder' \
  'warning: no file item delivers {app}\Uninstall.exe' '8 error(s), 1 warning(s)'

# build refuses the links first, then (links gone) every name; nothing is written.
if "$SETUPKIT" build "$WORK/bad.xml" --stub "$DATA/stub_res.exe" -o "$WORK/out/Setup.exe" 2> "$WORK/err1.txt"; then
  fail "build packed bad links"
fi
expect_named "$WORK/err1.txt" 'dangling.txt" is a link to "missing.txt" that does not exist' 'deep/up" is a link to the folder'
rm "$B/dangling.txt" "$B/deep/up"
if "$SETUPKIT" build "$WORK/bad.xml" --stub "$DATA/stub_res.exe" -o "$WORK/out/Setup.exe" 2> "$WORK/err2.txt"; then
  fail "build packed names Windows cannot hold"
fi
expect_named "$WORK/err2.txt" 'names Windows cannot hold' 'bad/a:b.txt: ' 'bad/q?.txt: ' 'bad/back\slash.txt: ' \
  'bad/trailing. : ' 'bad/CON: ' 'bad/Readme.txt'
[ ! -e "$WORK/out" ] || [ -z "$(ls -A "$WORK/out")" ] || fail "a refused build wrote: $(ls -A "$WORK/out")"

# Valid names, a link to a file: built, and extracted as the link's content.
G="$WORK/good"
mkdir -p "$G/Ελλάδα" "$G/data"
printf 'größe\n' > "$G/größe-中文.txt"
printf 'alpha\n' > "$G/Ελλάδα/Αλφα.txt"
head -c 100000 /dev/urandom > "$G/data/target.bin"
ln -s data/target.bin "$G/linked.bin"
printf 'uninstaller\n' > "$G/Uninstall.exe"
project "$WORK/good.xml" good
"$SETUPKIT" check --strict "$WORK/good.xml" > "$WORK/check2.txt" || fail "check of a good product: $(cat "$WORK/check2.txt")"
"$SETUPKIT" build "$WORK/good.xml" --stub "$DATA/stub_res.exe" -o "$WORK/Setup.exe" || fail "build of valid names"
"$SETUPKIT" extract "$WORK/Setup.exe" "$WORK/x" || fail "extract"
for f in "größe-中文.txt" "Ελλάδα/Αλφα.txt" data/target.bin Uninstall.exe; do
  cmp -s "$G/$f" "$WORK/x/{app}/$f" || fail "content differs: $f"
done
cmp -s "$G/data/target.bin" "$WORK/x/{app}/linked.bin" || fail "the link was not packed with its target's content"
[ ! -L "$WORK/x/{app}/linked.bin" ] || fail "the link came back as a link"
echo "names and links: ok"
