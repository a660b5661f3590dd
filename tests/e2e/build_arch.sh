#!/bin/sh
# --arch: a 64-bit product goes into the 64-bit installer beside setupkit
# with the 64-bit uninstaller as {app}\Uninstall.exe, list says which, and
# an installer or uninstaller of the other architecture is refused with
# its name before anything is written.
. "$(dirname "$0")/common.sh"
# setupkit as a publisher has it: the installers and uninstallers beside it.
mkdir -p "$WORK/dist" "$WORK/product"
cp "$SETUPKIT" "$WORK/dist/setupkit"
cp "$DATA/stub_res.exe" "$WORK/dist/Setup.exe"
cp "$DATA/stub_plain.exe" "$WORK/dist/Uninstall.exe"
cp "$DATA/stub_res64.exe" "$WORK/dist/Setup-x64.exe"
cp "$DATA/stub_res64.exe" "$WORK/dist/Uninstall-x64.exe"
printf 'hello\n' > "$WORK/product/readme.txt"
cat > "$WORK/project.xml" <<XML
<TSetupScript>
    <BaseInfo IconFile="icon.png" AppTitleENG="Arch" Version="1.0.0.0" GUID="{0E2E0E2E-1111-2222-3333-555555555555}"/>
    <FileList>
        <Items>
            <TSetupFile DestDir="{app}" SourcePath="product" SourceMask="*" IncludeSubPath="False"/>
        </Items>
    </FileList>
</TSetupScript>
XML
sk="$WORK/dist/setupkit"

"$sk" build "$WORK/project.xml" -o "$WORK/x86.exe" > "$WORK/out.txt" || fail "build for x86: $(cat "$WORK/out.txt")"
"$sk" list "$WORK/x86.exe" > "$WORK/list.txt" || fail "list x86"
grep -q '^Architecture: *x86 ' "$WORK/list.txt" || fail "list does not say x86: $(head -n 3 "$WORK/list.txt")"
grep -q 'dist/Uninstall.exe as {app}' "$WORK/out.txt" ||
  fail "the 32-bit uninstaller was not added: $(cat "$WORK/out.txt")"

"$sk" build "$WORK/project.xml" --arch x64 -o "$WORK/x64.exe" > "$WORK/out.txt" || fail "build for x64: $(cat "$WORK/out.txt")"
grep -q 'Uninstall-x64.exe as {app}\\Uninstall.exe' "$WORK/out.txt" || fail "the 64-bit uninstaller was not added: $(cat "$WORK/out.txt")"
"$sk" list "$WORK/x64.exe" > "$WORK/list.txt" || fail "list x64"
grep -q '^Architecture: *x64 ' "$WORK/list.txt" || fail "list does not say x64: $(head -n 3 "$WORK/list.txt")"
grep -q '{app}\\Uninstall.exe ' "$WORK/list.txt" || fail "the 64-bit uninstaller is not {app}\\Uninstall.exe: $(cat "$WORK/list.txt")"
"$sk" extract "$WORK/x64.exe" "$WORK/out64" > /dev/null || fail "extract x64"
cmp -s "$DATA/stub_res64.exe" "$WORK/out64/{app}/Uninstall.exe" || fail "the extracted uninstaller is not the 64-bit one"

# The other architecture's installer or uninstaller: refused, naming it.
rc=0
"$sk" build "$WORK/project.xml" --arch x64 --stub "$DATA/stub_res.exe" -o "$WORK/bad.exe" 2> "$WORK/err.txt" || rc=$?
[ $rc -ne 0 ] || fail "a 32-bit installer was taken for --arch x64"
grep -q 'stub_res.exe" is a 32-bit program, but the product is 64-bit (--arch x64): use Setup-x64.exe' "$WORK/err.txt" ||
  fail "the refusal does not say what is wrong: $(cat "$WORK/err.txt")"
[ ! -e "$WORK/bad.exe" ] || fail "a refused build wrote its output"
cp "$DATA/stub_res.exe" "$WORK/dist/Uninstall-x64.exe"
rc=0
"$sk" build "$WORK/project.xml" --arch x64 -o "$WORK/bad.exe" 2> "$WORK/err.txt" || rc=$?
[ $rc -ne 0 ] || fail "a 32-bit uninstaller was added to a 64-bit product"
grep -q 'Uninstall-x64.exe" is a 32-bit program' "$WORK/err.txt" || fail "the refusal does not name the uninstaller: $(cat "$WORK/err.txt")"
rc=0
"$sk" build "$WORK/project.xml" --arch arm64 -o "$WORK/bad.exe" 2> "$WORK/err.txt" || rc=$?
[ $rc -eq 2 ] && grep -q "takes x86 or x64, not 'arm64'" "$WORK/err.txt" || fail "--arch arm64: exit $rc, $(cat "$WORK/err.txt")"
echo "PASS: x86 and x64 setups from the installers beside setupkit, the other architecture refused"
