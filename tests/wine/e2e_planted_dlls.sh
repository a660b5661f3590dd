#!/bin/bash
# Nobody else's code runs with the installer's rights. A copy of planted.dll
# lies under the name of every DLL that Setup.exe and Uninstall.exe load
# (as Wine reports them), beside Setup.exe in the folder it was saved to,
# beside the installed Uninstall.exe, and in the temporary folder where the
# uninstaller's cleanup copy used to live; Wine is told to prefer such
# native copies to its own. A taskkill.exe (a probe) lies in the same
# folders. Installing (/Silent and /Auto) and removing (/SILENT) load none
# of the DLLs and start no taskkill.exe, while a program without the
# protection, started from the same folder, loads every one of them.
#
# Left out are the DLLs that Windows takes from System32 whatever lies
# beside a program (its KnownDLLs), and what Wine's own copies of them load
# while a process starts (zlib1, ucrtbase, version ...: on Windows these
# are resolved from System32 before the program's first instruction, and
# some do not exist there at all). Wine does not enforce either, so a copy
# planted under such a name would be loaded here but never on Windows. The
# import tables name only KnownDLLs (checked first, from the files
# themselves).
. "$(dirname "$0")/harness.sh"
. "$(dirname "$0")/product.sh"
wh_init

guid='{7D2C8F3B-1E66-4F1D-8B62-4A2C3D4E5F42}'
base='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
wh_reg_delete "$base\\$guid"
wh_on_exit wh_reg_delete "$base\\$guid"
wh_on_exit wh_reg_delete 'HKLM\Software\Probe Works'
wh_on_exit wh_reg_delete 'HKCU\Software\Probe Works'
app_win="$(wh_program_files)\\Planted Test"
app=$(wh_unixpath "$app_win")
rm -rf "$app"
wh_on_exit rm -rf "$app"
temp=$(wh_unixpath "$(wh__sys cmd /c echo %TEMP% | tr -d '\r')")
[[ -d $temp ]] || wh_fail "cannot find the prefix's temporary folder ($temp)"

P_GUID=$guid P_TITLES="植入测试|植入測試|Planted Test" P_NO_RUNS=1 P_NO_UNINSTALLER=1 PROBE_EXE=$WH_BIN/probe.exe \
  make_product "$WH_WORK/p"
downloads="$WH_WORK/Downloads"
mkdir -p "$downloads"
wh_build_setup "$WH_WORK/p/product.xml" "$downloads/Setup.exe"

# Windows 10's KnownDLLs, and Wine's own core that no program can replace.
known=" advapi32 clbcatq combase comdlg32 coml2 difxapi gdi32 gdiplus imagehlp imm32 kernel32 msctf msvcrt
  normaliz nsi ole32 oleaut32 psapi rpcrt4 sechost setupapi shcore shell32 shlwapi user32 wldap32 ws2_32
  ntdll kernelbase win32u"
known=" $(echo $known) "
# gdiplus is a KnownDLL only from Windows 7 on; the programs do not rely
# on that and load it late, so it is planted all the same.
known=${known/ gdiplus / }

# The import tables: KnownDLLs only.
for exe in "$downloads/Setup.exe" "$(dirname "$SETUP_EXE")/Uninstall.exe"; do
  while read -r dll; do
    name=$(tr 'A-Z' 'a-z' <<<"${dll%.[dD][lL][lL]}")
    [[ $known == *" $name "* ]] ||
      wh_fail "$(basename "$exe") imports $dll, which Windows would look for beside the program first"
  done < <(objdump -p "$exe" | sed -n 's/^\tDLL Name: //p')
done

# Every DLL the programs load while installing and removing.
loaded_by() {  # log
  sed -n 's/.*trace:loaddll:[a-z_]* Loaded L"\([^"]*\)".*/\1/p' "$1" | sed 's/.*\\//' | tr 'A-Z' 'a-z' |
    grep '\.dll$' | sed 's/\.dll$//'
}
imports_of() {  # exe
  objdump -p "$1" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z' | sed 's/\.dll$//'
}
# What Wine's copies of the imported system DLLs load along with them.
WINEDEBUG=+loaddll wh_wine "$WH_BIN/loadlib.exe" \
  $( { imports_of "$downloads/Setup.exe"; imports_of "$(dirname "$SETUP_EXE")/Uninstall.exe"; } | sort -u) \
  >/dev/null 2>"$WH_WORK/startup.log" || true
for name in $(loaded_by "$WH_WORK/startup.log"); do known+="$name "; done
rc=0
WINEDEBUG=+loaddll wh_wine "$downloads/Setup.exe" /Silent >/dev/null 2>"$WH_WORK/install.log" || rc=$?
wh_assert_eq 0 "$rc" "exit code of the first installation"
rc=0
WINEDEBUG=+loaddll wh_wine "$app/Uninstall.exe" /SILENT >/dev/null 2>"$WH_WORK/remove.log" || rc=$?
wh_assert_eq 0 "$rc" "exit code of the first removal"
names=()
while read -r name; do
  [[ $known == *" $name "* ]] || names+=("$name")
