#!/bin/bash
# The installer's windows as a person meets them on a Simplified Chinese,
# a Traditional Chinese and an English system: the language dialog speaks
# the system's language and offers the product's; the start page has every
# control at its place, in the chosen language; the license check box
# gates Install and the link opens the license window, which disables the
# main window until Esc closes it; the window moves when dragged by its
# surfaces and not by its controls; the folder browser preselects an
# existing folder and hands it back with one trailing backslash; while the
# installation runs, the close glyph and the close command are refused; the
# copy-failure dialog stands at its size with its buttons in their order,
# disables the main window and gives it back; the completion page has its
# button. Screenshots of each window are written.
. "$(dirname "$0")/harness.sh"
. "$(dirname "$0")/product.sh"
wh_init

guid='{6C1B7E2A-0D55-4E0C-9A51-3F1B2C3D4E08}'
base="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
wh_on_exit wh_reg_delete "$base\\$guid"
wh_on_exit wh_reg_delete 'HKLM\Software\Probe Works'
wh_on_exit wh_reg_delete 'HKCU\Software\Probe Works'
P_GUID=$guid PROBE_EXE=$WH_BIN/probe.exe make_product "$WH_WORK/p"
wh_build_setup "$WH_WORK/p/product.xml" "$WH_WORK/ProbeSetup.exe"
d="$WH_WORK/dump.txt"

# The setup as started on a system in that locale.
run_in() {
  local locale=$1
  shift
  # (bash itself has no such locale and says so; Wine needs none)
  { LC_ALL=$locale LANG=$locale wh_run_bg "$WH_WORK/ProbeSetup.exe" "$@"; } 2>/dev/null
}
dump() { wh_windriver dump "$1" >"$d" || wh_fail "cannot read the window \"$1\""; }
field() { tr -d '\r' <"$d" | sed -n "s/^$1=//p"; }
checked() { wh_control "$d" "$1" | awk -F'|' '{ print $8 }'; }
enabled() { wh_control "$d" "$1" | awk -F'|' '{ print $4 }'; }

# language dialog: TITLE PROMPT OK CANCEL PRESELECTED
check_language_dialog() {
  dump "$1"
  wh_assert_eq 383,158 "$(field client)" "client size of the language dialog"
  wh_expect_control "$d" lblPrompt 1 "16,36,*,*" "$2"
  wh_expect_control "$d" cbxLangs 1 "16,60,289,*" "$5"
  wh_expect_control "$d" btnOk 1 "217,8,75,25" "$3"
  wh_expect_control "$d" btnCancel 1 "300,8,75,25" "$4"
  wh_expect_control "$d" btnApply 0 "*,8,75,25"
}

# start page: TITLE APPTITLE VERSION DEST BROWSE AGREE LICENSE INSTALL LICENSE-LEFT
check_start_page() {
  dump "$1"
  wh_assert_eq 750,480 "$(field client)" "client size of the main window"
  grep -q '^style=.*WS_POPUP' "$d" || wh_fail "the main window has a border or caption: $(field style)"
  grep -q '^style=.*WS_CAPTION' "$d" && wh_fail "the main window has a caption bar"
  wh_expect_control "$d" pnlMainFormColor 1 0,0,750,480
  wh_expect_control "$d" imgBackground 1 0,0,748,378
  wh_expect_control "$d" lblAppTitle 1 6,168,737,57 "$2"
  wh_expect_control "$d" lblVersion 1 6,232,737,33 "$3"
  wh_expect_control "$d" imgMinimize 1 682,2,32,32
  wh_expect_control "$d" imgClose 1 714,2,32,32
  wh_expect_control "$d" imgIcon 0 320,48,96,96
  wh_expect_control "$d" pbLogo 1 327,48,96,96
  wh_expect_control "$d" pnlBottom 1 0,378,748,100
  wh_expect_control "$d" lblDestDir 1 10,26,107,23 "$4"
  wh_expect_control "$d" edtDestDir 1 120,25,517,25
  wh_expect_control "$d" btnDestDir 1 645,23,89,29 "$5"
  wh_expect_control "$d" cbLicense 1 "120,62,*,16" "$6"
  wh_expect_control "$d" lblLicense 1 "$9,63,*,*" "$7"
  wh_expect_control "$d" btnInstall 1 275,280,200,50 "$8"
  for hidden in lblWait pbProgress lblDetail btnRunApp lblProxy; do wh_expect_control "$d" $hidden 0 "*,*,*,*"; done
  wh_assert_eq 1 "$(checked cbLicense)" "the license check box at the start"
  wh_assert_eq 1 "$(enabled btnInstall)" "Install at the start"
}

