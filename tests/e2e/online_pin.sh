#!/bin/sh
# The online setup is pinned to its full setup's Authenticode digest: build
# writes the digest osslsigncode computes, signing the full setup leaves it
# alone, a changed byte does not, 'setupkit pin' re-pins (and refuses what
# is not an online or a full setup), list shows it, --no-pin leaves it out.
. "$(dirname "$0")/common.sh"
for tool in osslsigncode openssl; do
  command -v $tool >/dev/null 2>&1 || skip "$tool is not installed"
done
mkdir -p "$WORK/files"
printf 'hello\n' > "$WORK/files/hello.txt"
head -c 200000 /dev/urandom > "$WORK/files/noise.bin"
cat > "$WORK/project.xml" <<XML
<TSetupScript>
    <BaseInfo IconFile="icon.png" AppTitleENG="Pinned" Version="1.0" GUID="{0E2E0E2E-9999-4BBB-8CCC-DDDDDDDDDDDD}" FullDownloadUrl="https://example.com/Full.exe"/>
    <FileList><Items><TSetupFile DestDir="{app}" SourcePath="files" SourceMask="*"/></Items></FileList>
</TSetupScript>
XML
# Its warnings (no uninstaller in this product) are shown only on failure.
build() {
  "$SETUPKIT" build "$WORK/project.xml" --stub "$DATA/stub_res.exe" --no-uninstaller "$@" 2> "$WORK/build-err.txt" ||
    { cat "$WORK/build-err.txt" >&2; return 1; }
}
# The digest 'setupkit list' shows for a full setup, or the pin of an online one.
digest_of() { "$SETUPKIT" list "$1" | sed -n 's/^SHA-256: *\([0-9a-f]\{64\}\) .*/\1/p'; }
pin_of() { "$SETUPKIT" list "$1" | sed -n 's/^Pinned to: *\(.*\)/\1/p'; }
upper() { tr 'a-f' 'A-F'; }

build -o "$WORK/Full.exe" --online "$WORK/Online.exe" > "$WORK/build.txt" || fail "build"
pin=$(sed -n 's/.*pinned to the full setup.s SHA-256 \([0-9a-f]\{64\}\)$/\1/p' "$WORK/build.txt")
[ -n "$pin" ] || fail "build does not report the pin: $(cat "$WORK/build.txt")"
[ $(($(wc -c < "$WORK/Full.exe") % 8)) = 0 ] || fail "the full setup's size is not a multiple of 8"
[ "$(digest_of "$WORK/Full.exe")" = "$pin" ] || fail "list of the full setup shows another digest than the pin"
pin_of "$WORK/Online.exe" | grep -q "^$pin " || fail "list of the online setup: $(pin_of "$WORK/Online.exe")"

# osslsigncode's own digest of the signed file is the pin, and ours of the
# signed file is unchanged.
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$WORK/key.pem" -out "$WORK/cert.pem" -days 2 \
  -subj "/CN=setupkit test signer" >/dev/null 2>&1 || fail "openssl"
sign() { osslsigncode sign -h sha256 -certs "$WORK/cert.pem" -key "$WORK/key.pem" -in "$1" -out "$2" >/dev/null || fail "signing $1"; }
sign "$WORK/Full.exe" "$WORK/FullSigned.exe"
osslsigncode verify -in "$WORK/FullSigned.exe" -CAfile "$WORK/cert.pem" > "$WORK/verify.txt" 2>&1 || fail "verify: $(cat "$WORK/verify.txt")"
want=$(echo "$pin" | upper)
grep -q "^Calculated message digest *: *$want" "$WORK/verify.txt" || fail "osslsigncode calculates another digest: $(grep digest "$WORK/verify.txt")"
grep -q "^Current message digest *: *$want" "$WORK/verify.txt" || fail "the signature holds another digest: $(grep digest "$WORK/verify.txt")"
[ "$(digest_of "$WORK/FullSigned.exe")" = "$pin" ] || fail "signing changed the digest"

