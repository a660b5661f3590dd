# shellcheck shell=bash
# harness.sh: what the Wine end-to-end tests stand on. A test sources it
# from bash, calls wh_init, installs or runs Windows programs and checks the
# result from outside: files, registry, shortcuts, windows.
#
#   . "$(dirname "$0")/harness.sh"
#   wh_init
#   wh_build_setup project.xml "$WH_WORK/Setup.exe"
#   wh_run_bg "$WH_WORK/Setup.exe"; wh_windriver click "Setup" "Next"
#
# Read from the environment:
#   WINE             the Wine loader (default: wine; where 32-bit programs
#                    cannot run, wine-env.sh makes that the 64-bit one)
#   WINEPREFIX       the run's prefix; scripts/test.sh makes one and keeps its
#                    server running. Without it the test makes a private one.
#   DISPLAY          without it the test starts an Xvfb of its own
#   WH_BIN           the Windows build's programs (default: build/win32/bin,
#                    or build/win64/bin where only 64-bit programs run)
#   SETUP_EXE        the installer that setups are built from
#                    (default: $WH_BIN/Setup.exe)
#   SETUPKIT_NATIVE  a native setupkit, used instead of setupkit.exe under Wine
#   WH_SHOTS         where screenshots go (default: test-shots beside WH_BIN)
#   WH_WINE_TIMEOUT  seconds a program run by wh_wine may take (default: 300)
#   WH_KEEP=1        keep the scratch folder after the test
# Set by wh_init: WH_WORK, the test's scratch folder, removed on exit.
#
# Failing helpers end the test through wh_fail (exit 1, after a screenshot
# of what was on the screen); a missing peer ends it through wh_skip (77).
# Inside "$(...)" a failure only ends the subshell, which "set -e" (set
# here, as the tests expect) then turns into the test's failure.
set -eu

WH_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
WH_ROOT=$(cd "$WH_DIR/../.." && pwd)
# shellcheck source=wine-env.sh
. "$WH_DIR/wine-env.sh"
WINE=${WINE:-wine}
WH_BIN=${WH_BIN:-$WH_ROOT/build/win$SETUPKIT_WINE_BITS/bin}
WH_TEST=${WH_TEST:-$(basename "$0" .sh)}
WH_WORK=""
WH_XVFB_PID=""
WH_REG_VIEW=/reg:32
WH_OWN_PREFIX=0
WH_ON_EXIT=()

wh_fail() {
  echo "FAIL: $*" >&2
  # What a person would have seen is often the quickest explanation.
  if [[ -n ${DISPLAY:-} && -z ${WH_FAILING:-} ]]; then
    WH_FAILING=1
    wh_screenshot "$WH_TEST-failed" >&2 || true
  fi
  exit 1
}

wh_skip() {
  echo "SKIP: $*"
  exit 77
}

# wh_on_exit COMMAND...: runs at the end of the test, before the harness
# ends the test's programs and removes its folder (last registered first).
wh_on_exit() {
  local cmd
  printf -v cmd '%q ' "$@"
  WH_ON_EXIT=("$cmd" "${WH_ON_EXIT[@]+"${WH_ON_EXIT[@]}"}")
}

