#!/bin/sh
# A built setup keeps the stub's manifest, icon and version information,
# an independent reader (wrestool) lists exactly the package resources the
# script names, the setup still runs under Wine and finds each of them
# with FindResourceA, and it can be signed and verified with osslsigncode.
# Rebuilding from a signed stub drops the stale signature.
. "$(dirname "$0")/common.sh"
for tool in wrestool wine osslsigncode openssl; do
  command -v $tool >/dev/null 2>&1 || skip "$tool is not installed"
done
mkdir -p "$WORK/files"
printf 'hello\n' > "$WORK/files/hello.txt"
head -c 200000 /dev/urandom > "$WORK/files/noise.bin"
cp "$DATA/icon.png" "$WORK/icon.png"
printf 'English license\n' > "$WORK/eng.txt"
printf '简体中文许可\n' > "$WORK/chs.txt"
cat > "$WORK/project.xml" <<XML
<TSetupScript>
    <BaseInfo AppTitleCHS="你好" AppTitleENG="Hello" Version="1.0" GUID="{0E2E0E2E-AAAA-4BBB-8CCC-DDDDDDDDDDDD}" IconFile="icon.png" LicenseFileCHS="chs.txt" LicenseFileENG="eng.txt"/>
    <FileList><Items><TSetupFile DestDir="{app}" SourcePath="files" SourceMask="*"/></Items></FileList>
</TSetupScript>
XML
"$SETUPKIT" build "$WORK/project.xml" --stub "$DATA/stub_res.exe" -o "$WORK/Setup.exe" >/dev/null || fail "build"
"$SETUPKIT" list --xml "$WORK/Setup.exe" > "$WORK/script.xml" || fail "list --xml"

FULL='{54682D66-DEF6-4E5B-8AB5-70FFDF2C0E3A}'
DATA_ID='{24B4534B-E580-4F42-BEAB-A2818FDE92C0}'
ICON=$(script_attr "$WORK/script.xml" IconResID)
CHS=$(script_attr "$WORK/script.xml" LicenseCHSResID)
ENG=$(script_attr "$WORK/script.xml" LicenseENGResID)
[ -n "$ICON" ] && [ -n "$CHS" ] && [ -n "$ENG" ] || fail "resource names missing from the script"

wrestool -l "$WORK/Setup.exe" > "$WORK/res.txt" || fail "wrestool cannot read the setup"
for t in 3 14 16 24; do
  grep -q -- "--type=$t " "$WORK/res.txt" || fail "stub resource of type $t lost: $(cat "$WORK/res.txt")"
done
printf '%s\n' "$FULL" "$DATA_ID" "$ICON" "$CHS" "$ENG" | sort > "$WORK/want.txt"
sed -n "s/^--type=10 --name='\([^']*\)'.*/\1/p" "$WORK/res.txt" | sort > "$WORK/got.txt"
cmp -s "$WORK/want.txt" "$WORK/got.txt" || fail "RCDATA names differ: $(cat "$WORK/got.txt")"
# Each listed size is the size of the bytes wrestool extracts.
for name in $(cat "$WORK/got.txt"); do
  size=$(grep -F -- "--name='$name'" "$WORK/res.txt" | sed -n 's/.*size=\([0-9]*\)\].*/\1/p')
  got=$(wrestool -x --raw --type=10 --name="$name" "$WORK/Setup.exe" | wc -c)
  [ "$size" = "$got" ] || fail "$name: listed $size bytes, extracted $got"
done

# The stub is a 32-bit program: a kernel without 32-bit support cannot run
# it under Wine at all (the Windows build's own tests cover the loader
# there, with the 64-bit build).
run32=1
/lib/ld-linux.so.2 --version >/dev/null 2>&1 || run32=0
if [ $run32 = 1 ]; then
  export WINEPREFIX="$WORK/wineprefix" WINEDEBUG=-all
  wineboot -i >/dev/null 2>&1 || fail "wineboot"
  out=$(wine "$WORK/Setup.exe" $(cat "$WORK/got.txt") | tr -d '\r') || fail "the setup does not run under Wine"
  for name in $(cat "$WORK/got.txt"); do
    echo "$out" | grep -F "$name" | grep -vq missing || fail "FindResourceA does not find $name: $out"
  done
else
  echo "this kernel runs no 32-bit programs: the setup is not started under Wine here"
fi

openssl req -x509 -newkey rsa:2048 -nodes -keyout "$WORK/key.pem" -out "$WORK/cert.pem" -days 2 \
  -subj "/CN=setupkit test signer" >/dev/null 2>&1 || fail "openssl"
osslsigncode sign -certs "$WORK/cert.pem" -key "$WORK/key.pem" -n Hello -in "$WORK/Setup.exe" \
  -out "$WORK/Signed.exe" >/dev/null || fail "signing"
osslsigncode verify -in "$WORK/Signed.exe" -CAfile "$WORK/cert.pem" >/dev/null 2>&1 || fail "verifying the signed setup"
if [ $run32 = 1 ]; then
  wine "$WORK/Signed.exe" "$FULL" | grep -vq missing || fail "the signed setup does not run"
fi

"$SETUPKIT" build "$WORK/project.xml" --stub "$WORK/Signed.exe" -o "$WORK/Again.exe" >/dev/null || fail "build from a signed stub"
if osslsigncode verify -in "$WORK/Again.exe" -CAfile "$WORK/cert.pem" >/dev/null 2>&1; then
  fail "the rebuilt setup still claims the old signature"
fi
osslsigncode sign -certs "$WORK/cert.pem" -key "$WORK/key.pem" -in "$WORK/Again.exe" -out "$WORK/Again-signed.exe" >/dev/null \
  || fail "re-signing"
osslsigncode verify -in "$WORK/Again-signed.exe" -CAfile "$WORK/cert.pem" >/dev/null 2>&1 || fail "verifying the re-signed setup"
[ $run32 = 1 ] && echo "resources, Wine and signing: ok" || echo "resources and signing: ok"