# One byte in the middle of the file data (the noise file fills most of it).
size=$(wc -c < "$WORK/Full.exe")
cp "$WORK/Full.exe" "$WORK/Tampered.exe"
printf 'Z' | dd of="$WORK/Tampered.exe" bs=1 seek=$((size / 2)) conv=notrunc 2>/dev/null
cmp -s "$WORK/Full.exe" "$WORK/Tampered.exe" && printf 'Y' | dd of="$WORK/Tampered.exe" bs=1 seek=$((size / 2)) conv=notrunc 2>/dev/null
tampered=$(digest_of "$WORK/Tampered.exe")
[ -n "$tampered" ] && [ "$tampered" != "$pin" ] || fail "a changed byte of the file data leaves the digest at $tampered"

# A rebuilt full setup: the signed online setup is re-pinned, loses its
# stale signature and says so; pinning again to the same changes nothing.
printf 'more\n' > "$WORK/files/more.txt"
build -o "$WORK/Full2.exe" > /dev/null || fail "rebuild"
pin2=$(digest_of "$WORK/Full2.exe")
[ -n "$pin2" ] && [ "$pin2" != "$pin" ] || fail "the rebuilt full setup has the old digest"
sign "$WORK/Online.exe" "$WORK/OnlineSigned.exe"
"$SETUPKIT" pin "$WORK/OnlineSigned.exe" "$WORK/Full2.exe" > "$WORK/pin.txt" || fail "pin: $(cat "$WORK/pin.txt")"
grep -q "pinned to .*$pin2" "$WORK/pin.txt" || fail "pin does not report the digest: $(cat "$WORK/pin.txt")"
grep -q "sign it again" "$WORK/pin.txt" || fail "pin does not ask for a new signature: $(cat "$WORK/pin.txt")"
pin_of "$WORK/OnlineSigned.exe" | grep -q "^$pin2 " || fail "after pin, list shows $(pin_of "$WORK/OnlineSigned.exe")"
"$SETUPKIT" list "$WORK/OnlineSigned.exe" | grep -q '^Title (ENG): *Pinned$' || fail "pin damaged the online setup's script"
sign "$WORK/OnlineSigned.exe" "$WORK/OnlineResigned.exe"
cp "$WORK/OnlineResigned.exe" "$WORK/Before.exe"
"$SETUPKIT" pin "$WORK/OnlineResigned.exe" "$WORK/Full2.exe" | grep -q "already pinned" || fail "pinning twice"
cmp -s "$WORK/Before.exe" "$WORK/OnlineResigned.exe" || fail "pinning to the same full setup rewrote the signed online setup"
"$SETUPKIT" pin "$WORK/OnlineResigned.exe" "$WORK/FullSigned.exe" > /dev/null || fail "pin to a signed full setup"
pin_of "$WORK/OnlineResigned.exe" | grep -q "^$pin " || fail "a signed full setup pins to its unsigned digest"

# Refusals leave the online setup as it was and no temporary file behind.
cp "$WORK/Online.exe" "$WORK/Before.exe"
refuse() {
  want_text=$1; shift
  if "$SETUPKIT" pin "$@" > "$WORK/out.txt" 2> "$WORK/err.txt"; then fail "pin $* succeeded"; fi
  grep -q "$want_text" "$WORK/err.txt" || fail "pin $*: wanted '$want_text', got: $(cat "$WORK/err.txt")"
}
refuse "Full.exe\" is not an online setup" "$WORK/Full.exe" "$WORK/Full2.exe"
refuse "Online.exe\" is not a full setup: it is an online setup" "$WORK/Online.exe" "$WORK/Online.exe"
refuse "project.xml\" is not a full setup: not a PE image: missing MZ signature" "$WORK/Online.exe" "$WORK/project.xml"
refuse "usage: setupkit pin" "$WORK/Online.exe"
cmp -s "$WORK/Before.exe" "$WORK/Online.exe" || fail "a refused pin changed the online setup"
leftovers=$(find "$WORK" -maxdepth 1 -name '*.tmp' | head -n 3)
[ -z "$leftovers" ] || fail "temporary files left behind: $leftovers"

build -o "$WORK/Full3.exe" --online "$WORK/Online3.exe" --no-pin > "$WORK/build3.txt" || fail "build --no-pin"
grep -q "not pinned" "$WORK/build3.txt" || fail "build --no-pin reports: $(cat "$WORK/build3.txt")"
pin_of "$WORK/Online3.exe" | grep -q "^none" || fail "--no-pin: list shows $(pin_of "$WORK/Online3.exe")"
echo "pin, list, signing and refusals: ok"
