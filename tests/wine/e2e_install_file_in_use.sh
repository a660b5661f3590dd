#!/bin/bash
# A file that cannot be written because another program holds it open: in
# /Auto the copy-failure dialog asks, and each answer has its effect and
# exit code (Retry after the holder let go: written, 0; Esc: skipped, 0;
# Exit Setup: 5); in /Silent the installation ends with exit code 4, the
# file's path on standard error and no window. Whatever the answer, the held
# file keeps the previous version's bytes until it is really replaced, and
# no temporary file is left beside it.
. "$(dirname "$0")/harness.sh"
. "$(dirname "$0")/product.sh"
wh_init

guid='{6C1B7E2A-0D55-4E0C-9A51-3F1B2C3D4E03}'
base="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
wh_on_exit wh_reg_delete "$base\\$guid"
wh_on_exit wh_reg_delete 'HKLM\Software\Probe Works'
P_GUID=$guid P_NO_RUNS=1 PROBE_EXE=$WH_BIN/probe.exe make_product "$WH_WORK/p"
wh_build_setup "$WH_WORK/p/product.xml" "$WH_WORK/ProbeSetup.exe"
app="$WH_WORK/Probe Folder"
app_win=$(wh_winpath "$app")
held="$app/data/readme.txt"
held_win="$app_win\\data\\readme.txt"
dialog="Failed to copy file"

# Each round starts from no installation, with readme.txt of a previous
# version held open.
previous="previous version's readme, which must survive a failed replacement"
hold() {
  wh_reg_delete "$base\\$guid"
  wh_reg_add "$base\\$guid" InstallLocation REG_SZ "$app_win\\"
  rm -rf "$app" "$WH_WORK/release"
  mkdir -p "$app/data"
  printf '%s' "$previous" >"$held"
  holder=$(wh_run_bg "$WH_BIN/holder.exe" "$held_win" "$(wh_winpath "$WH_WORK/release")")
  wh_wait_for_line "$(wh_bg_log "$holder")" holding
}
release() {
  touch "$WH_WORK/release"
  wh_bg_wait "$holder" 30 || wh_fail "the holder did not end cleanly"
}
no_temporary_files() {
  local left
  left=$(find "$app" -name '*.~setup' | head -n 3)
  [[ -z $left ]] || wh_fail "$1: temporary files were left: $left"
}
start_auto() {
  setup=$(wh_run_bg "$WH_WORK/ProbeSetup.exe" /Auto)
  wh_windriver wait "$dialog" >/dev/null || wh_fail "no copy-failure dialog appeared"
}

# Retry, once the file is free: it is written and the installation completes.
hold
start_auto
text=$(wh_windriver text "$dialog" | tr -d '\r')
grep -qF "File: $held_win" <<<"$text" || wh_fail "the dialog does not name the file: $text"
grep -qF "Failure reason: " <<<"$text" || wh_fail "the dialog gives no reason: $text"
for b in Retry Ignore "Exit Setup"; do grep -qxF "$b" <<<"$text" || wh_fail "no $b button: $text"; done
wh_screenshot install-auto-copy-failure >/dev/null
release
# Enter answers Retry, the default button.
wh_windriver key "$dialog" Enter >/dev/null
rc=0; wh_bg_wait "$setup" 120 || rc=$?
wh_assert_eq 0 "$rc" "exit code after Retry"
cmp -s "$WH_WORK/p/files/data/readme.txt" "$held" || wh_fail "Retry did not write readme.txt"
no_temporary_files "after Retry"

# Esc answers Ignore: the file keeps the previous version's bytes and the
# files after it are still written.
hold
start_auto
wh_windriver key "$dialog" Esc >/dev/null
rc=0; wh_bg_wait "$setup" 120 || rc=$?
release
wh_assert_eq 0 "$rc" "exit code after Ignore"
wh_assert_file_content "$held" "$previous" "readme.txt after Ignore"
no_temporary_files "after Ignore"
cmp -s "$WH_WORK/p/files/data/sub/nested.dat" "$app/data/sub/nested.dat" || wh_fail "the file after the ignored one is missing"
[[ -f $app/Uninstall.da1 ]] || wh_fail "the installation did not go on after Ignore"

# Exit Setup ends the installation where it stands: exit code 5, nothing
# after the file is written.
hold
start_auto
wh_windriver click "$dialog" "Exit Setup" >/dev/null
rc=0; wh_bg_wait "$setup" 60 || rc=$?
release
wh_assert_eq 5 "$rc" "exit code after Exit Setup"
[[ ! -e $app/data/sub/nested.dat ]] || wh_fail "files after the failed one were written after Exit Setup"
[[ -f $app/app.exe ]] || wh_fail "files before the failed one are gone after Exit Setup"
wh_assert_file_content "$held" "$previous" "readme.txt after Exit Setup"
no_temporary_files "after Exit Setup"

# /Silent: nobody to ask.
hold
rc=0
wh_wine "$WH_WORK/ProbeSetup.exe" /Silent >"$WH_WORK/out.txt" 2>"$WH_WORK/err.txt" || rc=$?
visible=$(wh_windriver list | tr -d '\r')
release
wh_assert_eq 4 "$rc" "exit code of /Silent with a file in use"
grep -qF "$held_win" "$WH_WORK/err.txt" || wh_fail "standard error does not name the file: $(cat "$WH_WORK/err.txt")"
! grep -qF "$dialog" <<<"$visible" || wh_fail "/Silent showed the copy-failure dialog"
wh_assert_file_content "$held" "$previous" "readme.txt after /Silent"
no_temporary_files "after /Silent"
