#!/bin/bash
# An installation killed during its file step (kill -9 on the installer's
# process, from outside, at the start, the middle and near the end) and run
# again completes with exit code 0 and leaves exactly what an installation
# that was never interrupted leaves: every file as packed, no temporary
# file, the uninstall entry once.
. "$(dirname "$0")/harness.sh"
. "$(dirname "$0")/product.sh"
wh_init

guid='{6C1B7E2A-0D55-4E0C-9A51-3F1B2C3D4E0E}'
base="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
wh_on_exit wh_reg_delete "$base\\$guid"
wh_on_exit wh_reg_delete 'HKLM\Software\Probe Works'
P_GUID=$guid P_NO_RUNS=1 PROBE_EXE=$WH_BIN/probe.exe make_product "$WH_WORK/p"
# Enough files that the file step lasts a while.
mkdir -p "$WH_WORK/p/files/data/many"
for i in $(seq 600); do head -c 40000 /dev/urandom >"$WH_WORK/p/files/data/many/f$i.bin"; done
wh_build_setup "$WH_WORK/p/product.xml" "$WH_WORK/ProbeSetup.exe"
app="$WH_WORK/Probe Folder"
app_win=$(wh_winpath "$app")

# What an uninterrupted installation leaves: the product's files as packed
# (the uninstall data is compared by presence, as it carries the time).
expect_complete() {
  local f rel left
  while IFS= read -r f; do
    rel=${f#"$WH_WORK/p/files/"}
    case $rel in Uninstall.exe | helper.exe) continue ;; esac
    cmp -s "$f" "$app/$rel" || wh_fail "$1: $rel is not as packed"
  done < <(find "$WH_WORK/p/files" -type f)
  cmp -s "$WH_WORK/p/files/helper.exe" "$app/bin/helper-renamed.exe" || wh_fail "$1: helper-renamed.exe is not as packed"
  [[ -s $app/Uninstall.da1 && -s $app/Uninstall.da2 ]] || wh_fail "$1: the uninstall data is missing"
  left=$(find "$app" -name '*.~setup' | head -n 3)
  [[ -z $left ]] || wh_fail "$1: temporary files were left: $left"
  local entries
  entries=$(wh_reg_query "$base" 2>/dev/null | grep -ciF "\\$guid" || true)
  wh_assert_eq 1 "$entries" "$1: uninstall entries of the product"
}

written_at_least() { (($(find "$app/data/many" -name 'f*.bin' 2>/dev/null | wc -l) >= $1)); }

# kill_at FILES: starts the installation and kills it once that many of the
# product's many files are there (stopped while they are counted), then
# installs again.
kill_at() {
  local want=$1 pid rc
  rm -rf "$app"
  wh_reg_delete "$base\\$guid"
  wh_reg_add "$base\\$guid" InstallLocation REG_SZ "$app_win\\"
  pid=$(wh_run_bg "$WH_WORK/ProbeSetup.exe" /Silent)
  wh_stop_when "$pid" written_at_least "$want" && wh_bg_running "$pid" ||
    wh_fail "the installation ended before $want files were written"
  kill -KILL "$pid"
  rc=0; wh_bg_wait "$pid" 30 || rc=$?
  [[ $rc != 0 ]] || wh_fail "the killed installation reported success"
  rc=0
  wh_wine "$WH_WORK/ProbeSetup.exe" /Silent >/dev/null 2>"$WH_WORK/err.txt" || rc=$?
  wh_assert_eq 0 "$rc" "exit code after a kill at $want files (stderr: $(head -c 300 "$WH_WORK/err.txt"))"
  expect_complete "killed at $want files, then run again"
}

kill_at 10
kill_at 300
kill_at 560
echo "killed and run again: ok"