done < <({ loaded_by "$WH_WORK/install.log"; loaded_by "$WH_WORK/remove.log"; } | sort -u)
for must in gdiplus comctl32; do
  [[ " ${names[*]} " == *" $must "* ]] || wh_fail "Wine's log does not show $must.dll among the loaded DLLs: ${names[*]}"
done
echo "planted: ${names[*]}"

overrides=$(IFS=,; echo "${names[*]}")
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;$overrides=n,b"
plant() {  # folder
  local name
  for name in "${names[@]}"; do cp "$WH_BIN/planted.dll" "$1/$name.dll"; done
  cp "$WH_BIN/probe.exe" "$1/taskkill.exe"
}
export PROBE_LOG="$WH_WORK/probe.log"
: >"$PROBE_LOG"
loads() { find "$downloads" "$temp" "$app" -maxdepth 1 -name '*.dll.loaded' 2>/dev/null; }
clean_loads() { find "$downloads" "$temp" "$app" -maxdepth 1 -name '*.dll.loaded' -delete 2>/dev/null || true; }
nothing_loaded() {  # what
  local found
  found=$(loads)
  [[ -z $found ]] || wh_fail "$1 loaded planted DLLs: $(for f in $found; do basename "$f" .loaded; done | tr '\n' ' ')"
  [[ ! -s $PROBE_LOG ]] || wh_fail "$1 started a planted program: $(head -n 3 "$PROBE_LOG")"
}

plant "$downloads"
plant "$temp"
wh_on_exit find "$temp" -maxdepth 1 '(' -name '*.dll' -o -name '*.dll.loaded' -o -name taskkill.exe ')' -delete

rc=0
wh_wine "$downloads/Setup.exe" /Silent >/dev/null 2>"$WH_WORK/err.txt" || rc=$?
wh_assert_eq 0 "$rc" "exit code of Setup.exe /Silent among planted DLLs (stderr: $(head -c 300 "$WH_WORK/err.txt"))"
nothing_loaded "Setup.exe /Silent"

rc=0
wh_wine "$downloads/Setup.exe" /Auto >/dev/null 2>"$WH_WORK/err.txt" || rc=$?
wh_assert_eq 0 "$rc" "exit code of Setup.exe /Auto among planted DLLs (stderr: $(head -c 300 "$WH_WORK/err.txt"))"
nothing_loaded "Setup.exe /Auto"

plant "$app"
before=$(date +%s)
rc=0
wh_wine "$app/Uninstall.exe" /SILENT >/dev/null 2>"$WH_WORK/err.txt" || rc=$?
wh_assert_eq 0 "$rc" "exit code of Uninstall.exe /SILENT among planted DLLs (stderr: $(head -c 300 "$WH_WORK/err.txt"))"
# The cleanup copy ends a moment after the uninstaller.
for _ in $(seq 100); do
  pgrep -f '~uninst' >/dev/null || break
  sleep 0.2
done
pgrep -fa '~uninst' && wh_fail "the uninstaller's cleanup copy is still running"
nothing_loaded "Uninstall.exe /SILENT and its cleanup copy"
[[ ! -e $app/Uninstall.exe ]] || wh_fail "the cleanup copy did not delete Uninstall.exe"
# The copy goes as its process ends; its private folder, emptied then,
# stays under Wine until the next removal sweeps it.
leftover=$(find "$temp" -maxdepth 1 -name '~uninst*' -newermt "@$before" -not -empty 2>/dev/null || true)
[[ -z $leftover ]] || wh_fail "the cleanup copy left its file behind: $leftover"
folders=$(find "$temp" -maxdepth 1 -name '~uninst{*}' -type d | wc -l)
((folders <= 1)) || wh_fail "the emptied folders of earlier cleanup copies were not swept: $folders are left"

# The control: the same folder, a program without the protection.
cp "$WH_BIN/loadlib.exe" "$downloads/loadlib.exe"
wh_wine "$downloads/loadlib.exe" "${names[@]}" >"$WH_WORK/control.txt" 2>&1 || true
for name in "${names[@]}"; do
  [[ -e $downloads/$name.dll.loaded ]] ||
    wh_fail "the control did not load the planted $name.dll, so this test could not see it either: $(cat "$WH_WORK/control.txt")"
done
rc=0
wh_wine "$downloads/taskkill.exe" --exit 0 >/dev/null 2>&1 || rc=$?
[[ -s $PROBE_LOG ]] || wh_fail "the planted taskkill.exe does not log when it runs"
echo "ok"
