#!/bin/bash
# test.sh: builds every configuration and runs every test.
#
#   native       unit, example and end-to-end tests (ctest)
#   native-asan  the same under AddressSanitizer and UBSan (ctest)
#   win32        the 32-bit MinGW build, the one users receive: its unit,
#                window, example and installation tests under Wine (ctest)
#   win64        the 64-bit MinGW build: its unit tests, and a 64-bit product
#                installed with /Silent and removed under Wine (ctest)
#   fuzz         each fuzz target for FUZZ_SECONDS; a finding fails it
#   package      setupkit's Debian package (scripts/package.sh): lintian
#                finds no error in it, and tests/package/deb_install.sh
#                installs it, builds setups with /usr/bin/setupkit alone and
#                removes it (needs root; skipped otherwise)
#
# The Windows stages run through tests/wine/wine-route.sh, which the whole
# run re-enters: on a kernel that refuses 32-bit code it runs Wine's 32-bit
# loader through QEMU's user-mode emulator, in a namespace of the run's own.
# Only where no route runs 32-bit programs does the win32 stage take the
# win64 build instead, and says so.
#
# Prints ctest's summary for each ctest run and ends with one line
# "N passed, N failed" (every ctest test and every fuzz target); exits
# non-zero when anything failed, a build included.
#
# Environment:
#   BUILD_ROOT    folder of the build folders (default: build)
#   STAGES        which of the above to run (default: all six)
#   FUZZ_SECONDS  time per fuzz target (default: 60)
#   JOBS          parallel compile and test jobs (default: the core count)
#   SKIP_DEPS=1   do not check and install the Debian packages
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
STAGES="${STAGES:-native native-asan win32 win64 fuzz package}"
for s in $STAGES; do
  case "$s" in native|native-asan|win32|win64|fuzz|package) ;; *) echo "test.sh: unknown stage '$s' in STAGES" >&2; exit 2 ;; esac
done
wants() { [[ " $STAGES " == *" $1 "* ]]; }

if [[ ${SKIP_DEPS:-0} != 1 ]]; then
  deps_args=()
  wants win32 || wants win64 || deps_args+=(--no-wine)
  bash scripts/install-deps.sh "${deps_args[@]}"
fi

# The whole run goes on inside the route for 32-bit Windows programs: the
# native stages' tests start the 32-bit installer under Wine too.
if { wants win32 || wants win64; } && [[ -z ${SETUPKIT_WINE_ROUTE:-} ]]; then
  export STAGES
  SKIP_DEPS=1 exec bash tests/wine/wine-route.sh bash "$root/scripts/test.sh"
fi

BUILD_ROOT="${BUILD_ROOT:-build}"
mkdir -p "$BUILD_ROOT"
BUILD_ROOT="$(realpath "$BUILD_ROOT")"
FUZZ_SECONDS="${FUZZ_SECONDS:-60}"
JOBS="${JOBS:-$(nproc)}"

[[ $FUZZ_SECONDS =~ ^[1-9][0-9]*$ ]] || { echo "test.sh: FUZZ_SECONDS must be a positive number of seconds, not '$FUZZ_SECONDS'" >&2; exit 2; }
[[ $JOBS =~ ^[1-9][0-9]*$ ]] || { echo "test.sh: JOBS must be a positive number, not '$JOBS'" >&2; exit 2; }

passed=0
failed=0
summary=()
started=$SECONDS
banner() { printf '\n==== %s\n' "$*"; }
elapsed() { printf '%dm%02ds' $(((SECONDS - $1) / 60)) $(((SECONDS - $1) % 60)); }

