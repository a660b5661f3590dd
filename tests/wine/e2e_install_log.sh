#!/bin/bash
# /Log=FILE: the installer's log says what the installation did (its head,
# each file with its size, each registry value, shortcut and program run,
# the uninstall entry, the exit code last), also for a failed installation
# and, cut off where it was, for a killed one; a log that cannot be made
# is reported and the installation goes on; the uninstaller's log lists
# what it removed.
. "$(dirname "$0")/harness.sh"
. "$(dirname "$0")/product.sh"
wh_init

guid='{6C1B7E2A-0D55-4E0C-9A51-3F1B2C3D4E0B}'
key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$guid"
wh_on_exit wh_reg_delete "$key"
wh_on_exit wh_reg_delete 'HKLM\Software\Probe Works'
wh_on_exit wh_reg_delete 'HKCU\Software\Probe Works'
P_GUID=$guid P_NO_UNINSTALLER=1 PROBE_EXE=$WH_BIN/probe.exe make_product "$WH_WORK/p"
# Enough files that a run can be killed half-way.
mkdir -p "$WH_WORK/p/files/data/many"
for i in $(seq 300); do head -c 4000 /dev/urandom >"$WH_WORK/p/files/data/many/f$i.bin"; done
wh_build_setup "$WH_WORK/p/product.xml" "$WH_WORK/ProbeSetup.exe"
app="$WH_WORK/Logged Place"
app_win=$(wh_winpath "$app")
log="$WH_WORK/logs/install.log"
mkdir -p "$WH_WORK/logs"

setup() {  # EXPECTED_CODE WHAT ARGS...
  local code=$1 what=$2 rc=0
  shift 2
  wh_wine "$WH_WORK/ProbeSetup.exe" "$@" >"$WH_WORK/out.txt" 2>"$WH_WORK/err.txt" || rc=$?
  wh_assert_eq "$code" "$rc" "exit code: $what (stderr: $(head -c 300 "$WH_WORK/err.txt"))"
}
# The log's lines without their time stamps.
lines() { iconv -f UTF-8 -t UTF-8 "$1" >/dev/null || wh_fail "$1 is not UTF-8"; sed 's/^[0-9-]* [0-9:.]*  //; s/\r$//' "$1"; }
has() {  # LOG LINE
  grep -qxF -- "$2" <<<"$(lines "$1")" || wh_fail "the log lacks the line \"$2\": $(lines "$1" | head -n 40)"
}

# A whole installation.
setup 0 "/Silent /Dir= /Log=" /Silent "/Dir=$app_win" "/Log=$(wh_winpath "$log")"
text=$(lines "$log")
# The release number: the package tool's, the log's and the version
# resource's are one.
release=$(wh_setupkit --version | tr -d '\r' | sed -n 's/^setupkit \([0-9][0-9.]*\)$/\1/p')
[[ -n $release ]] || wh_fail "setupkit --version gives no release number: $(wh_setupkit --version)"
wh_assert_eq "Setup.exe $release" "$(head -n 1 <<<"$text")" "the log's first line"
for program in "$WH_WORK/ProbeSetup.exe" "$WH_BIN/Uninstall.exe"; do
  resource=$(wrestool -x --raw --type=16 "$program" | iconv -f UTF-16LE -t UTF-8 -c | tr -c '[:print:]' ' ')
  grep -q "FileVersion *$release\.0 " <<<"$resource" || wh_fail "the version resource of $program is not $release.0: $resource"
done
grep -q '^Command line: .*ProbeSetup.exe" /Silent ' <<<"$text" || wh_fail "no command line in the log"
grep -q '^System: Windows [0-9.]*, 64-bit, ' <<<"$text" || wh_fail "no system in the log"
has "$log" "Package: Probe Product 2.5.1.300, GUID $guid, full setup"
has "$log" "Mode: /Silent, language ENG"
has "$log" "Destination: $app_win\\"
# Every file on disk once, with its size, and nothing else.
want=$(cd "$app" && find . -type f ! -name 'Uninstall.da?' -printf '%P %s\n' | tr / '\\' | LC_ALL=C sort)
got=$(sed -n 's/^File: \(.*\) (\([0-9]*\) bytes)$/\1 \2/p' <<<"$text" | sed "s/^$(sed 's/[\\.]/\\&/g' <<<"$app_win")\\\\//" |
  LC_ALL=C sort)