wh_init() {
  command -v "$WINE" >/dev/null 2>&1 || wh_skip "wine is not installed"
  WH_WORK=$(mktemp -d "${TMPDIR:-/tmp}/wh-$WH_TEST.XXXXXX")
  trap wh__cleanup EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  mkdir -p "$WH_WORK/home" "$WH_WORK/bg"
  # Programs started by this test carry this mark, so that the end of the
  # test finds them even when a program under test started them.
  export WH_RUN="$WH_WORK"
  export HOME="$WH_WORK/home" WINEDEBUG=-all
  export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winemenubuilder.exe=d"

  local out
  # A machine whose kernel cannot run 32-bit programs fails here, in the
  # loader, before any prefix is touched.
  out=$("$WINE" --version 2>&1) || wh_skip "wine does not start on this machine ($WINE): $out"

  if [[ -z ${DISPLAY:-} ]]; then
    command -v Xvfb >/dev/null 2>&1 || wh_skip "no DISPLAY and no Xvfb"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$WH_WORK/display" >/dev/null 2>&1 &
    WH_XVFB_PID=$!
    local _
    for _ in $(seq 100); do [[ -s $WH_WORK/display ]] && break; sleep 0.1; done
    [[ -s $WH_WORK/display ]] || wh_fail "Xvfb did not start"
    DISPLAY=":$(head -n 1 "$WH_WORK/display")"
    export DISPLAY
  fi

  if [[ -z ${WINEPREFIX:-} ]]; then
    export WINEPREFIX="$WH_WORK/prefix"
    WH_OWN_PREFIX=1
  fi
  if [[ ! -e $WINEPREFIX/.setupkit-ready ]]; then
    out=$(bash "$WH_DIR/wine-run.sh" --prepare 2>&1) || wh_fail "cannot make the Wine prefix $WINEPREFIX: $out"
  fi

  [[ -f $WH_BIN/probe.exe ]] || wh_fail "the Windows test tools are not built (no $WH_BIN/probe.exe)"
  if [[ $SETUPKIT_WINE_BITS == 64 && $(wh__pe_machine "$WH_BIN/probe.exe") == x86 ]]; then
    wh_skip "this kernel runs no 32-bit programs, so neither can Wine; the win64 build runs these tests here"
  fi
  # The registry view the programs under test write into: a 32-bit
  # program's HKLM\Software lands in the 32-bit view, a 64-bit one's not.
  if [[ $(wh__pe_machine "$WH_BIN/probe.exe") == x64 ]]; then WH_REG_VIEW=/reg:64; else WH_REG_VIEW=/reg:32; fi
  out=$(PROBE_LOG='' wh_wine "$WH_BIN/probe.exe" --exit 0 2>&1) ||
    wh_fail "Wine ($WINE) cannot run the programs of the Windows build: $out"
}

# What a PE file runs on, from its header's machine field: x86 or x64.
wh__pe_machine() {
  local pe machine
  pe=$(od -An -tu4 -j 60 -N 4 "$1" | tr -d ' ')
  machine=$(od -An -tu2 -j $((pe + 4)) -N 2 "$1" | tr -d ' ')
  case $machine in 332) echo x86 ;; 34404) echo x64 ;; *) echo "machine-$machine" ;; esac
}

wh__cleanup() {
  local rc=$? cmd
  trap - EXIT
  for cmd in "${WH_ON_EXIT[@]+"${WH_ON_EXIT[@]}"}"; do eval "$cmd" || true; done
  wh__end_programs
  if [[ -n ${WH_WINVER_SAVED+x} ]]; then wh__restore_winver || echo "harness: cannot restore the Windows version" >&2; fi
  if [[ $WH_OWN_PREFIX == 1 ]]; then wineserver -k >/dev/null 2>&1 || true; fi
  if [[ -n $WH_XVFB_PID ]]; then
    kill "$WH_XVFB_PID" 2>/dev/null || true
    wait "$WH_XVFB_PID" 2>/dev/null || true
  fi
  if [[ -n $WH_WORK ]]; then
    if [[ ${WH_KEEP:-0} == 1 ]]; then echo "harness: kept $WH_WORK" >&2; else rm -rf "$WH_WORK"; fi
  fi
  exit "$rc"
}

