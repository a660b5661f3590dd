#!/bin/bash
# The uninstaller as a person meets it, in the language recorded at
# installation: the question (No leaves everything and exits with 2; Yes
# removes), the progress window while an uninstall program runs, and the
# final message; exit code 0 and the product gone. English, then Chinese;
# screenshots of every window in both.
. "$(dirname "$0")/harness.sh"
. "$(dirname "$0")/product.sh"
wh_init
for face in "微软雅黑" "Tahoma"; do
  wh__sys reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d "WenQuanYi Micro Hei" /f >/dev/null 2>&1 || true
done
wh_on_exit wh__sys reg delete 'HKCU\Software\Wine\Fonts\Replacements' /f

guid='{6C1B7E2A-0D55-4E0C-9A51-3F1B2C3D4E13}'
base='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
wh_on_exit wh_reg_delete "$base\\$guid"
wh_on_exit wh_reg_delete 'HKLM\Software\Probe Works'
wh_on_exit wh_reg_delete 'HKCU\Software\Probe Works'
app_win="$(wh_program_files)\\Probe Product"
app=$(wh_unixpath "$app_win")
rm -rf "$app"
wh_on_exit rm -rf "$app"

# The uninstall program holds the progress window up until the test lets
# it go.
held=$(wh_winpath "$WH_WORK/held.txt")
release=$(wh_winpath "$WH_WORK/release")
runs="            <TUninstallRun Checked=\"True\" Condition=\"\" FileName=\"$(wh_winpath "$WH_BIN/holder.exe")\" Params=\"&quot;$held&quot; &quot;$release&quot;\" WaitSeconds=\"0\" WaitType=\"urwWaitClose\" WorkDir=\"\"/>"
P_GUID=$guid P_NO_RUNS=1 P_NO_UNINSTALLER=1 P_UNINSTALL_RUNS=$runs PROBE_EXE=$WH_BIN/probe.exe make_product "$WH_WORK/p"
wh_build_setup "$WH_WORK/p/product.xml" "$WH_WORK/ProbeSetup.exe"

install() {
  local rc=0
  wh_wine "$WH_WORK/ProbeSetup.exe" /SILENT >/dev/null 2>"$WH_WORK/err.txt" || rc=$?
  wh_assert_eq 0 "$rc" "exit code of the installation (stderr: $(head -c 300 "$WH_WORK/err.txt"))"
  [[ -f $app/Uninstall.exe ]] || wh_fail "no Uninstall.exe installed"
}

# remove LANG TITLE QUESTION DONE: answers Yes, looks at the progress
# window and the final message.
remove() {
  local lang=$1 title=$2 question=$3 done=$4 text rc=0 pid
  rm -f "$WH_WORK/held.txt" "$WH_WORK/release"
  pid=$(wh_run_bg "$app/Uninstall.exe")
  wh_windriver --class '#32770' wait "$title" >/dev/null || wh_fail "no question in $lang"
  text=$(wh_windriver --class '#32770' text "$title" | tr -d '\r')
  [[ $text == *"$question"* ]] || wh_fail "the question in $lang: $text"
  wh_screenshot "uninstall-question-$lang" >/dev/null
  wh_windriver --class '#32770' click "$title" Yes >/dev/null
  for _ in $(seq 100); do [[ -e $WH_WORK/held.txt ]] && break; sleep 0.1; done
  [[ -e $WH_WORK/held.txt ]] || wh_fail "the uninstall program did not start ($lang)"
  wh_windriver wait "$title" >/dev/null || wh_fail "no progress window in $lang"
  sleep 1
  wh_screenshot "uninstall-progress-$lang" >/dev/null
  touch "$WH_WORK/release"
  wh_windriver --class '#32770' --timeout 60 wait "$title" >/dev/null || wh_fail "no final message in $lang"
  text=$(wh_windriver --class '#32770' text "$title" | tr -d '\r')
  [[ $text == *"$done"* ]] || wh_fail "the final message in $lang: $text"
  wh_screenshot "uninstall-final-$lang" >/dev/null
  wh_windriver --class '#32770' key "$title" Enter >/dev/null
  wh_bg_wait "$pid" 60 || rc=$?
  wh_assert_eq 0 "$rc" "exit code after Yes ($lang)"
  for _ in $(seq 50); do [[ -d $app ]] || break; sleep 0.1; done
  [[ ! -d $app ]] || wh_fail "the product's folder stayed ($lang): $(ls -A "$app")"
  wh_reg_query "$base\\$guid" >/dev/null 2>&1 && wh_fail "the uninstall entry stayed ($lang)"
  return 0
}

# English (the system's language, which the product offers): No first.
install
title="Probe Product Uninstall"
pid=$(wh_run_bg "$app/Uninstall.exe")
wh_windriver --class '#32770' wait "$title" >/dev/null || wh_fail "no question"
wh_windriver --class '#32770' click "$title" No >/dev/null
rc=0
wh_bg_wait "$pid" 30 || rc=$?
wh_assert_eq 2 "$rc" "exit code after No"
[[ -f $app/app.exe && -f $app/Uninstall.exe && -f $app/Uninstall.da1 ]] || wh_fail "No removed something"
wh_reg_query "$base\\$guid" >/dev/null 2>&1 || wh_fail "No removed the uninstall entry"
[[ ! -e $WH_WORK/held.txt ]] || wh_fail "No ran the uninstall program"
remove ENG "$title" "Remove Probe Product and all of its components?" "Probe Product was removed from your computer."

# Simplified Chinese, as recorded by an installation in that language.
install
wh_reg_add "$base\\$guid" InstallLanguage REG_SZ CHS
remove CHS "探针产品 卸载" "确定要完全移除 探针产品 及其所有组件吗？" "探针产品 已从您的计算机中移除。"