# Everything this run starts is ended by its own id, and its temporary
# folders go with it.
xvfb_pid=""
scratch="$(mktemp -d "${TMPDIR:-/tmp}/setupkit-test.XXXXXX")"
cleanup() {
  if [[ -n ${WINEPREFIX:-} && -d $WINEPREFIX ]]; then wineserver -k >/dev/null 2>&1 || true; fi
  if [[ -n $xvfb_pid ]]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT

# Windows programs run under Wine in the end-to-end tests and in the win32
# stage, and a GUI program without a display never ends.
if command -v Xvfb >/dev/null 2>&1 && [[ -z ${DISPLAY:-} ]]; then
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$scratch/display" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do [[ -s $scratch/display ]] && break; sleep 0.1; done
  if [[ -s $scratch/display ]]; then
    DISPLAY=":$(head -n 1 "$scratch/display")"
    export DISPLAY
    echo "test.sh: Xvfb on $DISPLAY"
  else
    echo "test.sh: Xvfb did not start; Windows programs run without a display" >&2
  fi
fi

configure_and_build() {  # preset
  local dir="$BUILD_ROOT/$1" t=$SECONDS
  if cmake --preset "$1" -B "$dir" >"$BUILD_ROOT/$1.configure.log" 2>&1 &&
     cmake --build "$dir" -j "$JOBS" >"$BUILD_ROOT/$1.build.log" 2>&1; then
    echo "$1: built in $(elapsed $t)"
    return 0
  fi
  tail -n 60 "$BUILD_ROOT/$1.configure.log" "$BUILD_ROOT/$1.build.log" 2>/dev/null || true
  echo "$1: BUILD FAILED (logs in $BUILD_ROOT/$1.*.log)"
  failed=$((failed + 1))
  summary+=("$1: build failed")
  return 1
}

# ctest exits non-zero when a test fails; the counts come from its summary
# line "NN% tests passed, F tests failed out of M". A NAME other than the
# preset runs a part of its tests, chosen by the further ctest arguments.
run_ctest() {  # preset [NAME CTEST-ARGS...]
  local preset=$1 name=${2:-$1}
  local extra=("${@:3}")
  local dir="$BUILD_ROOT/$preset" log="$BUILD_ROOT/$name.ctest.log" rc=0 t=$SECONDS
  ctest --test-dir "$dir" -j "$JOBS" --output-on-failure --timeout 900 "${extra[@]}" >"$log" 2>&1 || rc=$?
  local line
  line="$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)"
  if [[ -z $line ]]; then
    tail -n 60 "$log"
    echo "$name: ctest gave no summary (exit $rc; log in $log)"
    failed=$((failed + 1))
    summary+=("$name: ctest gave no summary")
    return
  fi
  local bad total
  bad="$(sed -E 's/.* ([0-9]+) tests? failed out of .*/\1/' <<<"$line")"
  total="$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")"
  if [[ $bad -gt 0 ]]; then
    # The output of the failed tests, then the list of them.
    grep -vE '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed' "$log" | tail -n 300
  else
    sed -n '/^[0-9]*% tests passed/,$p' "$log"
  fi
  if [[ $rc -ne 0 && $bad -eq 0 ]]; then
    # Every test passed, yet ctest failed: discovery or a test file broke.
    echo "$name: ctest exited with $rc although no test failed"
    bad=1
    total=$((total + 1))
  fi
  # Skipped and disabled tests are in the total but passed nothing.
  local skipped
  skipped="$(sed -n '/^The following tests did not run:/,/^$/p' "$log" | grep -cE '\((Skipped|Disabled)\)' || true)"
  local ok=$((total - bad - skipped))
  echo "$name: $ok passed, $bad failed, $skipped skipped in $(elapsed $t)"
  passed=$((passed + ok))
  failed=$((failed + bad))
  summary+=("$name: $ok passed, $bad failed, $skipped skipped in $(elapsed $t)")
}