[[ $want == "$got" ]] || wh_fail "the log's files differ from those installed: $(diff <(echo "$want") <(echo "$got") | head)"
has "$log" 'Registry value: HKLM\Software\Probe Works\Probe Product, "Sixteen" = REG_DWORD 16'
has "$log" 'Registry value: HKLM\Software\Probe Works\Probe Product, "AllBits" = REG_DWORD 4294967295'
has "$log" "Registry value: HKCU\\Software\\Probe Works\\Probe Product, \"\" = REG_SZ \"default of Probe Product\""
wh_assert_eq 2 "$(grep -c '^Shortcut: .*\.lnk -> .*app\.exe$' <<<"$text")" "shortcut lines in the log"
has "$log" "Program run: \"$app_win\\app.exe\" waited \"$app_win\\\""
has "$log" "Program ended with exit code 0: $app_win\\app.exe"
grep -q "^Uninstall entry: HKLM\\\\Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\$guid, " <<<"$text" ||
  wh_fail "no uninstall entry in the log"
wh_assert_eq "Exit code 0: the installation completed" "$(tail -n 1 <<<"$text")" "the log's last line"

# The uninstaller's log: what it removed, the entry, the exit code.
unlog="$WH_WORK/logs/uninstall.log"
rc=0
wh_wine "$app/Uninstall.exe" /SILENT "/Log=$(wh_winpath "$unlog")" >/dev/null 2>&1 || rc=$?
wh_assert_eq 0 "$rc" "exit code of the uninstaller"
has "$unlog" "Removed: $app_win\\data\\sub\\nested.dat"
has "$unlog" "Removed registry value: HKEY_LOCAL_MACHINE\\Software\\Probe Works\\Probe Product, \"Sixteen\""
has "$unlog" "Removed uninstall entry: HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$guid"
wh_assert_eq "Uninstall.exe $release" "$(lines "$unlog" | head -n 1)" "the uninstaller's first line"
wh_assert_eq "Exit code 0: the product was removed" "$(lines "$unlog" | tail -n 1)" "the uninstaller's last line"

# A failed installation: the message the user would have read, then 4.
setup 4 "a folder that cannot be made" /Silent '/Dir=C:\bad<name>\x' "/Log=$(wh_winpath "$log")"
grep -q '^Message: .*C:\\bad<name>\\x\\' <<<"$(lines "$log")" || wh_fail "the failure's message is not in the log: $(lines "$log")"
wh_assert_eq "Exit code 4: the installation failed" "$(lines "$log" | tail -n 1)" "the failed run's last line"

# A log that cannot be made: said on standard error, installed all the same.
setup 0 "a log in a folder that does not exist" /Silent "/Dir=$app_win" '/Log=C:\no such folder\x.log'
grep -qF 'The log file "C:\no such folder\x.log" cannot be written' "$WH_WORK/err.txt" ||
  wh_fail "no word of the log that cannot be made: $(cat "$WH_WORK/err.txt")"
[[ -f $app/Uninstall.da1 ]] || wh_fail "the installation did not go on without its log"
rm -rf "$app"
wh_reg_delete "$key"

# Killed half-way (stopped while its log is read, killed while stopped): the
# log holds every line up to then, each whole, and no exit code.
logged_files() { (($(grep -c '^.*  File: ' "$log" 2>/dev/null || true) >= 100)); }
pid=$(wh_run_bg "$WH_WORK/ProbeSetup.exe" /Silent "/Dir=$app_win" "/Log=$(wh_winpath "$log")")
wh_stop_when "$pid" logged_files && wh_bg_running "$pid" || wh_fail "the installation ended before it could be killed"
kill -KILL "$pid"
wh_bg_wait "$pid" 30 || true
files=$(lines "$log" | grep -c '^File: ' || true)
((files >= 100)) || wh_fail "the killed run's log holds $files files"
[[ $(tail -c 2 "$log" | od -An -c | tr -d ' ') == '\r\n' ]] || wh_fail "the killed run's log ends in the middle of a line"
! grep -q '^Exit code' <<<"$(lines "$log")" || wh_fail "the killed run's log has an exit code"
echo "PASS: a whole, a failed and a killed installation's log, a log that cannot be made, the uninstaller's log"
