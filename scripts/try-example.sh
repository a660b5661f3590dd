#!/bin/bash
# try-example.sh [--runner CMD] [--stub SETUP.exe] [--work DIR] [--quiet] SETUPKIT
#
# Puts one setupkit executable through the example product in
# examples/hello: reads its project as a script (XML and JSON), round-trips
# its files through encode and decode and, given an installer stub, builds a
# setup from it, lists it and extracts it again. Every step checks what it
# got and the script stops at the first difference, naming it.
#
# --runner  command that starts SETUPKIT (tests/wine/wine-run.sh for the
#           Windows build)
# --stub    the installer to pack into; without it no setup is built
# --work    folder for the outputs (kept); default a temporary one (removed)
# --quiet   print only failures
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
example="$root/examples/hello"
guid='{94D44A92-0BE3-4701-9588-FAAD61DB7B0B}'
full_script_res='{54682D66-DEF6-4E5B-8AB5-70FFDF2C0E3A}'

runner=()
stub=""
work=""
quiet=0
setupkit=""
usage() { sed -n '2,16p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' >&2; exit 2; }
while [[ $# -gt 0 ]]; do
  case "$1" in
    --runner) [[ $# -ge 2 ]] || usage; read -r -a runner <<<"$2"; shift 2 ;;
    --stub) [[ $# -ge 2 ]] || usage; stub="$(realpath "$2")"; shift 2 ;;
    --work) [[ $# -ge 2 ]] || usage; work="$2"; shift 2 ;;
    --quiet) quiet=1; shift ;;
    -h|--help) usage ;;
    -*) echo "try-example.sh: unknown option '$1'" >&2; usage ;;
    *) [[ -z $setupkit ]] || usage; setupkit="$(realpath "$1")"; shift ;;
  esac
done
[[ -n $setupkit ]] || usage
# The outputs are made in the work folder, so a runner given by a relative
# path is fixed first.
if [[ ${#runner[@]} -gt 0 && ${runner[0]} == */* ]]; then runner[0]="$(realpath "${runner[0]}")"; fi
[[ -x $setupkit || ${#runner[@]} -gt 0 ]] || { echo "try-example.sh: no program at $setupkit" >&2; exit 2; }
[[ -z $stub || -f $stub ]] || { echo "try-example.sh: no installer stub at $stub" >&2; exit 2; }

if [[ -z $work ]]; then
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
else
  rm -rf "$work" && mkdir -p "$work"
fi
work="$(realpath "$work")"
# Relative paths only below here: they mean the same to a Windows program
# under Wine as to a native one.
cp -r "$example" "$work/hello"
cd "$work"

say() { [[ $quiet -eq 1 ]] || printf '%s\n' "$*"; }
step() { say ""; say "==> $*"; }
fail() { echo "try-example.sh: FAILED: $*" >&2; exit 1; }
# Standard output of a Windows program ends its lines with CR LF.
sk() { "${runner[@]}" "$setupkit" "$@"; }
show() { [[ $quiet -eq 1 ]] || cat "$1"; }
has() { grep -qF -- "$2" "$1" || fail "$1 lacks: $2"; }
same() { cmp -s "$1" "$2" || fail "$1 and $2 differ"; }
nocr() { tr -d '\r' <"$1"; }

step "setupkit script hello/hello.xml"
sk script hello/hello.xml >script.xml || fail "setupkit script exited with $?"
show script.xml
# The example is written in the form the tool writes, so every property it
# reads must come back out exactly.
if ! diff <(nocr hello/hello.xml) <(nocr script.xml) >script.diff; then
  cat script.diff >&2
  fail "the script printed is not hello/hello.xml"
fi

step "setupkit script hello/hello.xml --json"
sk script hello/hello.xml --json >script.json || fail "setupkit script --json exited with $?"
show script.json
nocr script.json >script.lf.json
for want in '"AppTitleENG": "Hello"' "\"GUID\": \"$guid\"" '"DefInstallPath": "{pf}\\Hello"' \
            '"SourceMask": "*.txt"' '"SourceMask": "hello.ini"' '"ValueName": "InstallDir"' \
            '"FileName": "notepad.exe"' '"Name": "{AppTitle} README"'; do
  has script.lf.json "$want"
done

step "encode and decode round trip"
for f in hello/files/README.txt hello/files/hello.ini hello/license/license-chs.txt hello/hello.png hello/hello.xml; do
  name="$(basename "$f")"
  sk encode "$f" "$name.enc" || fail "setupkit encode $f exited with $?"
  sk decode "$name.enc" "$name.dec" || fail "setupkit decode $name.enc exited with $?"
  ! cmp -s "$f" "$name.enc" || fail "encoding left $f as it was"
  same "$f" "$name.dec"
  say "  $f: $(stat -c %s "$f") bytes, encoded $(stat -c %s "$name.enc"), decoded back unchanged"
done
# A file that was never encoded must be refused with a message, not
# "decoded" into garbage.
if sk decode hello/files/README.txt bogus.dec 2>bogus.err; then
  fail "setupkit decode accepted a plain text file"
fi
[[ -s bogus.err ]] || fail "setupkit decode failed on a plain text file without saying why"
[[ ! -e bogus.dec ]] || fail "setupkit decode left an output behind after failing"
say "  a plain text file is refused: $(nocr bogus.err | head -n 1)"

if [[ -n $stub ]]; then
  # An Uninstall.exe beside setupkit goes into every product that has none
  # of its own: the example then carries four files.
  uninstaller="$(dirname "$setupkit")/Uninstall.exe"
  files=3
  [[ ! -f $uninstaller ]] || files=4
  cp "$stub" stub.exe
  step "setupkit build hello/hello.xml --stub stub.exe -o HelloSetup.exe --online HelloOnlineSetup.exe"
  sk build hello/hello.xml --stub stub.exe -o HelloSetup.exe --online HelloOnlineSetup.exe >build.txt ||
    fail "setupkit build exited with $?"
  show build.txt
  has build.txt "$files files"
  [[ $files == 3 ]] || has build.txt "added the uninstaller"
  has build.txt "HelloOnlineSetup.exe: online setup"

  step "setupkit list HelloOnlineSetup.exe"
  sk list HelloOnlineSetup.exe >online.txt || fail "setupkit list exited with $? on the online setup"
  show online.txt
  nocr online.txt >online.lf.txt
  has online.lf.txt "Setup:            online (downloads the full setup)"
  has online.lf.txt "Full setup from:  https://hello.example.com/download/HelloSetup.exe"
  has online.lf.txt "Files: 0, 0 bytes"

  step "setupkit list HelloSetup.exe"
  sk list HelloSetup.exe >list.txt || fail "setupkit list exited with $?"
  show list.txt
  nocr list.txt >list.lf.txt
  for want in "Title (ENG):      Hello" "GUID:             $guid" "Languages:        CHS, CHT, ENG" \
              "Files: $files, " '{app}\README.txt' '{app}\docs\CHANGES.txt' '{app}\hello.ini' \
              'HKLM\Software\Hello Software\Hello  InstallDir = {app}' '{desktop}\Hello README.lnk' \
              'notepad.exe "{app}README.txt"'; do
    has list.lf.txt "$want"
  done

  step "setupkit extract HelloSetup.exe extracted"
  sk extract HelloSetup.exe extracted >extract.txt || fail "setupkit extract exited with $?"
  show extract.txt
  if [[ $files == 4 ]]; then
    same "$uninstaller" "extracted/{app}/Uninstall.exe"
    rm "extracted/{app}/Uninstall.exe"
  fi
  diff -r hello/files "extracted/{app}" || fail "the extracted files differ from the product's"
  same hello/hello.png extracted/icon.png
  # License texts that are not plain ASCII travel with a UTF-8 mark.
  for lang in chs cht eng; do
    up="$(tr '[:lower:]' '[:upper:]' <<<"$lang")"
    tail -c +4 "extracted/license.$up.txt" >"license.$lang.nomark"
    if [[ $lang == eng ]]; then
      same "hello/license/license-$lang.txt" "extracted/license.$up.txt"
    else
      [[ "$(head -c 3 "extracted/license.$up.txt" | od -An -tx1 | tr -d ' ')" == efbbbf ]] ||
        fail "license.$up.txt lacks its UTF-8 mark"
      same "hello/license/license-$lang.txt" "license.$lang.nomark"
    fi
  done
  say "  files, icon and the three licenses are the ones packed"

  if command -v wrestool >/dev/null 2>&1; then
    step "the script resource as an independent PE reader sees it"
    wrestool -x --raw --type=10 --name="$full_script_res" HelloSetup.exe >script.res ||
      fail "wrestool cannot read the script resource"
    [[ -s script.res ]] || fail "HelloSetup.exe has no script resource $full_script_res"
    sk decode script.res script.res.xml || fail "the script resource does not decode"
    same extracted/script.xml script.res.xml
    has script.res.xml "AppTitleENG=\"Hello\""
    say "  $(wrestool -l --type=10 HelloSetup.exe | wc -l) RCDATA resources; the script decodes to the extracted one"
  fi
fi

say ""
say "example: all checks passed"