# Presses the mouse on a control, moves it by DX, DY (60 pixels up or down
# leave every control it starts on, so that no button counts a click) and
# releases it; prints the window's position before and after.
drag() {
  local title=$1 control=$2 before after
  dump "$title"; before=$(field rect)
  wh_windriver drag "$title" "$control" "$3" "$4" >/dev/null
  dump "$title"; after=$(field rect)
  echo "${before%,*,*} ${after%,*,*}"
}
moved_by() {  # "X,Y X2,Y2" -> "DX,DY"
  local a=${1% *} b=${1#* }
  echo "$((${b%,*} - ${a%,*})),$((${b#*,} - ${a#*,}))"
}

browse() {  # START KEY [SHOT]: the field after browsing from START and answering KEY
  wh_windriver settext "$title" Edit "$1" >/dev/null
  wh_windriver click "$title" @btnDestDir >/dev/null
  wh_windriver --class '#32770' --title-contains wait "" >/dev/null || wh_fail "Browse opened no folder browser"
  wh_windriver --class '#32770' --title-contains text "" | tr -d '\r' | grep -qxF "$caption" ||
    wh_fail "the folder browser does not show its caption $caption"
  # The browser selects the start folder once its tree is filled.
  sleep 3
  [[ -n ${3:-} ]] && WH_SHOT_OPTS="--class #32770 --title-contains" wh_screenshot "$3" "" >/dev/null
  wh_windriver --class '#32770' --title-contains key "" "$2" >/dev/null
  wh_windriver --class '#32770' --title-contains gone "" >/dev/null || wh_fail "the folder browser did not close"
  dump "$title"
  wh_control "$d" edtDestDir | awk -F'|' '{ print $2 }'
}

# hold FILE: another program holds the file open until release.
hold() {
  mkdir -p "$(dirname "$1")"
  rm -f "$WH_WORK/release"
  holder=$(wh_run_bg "$WH_BIN/holder.exe" "$(wh_winpath "$1")" "$(wh_winpath "$WH_WORK/release")")
  wh_wait_for_line "$(wh_bg_log "$holder")" holding
}
release() {
  touch "$WH_WORK/release"
  wh_bg_wait "$holder" 30 || wh_fail "the holder did not end cleanly"
}

# ---- Simplified Chinese: the license, the license window, dragging, the
# folder browser, the copy-failure dialog.
title="探针产品 安装程序"
setup=$(run_in zh_CN.UTF-8)
wh_windriver wait "选择语言" >/dev/null || wh_fail "no language dialog on a Chinese system"
check_language_dialog "选择语言" "请选择安装过程中要使用的语言：" "确定" "取消" "简体中文"
wh_screenshot chs-language-dialog "选择语言" >/dev/null
wh_windriver key "选择语言" Enter >/dev/null
wh_windriver wait "$title" >/dev/null || wh_fail "no main window after OK"
check_start_page "$title" "探针产品" "版本：2.5.1.300" "安装目录：" "浏览..." "同意" "用户许可协议" "立即安装" 167
wh_screenshot chs-start-page "$title" >/dev/null

wh_windriver click "$title" @cbLicense >/dev/null
dump "$title"
wh_assert_eq 0 "$(checked cbLicense)" "the license check box after a click"
wh_assert_eq 0 "$(enabled btnInstall)" "Install with the license not agreed to"
wh_windriver key "$title" Space >/dev/null  # the check box has the focus now
dump "$title"
wh_assert_eq 1 "$(checked cbLicense)" "the license check box after Space"
wh_assert_eq 1 "$(enabled btnInstall)" "Install with the license agreed to again"

main=$(wh_windriver wait "$title" | tr -d '\r')
wh_windriver click "$title" @lblLicense >/dev/null
wh_windriver wait "用户许可协议" >/dev/null || wh_fail "the license link opened no license window"
dump "用户许可协议"
wh_assert_eq "$main" "$(field owner)" "owner of the license window"
wh_assert_eq 784,461 "$(field client)" "client size of the license window"
grep -q '^style=.*WS_THICKFRAME' "$d" || wh_fail "the license window cannot be resized: $(field style)"
grep -q '^style=.*WS_MINIMIZEBOX' "$d" && wh_fail "the license window has a minimise button: $(field style)"
grep -q '^Edit|许可协议' "$d" || wh_fail "the license window does not show the Chinese license: $(grep '^Edit' "$d")"
wh_screenshot chs-license-window "用户许可协议" >/dev/null
dump "$title"
wh_assert_eq 0 "$(field enabled)" "the main window while the license window is open"
wh_windriver key "用户许可协议" Esc >/dev/null
wh_windriver gone "用户许可协议" >/dev/null || wh_fail "Esc did not close the license window"
dump "$title"
wh_assert_eq 1 "$(field enabled)" "the main window after the license window closed"

# Up and down in turn, so that the window stays on the screen.
dy=60
for surface in @lblAppTitle @lblVersion @pbLogo @lblDestDir @imgBackground; do
  wh_assert_eq "40,$dy" "$(moved_by "$(drag "$title" "$surface" 40 $dy)")" "the window dragged by $surface"
  dy=$((-dy))
done
for control in @btnInstall @edtDestDir @cbLicense @btnDestDir; do
  wh_assert_eq 0,0 "$(moved_by "$(drag "$title" "$control" -40 $dy)")" "the window dragged by $control"
  dy=$((-dy))
done
# Dragging off a button is no click: the start page is still there.
dump "$title"
wh_expect_control "$d" btnInstall 1 275,280,200,50 "立即安装"
wh_assert_eq 1 "$(checked cbLicense)" "the check box after a drag that began on it"

caption="选择安装目录"
browse 'C:\' Esc chs-folder-browser >/dev/null

# The copy-failure dialog in Chinese; its Exit Setup ends the installation.
app_chs="$WH_WORK/chs folder"
hold "$app_chs/data/readme.txt"
wh_windriver settext "$title" Edit "$(wh_winpath "$app_chs")" >/dev/null
wh_windriver click "$title" "立即安装" >/dev/null
wh_windriver wait "复制文件失败" >/dev/null || wh_fail "no copy-failure dialog for the held file"
dump "复制文件失败"
for b in btnRetry:重试 btnIgnore:忽略 btnAbort:退出安装; do
  grep -qF "|${b#*:}|1|1|" "$d" || wh_fail "the copy-failure dialog lacks ${b#*:}"
done
grep -qF "|文件：$(wh_winpath "$app_chs")\\data\\readme.txt\\n\\n失败原因：" "$d" ||
  wh_fail "the copy-failure message: $(grep lblInfo "$d")"
wh_screenshot chs-copy-failure "复制文件失败" >/dev/null
wh_windriver click "复制文件失败" "退出安装" >/dev/null
rc=0; wh_bg_wait "$setup" 30 || rc=$?
release
wh_assert_eq 5 "$rc" "exit code after Exit Setup"

# ---- Traditional Chinese: choosing folders, the close glyph.
title="探針產品 安裝程式"
setup=$(run_in zh_TW.UTF-8)
wh_windriver wait "選擇語言" >/dev/null || wh_fail "no language dialog on a Traditional Chinese system"
check_language_dialog "選擇語言" "請選擇安裝過程中要使用的語言：" "確定" "取消" "繁体中文"
wh_screenshot cht-language-dialog "選擇語言" >/dev/null
wh_windriver click "選擇語言" "確定" >/dev/null
wh_windriver wait "$title" >/dev/null || wh_fail "no main window after OK"
check_start_page "$title" "探針產品" "版本：2.5.1.300" "安裝目錄：" "瀏覽..." "同意" "用戶授權合約" "立即安裝" 167
wh_screenshot cht-start-page "$title" >/dev/null

caption="選擇安裝目錄"
# On drive C: (Wine's browser shows the Unix root as a drive it cannot
# label, and stops there).
mkdir -p "$WINEPREFIX/drive_c/ui pre/folder"
wh_on_exit rm -rf "$WINEPREFIX/drive_c/ui pre"
pre='C:\ui pre\folder'
# The first browser of a process takes longest to fill its tree: it starts
# at the drive. A drive root is no place for a product: the product's
# folder is added to it.
wh_assert_eq 'C:\探針產品\' "$(browse 'C:\' Enter)" "a drive root chosen in the browser"
# Wine's browser now and then drops a deep selection made while it opens
# (it then stands on the desktop, which gets the product's folder too); a
# second try tells that apart from a selection never asked for.
chosen=$(browse "$pre" Enter cht-folder-browser)
[[ $chosen == *\\Desktop\\* ]] && chosen=$(browse "$pre" Enter cht-folder-browser)
wh_assert_eq "$pre\\" "$chosen" "the folder chosen from an existing start"
wh_assert_eq 'C:\no such\folder' "$(browse 'C:\no such\folder' Esc)" "the field after a cancelled browser"
wh_windriver click "$title" @imgClose >/dev/null
rc=0; wh_bg_wait "$setup" 30 || rc=$?
wh_assert_eq 2 "$rc" "exit code after the close glyph on the start page"

# ---- English: the license link moves; the installation runs.
title="Probe Product Setup"
app="$WH_WORK/Probe Folder"
setup=$(run_in en_GB.UTF-8)
wh_windriver wait "Select Language" >/dev/null || wh_fail "no language dialog on an English system"
check_language_dialog "Select Language" "Select the language to use during installation:" "OK" "Cancel" "English"
wh_screenshot eng-language-dialog "Select Language" >/dev/null
wh_windriver key "Select Language" Enter >/dev/null
wh_windriver wait "$title" >/dev/null || wh_fail "no main window after OK"
dump "$title"
IFS='|' read -r -a cb <<<"$(wh_control "$d" cbLicense)"
cb_left=${cb[6]%,*}; cb_width=${cb[4]#*,*,}; cb_width=${cb_width%,*}
check_start_page "$title" "Probe Product" "Version: 2.5.1.300" "Destination:" "Browse..." "Agree" \
  "User License Agreement" "Install" $((cb_left + cb_width + 16))
wh_screenshot eng-start-page "$title" >/dev/null
wh_assert_eq "btnInstall|Install" "$(field focus)" "the focused control of the start page"
main_eng=$(wh_windriver wait "$title" | tr -d '\r')

wh_windriver click "$title" @lblLicense >/dev/null
wh_windriver wait "User License Agreement" >/dev/null || wh_fail "the license link opened no license window"
grep -q '^Edit|License terms\.' <(wh_windriver dump "User License Agreement") ||
  wh_fail "the license window does not show the English license"
wh_screenshot eng-license-window "User License Agreement" >/dev/null
wh_windriver key "User License Agreement" Esc >/dev/null
wh_windriver gone "User License Agreement" >/dev/null || wh_fail "Esc did not close the license window"
caption="Select Destination"
browse 'C:\' Esc eng-folder-browser >/dev/null

# A file of the product held open by another program: the installation
# stops at it with the copy-failure dialog, the window on its progress page.
hold "$app/data/readme.txt"
wh_windriver settext "$title" Edit "$(wh_winpath "$app")" >/dev/null
wh_windriver click "$title" Install >/dev/null
dialog="Failed to copy file"
wh_windriver wait "$dialog" >/dev/null || wh_fail "no copy-failure dialog for the held file"
dump "$title"
wh_assert_eq 0 "$(field enabled)" "the main window while the copy-failure dialog is open"
wh_expect_control "$d" lblAppTitle 1 6,168,737,57 "Installing"
wh_expect_control "$d" lblWait 1 "16,11,716,*" "Installing"
wh_expect_control "$d" pbProgress 1 16,42,716,17
wh_expect_control "$d" lblDetail 1 "16,63,716,*"
for hidden in lblVersion btnInstall lblDestDir edtDestDir btnDestDir cbLicense lblLicense btnRunApp; do
  wh_expect_control "$d" $hidden 0 "*,*,*,*"
done
wh_screenshot eng-progress-page "$title" >/dev/null
dump "$dialog"
wh_assert_eq "$main_eng" "$(field owner)" "owner of the copy-failure dialog"
wh_assert_eq 572,268 "$(field client)" "client size of the copy-failure dialog"
wh_expect_control "$d" btnRetry 1 9,8,100,25 "Retry"
wh_expect_control "$d" btnIgnore 1 121,8,100,25 "Ignore"
wh_expect_control "$d" btnAbort 1 233,8,100,25 "Exit Setup"
wh_expect_control "$d" lblInfo 1 32,32,508,163
wh_screenshot eng-copy-failure "$dialog" >/dev/null
# The close glyph and the close command reach the window while it is busy
# installing, and change nothing.
wh_windriver --message click "$title" @imgClose >/dev/null
wh_windriver close "$title" >/dev/null
sleep 1
wh_bg_running "$setup" || wh_fail "the installer ended on the close glyph or WM_CLOSE while installing"
wh_windriver key "$dialog" Esc >/dev/null
wh_windriver gone "$dialog" >/dev/null || wh_fail "Esc did not answer the copy-failure dialog"
release

for _ in $(seq 100); do
  dump "$title"
  # (the page is complete once its button stands centred)
  [[ $(wh_control "$d" btnRunApp) == Button\|Run\|1\|*\|274,23\|* ]] && break
  sleep 0.2
done
wh_assert_eq 1 "$(field enabled)" "the main window after the copy-failure dialog"
wh_expect_control "$d" lblAppTitle 1 6,168,737,57 "Installation Complete"
wh_expect_control "$d" btnRunApp 1 274,23,200,50 "Run"
for hidden in pbProgress lblWait lblDetail; do wh_expect_control "$d" $hidden 0 "*,*,*,*"; done
wh_screenshot eng-completion-page "$title" >/dev/null
wh_windriver click "$title" @imgMinimize >/dev/null
sleep 0.5
dump "$title"
grep -q '^style=.*WS_MINIMIZE' "$d" || wh_fail "the minimise glyph did not minimise: $(field style)"
# (windriver restores a minimised window before it clicks)
wh_windriver click "$title" @imgClose >/dev/null
rc=0; wh_bg_wait "$setup" 30 || rc=$?
wh_assert_eq 0 "$rc" "exit code after closing the completion page"
[[ -f $app/data/sub/nested.dat ]] || wh_fail "nothing was installed"