# Windows programs of this test still running: a failed test must not leave
# an installer's window open in the run's prefix, where the next test would
# find it. Wine's own services may have been started by this test too; they
# belong to the prefix and stay.
wh__end_programs() {
  [[ -n $WH_WORK ]] || return 0
  local pids=() p name
  for p in /proc/[0-9]*; do
    p=${p#/proc/}
    [[ $p == "$$" ]] && continue
    name=$(wine_program_name "$p") || continue
    tr '\0' '\n' 2>/dev/null <"/proc/$p/environ" | grep -qxF "WH_RUN=$WH_WORK" || continue
    case ${name,,} in
      explorer.exe|services.exe|winedevice.exe|plugplay.exe|svchost.exe|rpcss.exe|conhost.exe|wineboot.exe) continue ;;
    esac
    pids+=("$p")
  done
  [[ ${#pids[@]} -gt 0 ]] || return 0
  kill -TERM "${pids[@]}" 2>/dev/null || true
  for _ in $(seq 20); do
    kill -0 "${pids[@]}" 2>/dev/null || return 0
    sleep 0.1
  done
  kill -KILL "${pids[@]}" 2>/dev/null || true
}

# wh_wine PROGRAM ARGS...: runs a Windows program and hands back its exit
# code; its output goes where the caller's goes. A program that does not end
# (a dialog nobody answers) is ended after WH_WINE_TIMEOUT seconds.
wh_wine() {
  local rc=0 limit=${WH_WINE_TIMEOUT:-300}
  timeout --kill-after=10 "$limit" "$WINE" "$@" || rc=$?
  if [[ $rc == 124 || $rc == 137 ]]; then echo "harness: $1 did not end within $limit s" >&2; fi
  return "$rc"
}

# wh_tool NAME ARGS...: one of the test tools of the Windows build
# (probe, holder, lnkinfo, fileinfo, windriver).
wh_tool() {
  local name=$1
  shift
  wh_wine "$WH_BIN/$name.exe" "$@"
}

wh_windriver() { wh_tool windriver "$@"; }

# wh_run_bg PROGRAM ARGS...: starts a Windows program in the background and
# prints its Unix pid. Its output goes to the file that wh_bg_log names;
# wh_bg_wait hands back its exit code. Ends with the test at the latest.
wh_run_bg() {
  local dir
  dir=$(mktemp -d "$WH_WORK/bg/job.XXXXXX")
  # A shell of its own stays to collect the exit code. Not a subshell: a
  # fork keeps bash's saved copies of the caller's output open, and a pipe
  # or "$(...)" of the caller would wait for the program to end.
  bash -c 'dir=$1
    shift
    "$@" >"$dir/out" 2>&1 </dev/null &
    echo $! >"$dir/pid.tmp" && mv "$dir/pid.tmp" "$dir/pid"
    rc=0
    wait $! || rc=$?
    echo "$rc" >"$dir/rc"' wh-bg "$dir" "$WINE" "$@" >/dev/null 2>&1 </dev/null &
  while [[ ! -s $dir/pid ]]; do sleep 0.02; done
  local pid
  pid=$(<"$dir/pid")
  echo "$pid $dir" >>"$WH_WORK/bg/jobs"
  echo "$pid"
}

wh__job_dir() {
  local dir
  dir=$(awk -v p="$1" '$1 == p { print $2 }' "$WH_WORK/bg/jobs" 2>/dev/null | tail -n 1)
  [[ -n $dir ]] || wh_fail "no background program with pid $1"
  echo "$dir"
}

# wh_bg_log PID: the file that holds the program's output.
wh_bg_log() { echo "$(wh__job_dir "$1")/out"; }

# wh_bg_wait PID [TIMEOUT]: waits until the program ends; returns its exit code.
wh_bg_wait() {
  local dir limit=${2:-60} start=$SECONDS
  dir=$(wh__job_dir "$1")
  until [[ -s $dir/rc ]]; do
    ((SECONDS - start < limit)) || wh_fail "the program with pid $1 did not end within $limit s: $(tail -n 5 "$dir/out")"
    sleep 0.1
  done
  return "$(<"$dir/rc")"
}

wh_bg_running() { [[ ! -s "$(wh__job_dir "$1")/rc" ]]; }

# wh_stop_when PID COMMAND...: lets the program run in short slices and
# stops it while COMMAND looks at what it did, until COMMAND succeeds (the
# program is then left stopped, to be killed where it stands); fails when
# the program ends first or a minute passes. Run natively, a program does
# its work faster than it can be watched from outside.
wh_stop_when() {
  local pid=$1 _
  shift
  for _ in $(seq 6000); do
    kill -STOP "$pid" 2>/dev/null || return 1
    "$@" && return 0
    kill -CONT "$pid" 2>/dev/null || return 1
    sleep 0.01
  done
  return 1
}

# wh_wait_for_line FILE TEXT [TIMEOUT]: waits until a line of FILE holds TEXT.
wh_wait_for_line() {
  local file=$1 text=$2 limit=${3:-20} start=$SECONDS
  until [[ -f $file ]] && grep -qF -- "$text" "$file"; do
    ((SECONDS - start < limit)) || wh_fail "no line with \"$text\" in $file after $limit s; it ends with: $(tail -n 5 "$file" 2>/dev/null)"
    sleep 0.1
  done
}

# Wine's own programs by their full path: "wine reg" would first run a
# reg.exe from the current folder.
wh__sys() {
  local name=$1
  shift
  "$WINE" "C:\\windows\\system32\\$name.exe" "$@"
}

wh_winpath() { wh__sys winepath -w "$1" 2>/dev/null | tr -d '\r'; }
wh_unixpath() { wh__sys winepath -u "$1" 2>/dev/null | tr -d '\r'; }

# wh_reg_query KEY [VALUE]: "reg query" in the 32-bit view, where a 32-bit
# installer's HKLM\Software lands. An empty VALUE is the key's default.
wh_reg_query() {
  local args=(query "$1")
  if [[ $# -ge 2 ]]; then
    if [[ -z $2 ]]; then args+=(/ve); else args+=(/v "$2"); fi
  fi
  local out rc=0
  out=$(wh__sys reg "${args[@]}" "$WH_REG_VIEW" 2>&1) || rc=$?
  printf '%s\n' "$out" | tr -d '\r'
  return "$rc"
}

# wh_reg_export KEY FILE: the key as a .reg file in UTF-16, which keeps
# every character (piped "reg query" output does not, under an English
# locale).
wh_reg_export() {
  local win
  win=$(wh_winpath "$2")
  wh__sys reg export "$1" "$win" "$WH_REG_VIEW" /y >/dev/null 2>&1
}

# wh_reg_import FILE: puts back what wh_reg_export wrote, in the same view.
wh_reg_import() {
  local win
  win=$(wh_winpath "$1")
  wh__sys reg import "$win" "$WH_REG_VIEW" >/dev/null 2>&1
}

# wh_reg_value KEY [VALUE]: one value as "TYPE DATA", read from an export:
#   REG_SZ text            REG_EXPAND_SZ text (not expanded)
#   REG_DWORD 10           REG_QWORD 10 (decimal)
#   REG_BINARY 0a0b        REG_MULTI_SZ a\0b (items between "\0")
# Fails when the key or value is missing. An empty VALUE is the default.
wh_reg_value() {
  local file="$WH_WORK/value.$$.$RANDOM.reg"
  wh_reg_export "$1" "$file" || wh_fail "cannot export $1 (missing?)"
  local out rc=0
  out=$(iconv -f UTF-16 -t UTF-8 "$file" | tr -d '\r' | perl -e '
    my $want = shift;
    my $text = do { local $/; <STDIN> };
    $text =~ s/,\\\n\s*/,/g;
    my $sections = 0;
    sub utf16 {
      my @b = map { hex } grep { length } split /,/, shift;
      my @u;
      for (my $i = 0; $i + 1 < @b; $i += 2) { push @u, $b[$i] | ($b[$i + 1] << 8) }
      my $s = "";
      for (my $i = 0; $i < @u; $i++) {
        my $c = $u[$i];
        if ($c >= 0xD800 && $c < 0xDC00 && $i + 1 < @u) { $c = 0x10000 + (($c - 0xD800) << 10) + ($u[++$i] - 0xDC00) }
        $s .= chr($c);
      }
      utf8::encode($s);
      return $s;
    }
    sub number {
      my @b = reverse map { hex } grep { length } split /,/, shift;
      my $n = 0;
      $n = $n * 256 + $_ for @b;
      return sprintf("%.0f", $n);
    }
    for (split /\n/, $text) {
      if (/^\[/) { last if $sections++; next }
      my ($name, $data);
      if (/^@=(.*)$/) { ($name, $data) = ("", $1) }
      elsif (/^"((?:[^"\\]|\\.)*)"=(.*)$/) { ($name, $data) = ($1, $2); $name =~ s/\\(.)/$1/g }
      else { next }
      next unless $name eq $want;
      if ($data =~ /^"(.*)"$/) {
        my $s = $1;
        $s =~ s/\\(.)/$1 eq "n" ? "\n" : $1 eq "r" ? "\r" : $1 eq "0" ? "\0" : $1/ge;
        print "REG_SZ $s\n";
      } elsif ($data =~ /^dword:([0-9a-fA-F]{8})$/) {
        print "REG_DWORD ", hex($1), "\n";
      } elsif ($data =~ /^hex:(.*)$/) {
        print "REG_BINARY ", join("", map { lc } grep { length } split /,/, $1), "\n";
      } elsif ($data =~ /^hex\(2\):(.*)$/) {
        (my $s = utf16($1)) =~ s/\0+$//;
        print "REG_EXPAND_SZ $s\n";
      } elsif ($data =~ /^hex\(7\):(.*)$/) {
        my @items = split /\0/, utf16($1);
        print "REG_MULTI_SZ ", join("\\0", @items), "\n";
      } elsif ($data =~ /^hex\(b\):(.*)$/) {
        print "REG_QWORD ", number($1), "\n";
      } elsif ($data =~ /^hex\(4\):(.*)$/) {
        print "REG_DWORD ", number($1), "\n";
      } elsif ($data =~ /^hex\(([0-9a-f]+)\):(.*)$/) {
        print "REG_TYPE_$1 ", join("", grep { length } split /,/, $2), "\n";
      } else {
        print "UNKNOWN $data\n";
      }
      exit 0;
    }
    exit 1;' "${2:-}") || rc=$?
  rm -f "$file"
  [[ $rc == 0 ]] || wh_fail "no value \"${2:-(default)}\" under $1"
  printf '%s\n' "$out"
}

# wh_reg_add KEY VALUE TYPE DATA: one value in the 32-bit view, as a
# previous installation or the user would have left it.
wh_reg_add() {
  local out
  out=$(wh__sys reg add "$1" /v "$2" /t "$3" /d "$4" /f "$WH_REG_VIEW" 2>&1) || wh_fail "cannot add $2 to $1: $out"
}

# wh_reg_delete KEY [VALUE]: removes a key (or one value) from the 32-bit
# view; nothing to remove is not an error.
wh_reg_delete() {
  if [[ $# -ge 2 ]]; then
    wh_reg_query "$1" "$2" >/dev/null 2>&1 || return 0
    wh__sys reg delete "$1" /v "$2" /f "$WH_REG_VIEW" >/dev/null 2>&1 || wh_fail "cannot delete the value $2 of $1"
  else
    wh_reg_query "$1" >/dev/null 2>&1 || return 0
    wh__sys reg delete "$1" /f "$WH_REG_VIEW" >/dev/null 2>&1 || wh_fail "cannot delete $1"
  fi
}

# wh_set_winver win7|win81|win10: the Windows version programs see from now
# on; the one before comes back at the end of the test. Wine's default is a
# Windows 7 workstation, while its "win7" setting reports a server, so win7
# removes the setting.
wh_set_winver() {
  case $1 in win7 | win81 | win10) ;; *) wh_fail "wh_set_winver: win7, win81 or win10, not \"$1\"" ;; esac
  if [[ -z ${WH_WINVER_SAVED+x} ]]; then
    WH_WINVER_SAVED=$(WH_FAILING=1 wh_reg_value 'HKCU\Software\Wine' Version 2>/dev/null | sed -n 's/^REG_SZ //p') || true
  fi
  wh__winver "$1"
}

wh__winver() {
  if [[ -z $1 || $1 == win7 ]]; then
    wh__sys reg delete 'HKCU\Software\Wine' /v Version /f >/dev/null 2>&1 || true
  else
    wh__sys reg add 'HKCU\Software\Wine' /v Version /d "$1" /f >/dev/null 2>&1 || wh_fail "cannot set the Windows version $1"
  fi
}

wh__restore_winver() { wh__winver "$WH_WINVER_SAVED"; }

# wh_setupkit ARGS...: the package tool; the native one when SETUPKIT_NATIVE
# names it, else setupkit.exe under Wine (absolute Unix paths become Z:).
wh_setupkit() {
  if [[ -n ${SETUPKIT_NATIVE:-} ]]; then
    [[ -x $SETUPKIT_NATIVE ]] || wh_fail "SETUPKIT_NATIVE=$SETUPKIT_NATIVE is not a program"
    "$SETUPKIT_NATIVE" "$@"
    return
  fi
  local args=() a
  for a in "$@"; do
    if [[ $a == /* ]]; then a="Z:${a//\//\\}"; fi
    args+=("$a")
  done
  wh_wine "$WH_BIN/setupkit.exe" "${args[@]}"
}

# wh_build_setup PROJECT.xml OUT.exe: a setup built from the installer
# named by SETUP_EXE.
wh_build_setup() {
  local stub=${SETUP_EXE:-$WH_BIN/Setup.exe} out rc=0
  [[ -f $stub ]] || wh_fail "no installer to build setups from: $stub"
  out=$(wh_setupkit build "$1" --stub "$stub" -o "$2" 2>&1) || rc=$?
  [[ $rc == 0 && -f $2 ]] || wh_fail "setupkit build $1 failed (exit $rc): $out"
}

# wh_screenshot NAME [TITLE]: the whole screen, or only the window of that
# title (found with the windriver options in WH_SHOT_OPTS), into $WH_SHOTS/NAME.png, for a person to look at later; prints the
# file's path. Never fails the test.
wh_screenshot() {
  local dir=${WH_SHOTS:-$(dirname "$WH_BIN")/test-shots} crop=() rect
  mkdir -p "$dir" 2>/dev/null || true
  if [[ -n ${2:-} ]]; then
    # WH_SHOT_OPTS: windriver options that find the window ("--class #32770").
    # shellcheck disable=SC2086
    rect=$(wh_windriver --timeout 5 ${WH_SHOT_OPTS:-} dump "$2" 2>/dev/null | tr -d '\r' | sed -n 's/^rect=//p')
    if [[ $rect =~ ^(-?[0-9]+),(-?[0-9]+),([0-9]+),([0-9]+)$ ]]; then
      crop=(-crop "${BASH_REMATCH[3]}x${BASH_REMATCH[4]}+${BASH_REMATCH[1]}+${BASH_REMATCH[2]}")
    fi
  fi
  if import -display "$DISPLAY" -window root "${crop[@]}" +repage "$dir/$1.png" >/dev/null 2>&1; then
    echo "$dir/$1.png"
  else
    echo "harness: no screenshot $1 (is imagemagick installed?)" >&2
  fi
}

# wh_free_port: a loopback port nothing listens on; wh_wait_port PORT:
# waits up to 20 s for a server to listen there.
wh_free_port() {
  local p
  while :; do
    p=$((20000 + RANDOM % 40000))
    if ! (echo >/dev/tcp/127.0.0.1/$p) 2>/dev/null; then echo "$p"; return; fi
  done
}
wh_wait_port() {
  local _
  for _ in $(seq 200); do (echo >/dev/tcp/127.0.0.1/"$1") 2>/dev/null && return 0; sleep 0.1; done
  return 1
}

# wh_start_squid DIR: squid on a free loopback port that demands Digest
# authentication (user alice, password secret, realm proxyrealm), its files
# and logs (squid-access.log) in DIR; sets WH_SQUID_PORT. Ended at exit.
# (Not in "$(...)": the end of the test would not know the server.)
wh_start_squid() {
  local dir=$1 port digest
  # Run as root, squid drops to its own user, which must reach its files.
  chmod a+x "$WH_WORK"
  chmod 777 "$dir"
  digest=$(printf '%s' "alice:proxyrealm:secret" | md5sum | cut -d' ' -f1)
  echo "alice:proxyrealm:$digest" >"$dir/digest"
  port=$(wh_free_port)
  cat >"$dir/squid.conf" <<CONF
http_port 127.0.0.1:$port
pid_filename $dir/squid.pid
access_log stdio:$dir/squid-access.log
cache_log $dir/squid-cache.log
cache_store_log none
cache deny all
coredump_dir $dir
shutdown_lifetime 0 seconds
auth_param digest program /usr/lib/squid/digest_file_auth -c $dir/digest
auth_param digest realm proxyrealm
acl authed proxy_auth REQUIRED
http_access allow authed
http_access deny all
CONF
  squid -N -f "$dir/squid.conf" >"$dir/squid.out" 2>&1 </dev/null &
  wh_on_exit kill "$!"
  wh_wait_port "$port" || wh_fail "squid did not start: $(cat "$dir/squid-cache.log")"
  WH_SQUID_PORT=$port
}

# wh_control DUMPFILE NAME: the line of a `windriver dump` for the control
# of that name: CLASS|TEXT|VISIBLE|ENABLED|X,Y,W,H|NAME|PX,PY|CHECKED.
wh_control() {
  tr -d '\r' <"$1" | awk -F'|' -v n="$2" '$6 == n { print; exit }'
}

# wh_expect_control DUMPFILE NAME VISIBLE PX,PY,W,H [TEXT]: the control is
# there, shown or hidden, at PX,PY of its parent, W x H (a "*" for a value
# not checked), with that text when one is given.
wh_expect_control() {
  local line f
  line=$(wh_control "$1" "$2")
  [[ -n $line ]] || wh_fail "no control $2 in the window"
  IFS='|' read -r -a f <<<"$line"
  [[ ${f[2]} == "$3" ]] || wh_fail "$2: visible=${f[2]}, expected $3 ($line)"
  local want got size
  IFS=, read -r -a want <<<"$4"
  size=${f[4]#*,}; size=${size#*,}
  IFS=, read -r -a got <<<"${f[6]},$size"
  local i
  for i in 0 1 2 3; do
    [[ ${want[i]} == "*" || ${want[i]} == "${got[i]}" ]] || wh_fail "$2: at ${f[6]} size ${size/,/ x }, expected $4 ($line)"
  done
  if (($# > 4)); then [[ ${f[1]} == "$5" ]] || wh_fail "$2: text \"${f[1]}\", expected \"$5\""; fi
}

# wh_assert_eq EXPECTED ACTUAL [WHAT]
wh_assert_eq() {
  [[ $1 == "$2" ]] || wh_fail "${3:-value}: expected \"$1\", got \"$2\""
}

# wh_assert_file_content FILE EXPECTED [WHAT]: the file holds exactly these
# bytes (no newline is added).
wh_assert_file_content() {
  [[ -f $1 ]] || wh_fail "${3:-$1}: no such file"
  local want="$WH_WORK/expected.$$.$RANDOM"
  printf '%s' "$2" >"$want"
  if ! cmp -s "$want" "$1"; then
    local got
    got=$(head -c 2000 "$1" | od -An -c | head -n 20)
    rm -f "$want"
    wh_fail "${3:-$1}: expected \"$2\", the file holds:$got"
  fi
  rm -f "$want"
}

# wh_fileinfo FILE: size=, created=, written=, attributes= as Windows sees
# them (local times). wh_filetime_of FILE: the last-write time alone, as
# "yyyy-mm-dd hh:nn:ss" in the local time that Explorer shows.
wh_fileinfo() {
  local out
  out=$(wh_tool fileinfo "$1" 2>&1) || wh_fail "fileinfo $1: $out"
  printf '%s\n' "$out"
}
wh_filetime_of() { wh_fileinfo "$1" | sed -n 's/^written=//p'; }

# Shell folders as the build's programs see them (Windows paths): a 32-bit
# installer's {pf} is "C:\Program Files (x86)" in a 64-bit prefix.
wh_folder() {
  local out
  out=$(wh_tool fileinfo --folder "$1" 2>&1) || wh_fail "no shell folder $1: $out"
  printf '%s\n' "$out"
}
wh_program_files() { wh_folder ProgramFiles; }
wh_common_programs() { wh_folder CommonPrograms; }
wh_desktop() { wh_folder Desktop; }
