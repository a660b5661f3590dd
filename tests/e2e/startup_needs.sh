#!/bin/sh
# What the installer cannot start without is an error of build and of
# check, naming the attribute and the file, and build writes nothing: no
# picture, a JPEG as the picture, a missing license file, a license that is
# not text, no title in any language. The same project made whole builds.
. "$(dirname "$0")/common.sh"
mkdir -p "$WORK/files"
printf 'hello\n' > "$WORK/files/readme.txt"
printf 'License terms.\n' > "$WORK/eng.txt"
printf '\377\330\377\340\000\020JFIF\000' > "$WORK/photo.jpg"
printf 'PK\003\004\000\000binary' > "$WORK/license.zip"
project() {  # project NAME BASE-ATTRIBUTES
  cat > "$WORK/$1.xml" <<XML
<TSetupScript>
    <BaseInfo Version="1.0" GUID="{0E2E0E2E-7777-4888-8999-AAAAAAAAAAAA}" $2/>
    <FileList><Items><TSetupFile DestDir="{app}" SourcePath="files" SourceMask="*"/></Items></FileList>
</TSetupScript>
XML
}
refused() {  # refused NAME TEXT: build and check both fail naming TEXT; nothing written
  rc=0
  "$SETUPKIT" build "$WORK/$1.xml" --stub "$DATA/stub_res.exe" -o "$WORK/$1.exe" --no-uninstaller \
    > "$WORK/out.txt" 2>&1 || rc=$?
  [ $rc -ne 0 ] || fail "$1: build accepted it"
  grep -qF -- "$2" "$WORK/out.txt" || fail "$1: build does not say '$2': $(cat "$WORK/out.txt")"
  [ ! -e "$WORK/$1.exe" ] || fail "$1: build wrote a setup"
  rc=0
  "$SETUPKIT" check "$WORK/$1.xml" > "$WORK/out.txt" 2>&1 || rc=$?
  [ $rc -ne 0 ] || fail "$1: check reported no error: $(cat "$WORK/out.txt")"
  grep -qF -- "error: $2" "$WORK/out.txt" || fail "$1: check does not say '$2': $(cat "$WORK/out.txt")"
}
project no_icon 'AppTitleENG="Needs"'
refused no_icon 'IconFile is empty'
project jpeg 'AppTitleENG="Needs" IconFile="photo.jpg"'
refused jpeg 'IconFile "photo.jpg": '
project no_license 'AppTitleENG="Needs" IconFile="icon.png" LicenseFileENG="missing.txt"'
refused no_license 'LicenseFileENG "missing.txt": '
project zip_license 'AppTitleENG="Needs" IconFile="icon.png" LicenseFileCHS="license.zip"'
refused zip_license 'LicenseFileCHS "license.zip": '
project no_title 'IconFile="icon.png"'
refused no_title 'AppTitleCHS, AppTitleCHT and AppTitleENG are all empty'

project whole 'AppTitleENG="Needs" IconFile="icon.png" LicenseFileENG="eng.txt"'
"$SETUPKIT" check "$WORK/whole.xml" > "$WORK/out.txt" 2>&1 || fail "check of the whole project: $(cat "$WORK/out.txt")"
"$SETUPKIT" build "$WORK/whole.xml" --stub "$DATA/stub_res.exe" -o "$WORK/whole.exe" --no-uninstaller > "$WORK/out.txt" 2>&1 ||
  fail "build of the whole project: $(cat "$WORK/out.txt")"
echo "PASS: each start-up need refused by build and check, named, nothing written; the whole project builds"