# A fuzz target passes when it runs its time without a crash, leak,
# timeout or memory blow-up. The corpus grows under the build folder, so a
# developer's next run starts from what this one found.
run_fuzzer() {  # binary
  local f="$1" name
  name="$(basename "$f")"
  local corpus="$BUILD_ROOT/fuzz/corpus/$name" artifacts="$BUILD_ROOT/fuzz/artifacts/$name"
  mkdir -p "$corpus" "$artifacts"
  if [[ -d tests/fuzz/corpus/$name ]]; then cp -n tests/fuzz/corpus/"$name"/* "$corpus"/ 2>/dev/null || true; fi
  rm -f "$artifacts"/*
  local rc=0
  timeout --kill-after=30 $((FUZZ_SECONDS + 120)) "$f" -max_total_time="$FUZZ_SECONDS" -timeout=10 \
    -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" \
    >"$BUILD_ROOT/fuzz/$name.log" 2>&1 || rc=$?
  if [[ $rc -eq 0 && -z "$(ls -A "$artifacts")" ]]; then
    echo "$name: ok, $(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$BUILD_ROOT/fuzz/$name.log" |
      grep -oE '[0-9]+$' || echo '?') runs, corpus of $(ls "$corpus" | wc -l)"
    return 0
  fi
  echo "$name: FINDING (exit $rc)"
  grep -E -A12 '^==[0-9]+== ?ERROR|^SUMMARY|Test unit written|ALARM|out-of-memory' "$BUILD_ROOT/fuzz/$name.log" | head -n 60
  # The reproducer itself, so that a finding on a machine that is gone can
  # be replayed: base64 -d >crash && the target crash.
  local r
  for r in "$artifacts"/*; do
    [[ -f $r ]] || continue
    echo "  reproducer: $r ($(stat -c %s "$r") bytes, base64 below)"
    head -c 8192 "$r" | base64 -w 76 | sed 's/^/    /'
  done
  return 1
}

run_fuzzers() {
  local targets=() t=$SECONDS
  local f
  for f in "$BUILD_ROOT"/fuzz/bin/fuzz_*; do [[ -x $f ]] && targets+=("$f"); done
  if [[ ${#targets[@]} -eq 0 ]]; then
    echo "fuzz: no fuzz targets were built"
    failed=$((failed + 1))
    summary+=("fuzz: no targets")
    return
  fi
  # As many targets at once as there are jobs; each one reports into its
  # own file, shown in order once all are done.
  local pids=() i ok=0 bad=0
  for i in "${!targets[@]}"; do
    if [[ ${#pids[@]} -ge $JOBS ]]; then
      wait "${pids[0]}" || true
      pids=("${pids[@]:1}")
    fi
    (rc=0; run_fuzzer "${targets[$i]}" >"$BUILD_ROOT/fuzz/result.$i" 2>&1 || rc=$?; echo $rc >"$BUILD_ROOT/fuzz/rc.$i") &
    pids+=($!)
  done
  for pid in "${pids[@]}"; do wait "$pid" || true; done
  for i in "${!targets[@]}"; do
    cat "$BUILD_ROOT/fuzz/result.$i"
    if [[ "$(cat "$BUILD_ROOT/fuzz/rc.$i" 2>/dev/null)" == 0 ]]; then ok=$((ok + 1)); else bad=$((bad + 1)); fi
    rm -f "$BUILD_ROOT/fuzz/result.$i" "$BUILD_ROOT/fuzz/rc.$i"
  done
  echo "fuzz: $ok passed, $bad failed in $(elapsed $t)"
  passed=$((passed + ok))
  failed=$((failed + bad))
  summary+=("fuzz: $ok passed, $bad failed")
}

if wants native; then
  banner "native: unit, example and end-to-end tests"
  if configure_and_build native; then run_ctest native; fi
fi

if wants native-asan; then
  banner "native-asan: the same under AddressSanitizer and UBSan"
  if configure_and_build native-asan; then
    export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}" UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
    run_ctest native-asan
  fi
fi

# A prefix of the stage's own, and one server for all its tests rather than
# one started and stopped for each.
with_wine_prefix() {  # stage COMMAND...
  local stage=$1 t=$SECONDS
  shift
  export WINEPREFIX="$scratch/wineprefix-$stage" WINEDEBUG=-all
  if bash tests/wine/wine-run.sh --prepare; then
    echo "$stage: Wine prefix ready in $(elapsed $t)"
    "$@"
    wineserver -k >/dev/null 2>&1 || true
  else
    echo "$stage: cannot create a Wine prefix"
    failed=$((failed + 1))
    summary+=("$stage: no Wine prefix")
  fi
  unset WINEPREFIX
}

if wants win32; then
  banner "win32: the 32-bit MinGW build (what users receive), its tests under Wine"
  t_stage=$SECONDS
  # shellcheck source=../tests/wine/wine-env.sh
  source tests/wine/wine-env.sh
  echo "win32: Wine route: ${SETUPKIT_WINE_ROUTE:-none}"
  win_preset=win32
  if [[ $SETUPKIT_WINE_BITS == 64 ]]; then
    # The product is the 32-bit build and is built all the same; its tests
    # need a Wine that can run it.
    echo "win32: ######## NO 32-BIT WINE HERE: the Windows tests run the 64-bit build (preset win64) instead;"
    echo "win32: ######## the 32-bit Setup.exe and Uninstall.exe that users receive are NOT tested."
    configure_and_build win32 || true
    win_preset=win64
    summary+=("win32: NOT TESTED, the win64 build stood in (no route for 32-bit programs)")
  fi
  if configure_and_build "$win_preset"; then
    with_wine_prefix win32 run_ctest "$win_preset" win32
  fi
  echo "win32: stage took $(elapsed $t_stage)"
fi

if wants win64; then
  # The 64-bit build runs natively under Wine's 64-bit loader, also inside
  # the emulated route: its unit tests, and a 64-bit product installed
  # (Program Files, the 64-bit view) and removed by its uninstaller.
  banner "win64: the 64-bit MinGW build, its unit tests, a /Silent installation and removal under Wine"
  t_stage=$SECONDS
  export SETUPKIT_WINE_BITS=64
  # shellcheck source=../tests/wine/wine-env.sh
  source tests/wine/wine-env.sh
  win64_tests() {
    run_ctest win64 win64-unit -LE '^wine$'
    run_ctest win64 win64-install -R '^wine_e2e_(install|uninstall)_silent$'
  }
  if configure_and_build win64; then
    with_wine_prefix win64 win64_tests
  fi
  echo "win64: stage took $(elapsed $t_stage)"
fi

if wants fuzz; then
  banner "fuzz: each target for ${FUZZ_SECONDS} s"
  if configure_and_build fuzz; then run_fuzzers; fi
fi

if wants package; then
  banner "package: setupkit as a Debian package, checked by lintian, installed, used and removed"
  t_stage=$SECONDS
  # Two checks: the package builds with no lintian error, and it works.
  if SKIP_DEPS=1 BUILD_ROOT="$BUILD_ROOT" DIST="$BUILD_ROOT/deb-dist" bash scripts/package.sh >"$BUILD_ROOT/package.log" 2>&1; then
    grep -E '^package.sh: |^[EWI]: ' "$BUILD_ROOT/package.log" || true
    passed=$((passed + 1))
    summary+=("package: built, no lintian error")
    rc=0
    # The native stage's tool, when built, must pack the same bytes.
    other=()
    [[ ! -x $BUILD_ROOT/native/bin/setupkit ]] || other=("$BUILD_ROOT/native/bin/setupkit")
    bash tests/package/deb_install.sh "$BUILD_ROOT"/deb-dist/setupkit_*.deb "${other[@]}" \
      >"$BUILD_ROOT/deb_install.log" 2>&1 || rc=$?
    cat "$BUILD_ROOT/deb_install.log"
    if [[ $rc == 0 ]]; then
      passed=$((passed + 1))
      summary+=("package: installed, used and removed")
    elif [[ $rc == 77 ]]; then
      summary+=("package: install test skipped (needs root)")
    else
      failed=$((failed + 1))
      summary+=("package: the install test failed")
    fi
  else
    tail -n 60 "$BUILD_ROOT/package.log"
    failed=$((failed + 1))
    summary+=("package: scripts/package.sh failed")
  fi
  echo "package: stage took $(elapsed $t_stage)"
fi

banner "summary ($(elapsed $started))"
for line in "${summary[@]}"; do echo "  $line"; done
echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
