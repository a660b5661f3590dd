#!/bin/bash
# Damaged setups installed with /Silent over the installed previous version.
# A corpus made from one good setup: the file cut short at several offsets;
# the script, the file data, a file's image and the picture flipped,
# shortened and emptied, a license text flipped and shortened; sizes,
# offsets and GUIDs of the file data index and of the script that disagree
# with the data. Each setup ends with
# exit code 1 before anything changes (the previous version's files, its
# uninstaller and its uninstall entry as they were) or, for damage that
# only inflating a file's data can find, with 4 and the name of that file.
# None crashes, none writes anywhere but into the product's folder.
. "$(dirname "$0")/harness.sh"
. "$(dirname "$0")/product.sh"
wh_init

guid='{6C1B7E2A-0D55-4E0C-9A51-3F1B2C3D4E11}'
base="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
wh_on_exit wh_reg_delete "$base\\$guid"
wh_on_exit wh_reg_delete 'HKLM\Software\Probe Works'
# The real uninstaller in both versions: an installation removes the
# previous version with it before its file step.
P_GUID=$guid P_NO_RUNS=1 P_NO_UNINSTALLER=1 P_VERSION=1.0.0.1 PROBE_EXE=$WH_BIN/probe.exe make_product "$WH_WORK/p1"
wh_build_setup "$WH_WORK/p1/product.xml" "$WH_WORK/Previous.exe"
# Wine loads a setup cut short only when what is missing lies in the last
# 512-byte sector of its last section, so the good setup's file data must
# end within that sector's reach for a cut into its trailer to load (see
# the corpus below). Setups are the same bytes from build to build, so the
# product is sized until it does: a random file a little larger each time.
nested=70000
for attempt in 1 2 3 4 5 6 7 8; do
  rm -rf "$WH_WORK/p2"
  P_NESTED_BYTES=$nested P_GUID=$guid P_NO_RUNS=1 P_NO_UNINSTALLER=1 PROBE_EXE=$WH_BIN/probe.exe \
    make_product "$WH_WORK/p2"
  wh_build_setup "$WH_WORK/p2/product.xml" "$WH_WORK/Good.exe"
  padding=$(python3 - "$WH_WORK/Good.exe" <<'PY'
import sys
exe = open(sys.argv[1], 'rb').read()
u32 = lambda at: int.from_bytes(exe[at:at + 4], 'little')
pe = u32(0x3c)
sections = int.from_bytes(exe[pe + 6:pe + 8], 'little')
last = pe + 24 + int.from_bytes(exe[pe + 20:pe + 22], 'little') + 40 * (sections - 1)
print(u32(last + 16) - u32(last + 8))  # SizeOfRawData - VirtualSize
PY
  )
  ((padding > 480)) || break
  nested=$((nested + 97))
done
((padding <= 480)) || wh_fail "the good setup's file data ends $padding bytes before its section's end after 8 sizes"
app="$WH_WORK/Probe Folder"
corpus="$WH_WORK/corpus"
run="$WH_WORK/run"  # the installer's current folder: a relative write lands here
mkdir -p "$corpus/res" "$run" "$WH_WORK/t"
temp=$(wh_unixpath "$(wh__sys cmd /c echo %TEMP% | tr -d '\r')")

# The previous version as installed, and what a case must leave of it.
install_previous() {
  local rc=0
  rm -rf "$app"
  wh_reg_add "$base\\$guid" InstallLocation REG_SZ "$(wh_winpath "$app")\\"
  (cd "$run" && wh_wine "$WH_WORK/Previous.exe" /Silent) >/dev/null 2>"$WH_WORK/t/err" </dev/null || rc=$?
  wh_assert_eq 0 "$rc" "exit code of the previous version's installation ($(head -c 300 "$WH_WORK/t/err"))"
  [[ -f $app/Uninstall.exe && -f $app/Uninstall.da1 ]] || wh_fail "the previous version has no uninstaller"
  rm -rf "$WH_WORK/previous"
  cp -a "$app" "$WH_WORK/previous"
  wh_reg_export "$base\\$guid" "$WH_WORK/entry.reg" || wh_fail "the previous version has no uninstall entry"
}
install_previous

# ---- the corpus --------------------------------------------------------------

wh_tool resedit dump "$WH_WORK/Good.exe" "$corpus/res" >/dev/null || wh_fail "cannot read the good setup's resources"
# Writes corpus/jobs (the damaged resources, for resedit put), the setups
# cut short, and corpus/cases: NAME <TAB> the exit code expected (1R: 1 or
# an image the system refuses to start) <TAB> the files that an exit code
# 4 may name (separated by "|").
python3 - "$WH_WORK/Good.exe" "$corpus" <<'PY' || wh_fail "cannot make the damaged setups"
import os, re, sys, zlib

good, corpus = sys.argv[1:3]
exe = open(good, 'rb').read()
res = {n.upper(): open(os.path.join(corpus, 'res', n), 'rb').read() for n in os.listdir(os.path.join(corpus, 'res'))}
SCRIPT = '{54682D66-DEF6-4E5B-8AB5-70FFDF2C0E3A}'
DATA = '{24B4534B-E580-4F42-BEAB-A2818FDE92C0}'

# The package codec: zlib at level 9, its bytes scrambled with i % 255.
def xor(b): return bytes(c ^ (i % 255) for i, c in enumerate(b))
def decode(b): return zlib.decompress(xor(b))
def encode(b): return xor(zlib.compress(b, 9))
def attrs(element): return dict(re.findall(r'(\w+)="([^"]*)"', element))

script = decode(res[SCRIPT]).decode('utf-8')
info = attrs(re.search(r'<BaseInfo [^>]*>', script).group(0))
files = {}  # name -> (ResID, FileBytes)
for element in re.findall(r'<TSetupFile [^>]*>', script):
    a = attrs(element)
    files[a['NewFileName'] or a['SourceMask']] = (a['ResID'], int(a['FileBytes']))

# The file data: images, then the encoded index, then its length.
blob = res[DATA]
n = int.from_bytes(blob[-4:], 'little')
index_at = len(blob) - 4 - n
index = decode(blob[index_at:-4]).decode('utf-8')
entries = [attrs(e) for e in re.findall(r'<TFileData [^>]*>', index)]
images = {e['GUID']: blob[int(e['Offset']):int(e['Offset']) + int(e['Bytes'])] for e in entries}
order = [e['GUID'] for e in sorted(entries, key=lambda e: int(e['Offset']))]

jobs, cases = [], []
def case(name, expect, named=()):
    cases.append('%s\t%s\t%s' % (name, expect, '|'.join(named)))
def put(name, resource, data, expect, named=()):
    path = os.path.join(corpus, name + '.res')
    open(path, 'wb').write(data)
    jobs.append('%s\t%s\t%s' % (os.path.join(corpus, name + '.exe'), resource, path))
    case(name, expect, named)
def flip(b, at, count=4):
    b = bytearray(b)
    for i in range(at, min(at + count, len(b))): b[i] ^= 0xA5
    return bytes(b)
def broken(tag, resource, data):
    put(tag + '-flip-head', resource, flip(data, 0, 2), 1)
    put(tag + '-flip-middle', resource, flip(data, len(data) // 2), 1)
    put(tag + '-flip-tail', resource, flip(data, len(data) - 4), 1)
    put(tag + '-short-1', resource, data[:-1], 1)
    put(tag + '-short-half', resource, data[:len(data) // 2], 1)
    put(tag + '-empty', resource, b'', 1)

# A file data blob of these images, in the good order, under the good
# index whose entries change(entry) may then edit.
def rebuilt(image_of=lambda guid: images[guid], change=lambda e: None):
    out, placed = b'', {}
    for guid in order:
        data = image_of(guid)
        placed[guid] = {'Bytes': str(len(data)), 'GUID': guid, 'Offset': str(len(out))}
        out += data
    def element(m):
        e = dict(placed[attrs(m.group(0))['GUID']])
        change(e)
        return '<TFileData Bytes="%s" GUID="%s" Offset="%s"/>' % (e['Bytes'], e['GUID'], e['Offset'])
    encoded = encode(re.sub(r'<TFileData [^>]*/>', element, index).encode('utf-8'))
    return out + encoded + len(encoded).to_bytes(4, 'little')

# The whole setup cut short. Wine maps a section whose raw data the file
# lacks only in its last 512-byte sector, with zeros in place of what is
# missing (the good setup was sized so that the trailer lies there), and
# that reaches the installer; a file cut deeper is an image the system
# refuses to start (Windows refuses any): "R", where nothing of the
# installer runs and nothing may change either.
blob_at = exe.find(blob)
blob_end = blob_at + len(blob)
assert blob_at > 0
for name, size in [('cut-trailer', blob_end - 4), ('cut-in-index', blob_end - 4 - n // 2),
                   ('cut-in-last-image', blob_end - 4 - n - 64), ('cut-middle-of-data', blob_at + len(blob) // 2),
                   ('cut-in-script', exe.find(res[SCRIPT]) + len(res[SCRIPT]) // 2), ('cut-in-headers', 1024)]:
    open(os.path.join(corpus, name + '.exe'), 'wb').write(exe[:size])
    case(name, '1R')

broken('script', SCRIPT, res[SCRIPT])
put('script-not-xml', SCRIPT, encode(b'not a setup script'), 1)
icon = res[info['IconResID'].upper()]
broken('picture', info['IconResID'], icon)
put('picture-not-png', info['IconResID'], encode(b'GIF89a' + b'\0' * 64), 1)
license = info['LicenseENGResID']
put('license-flip-middle', license, flip(res[license.upper()], len(res[license.upper()]) // 2), 1)
put('license-short-half', license, res[license.upper()][:len(res[license.upper()]) // 2], 1)

put('data-flip-trailer', DATA, flip(blob, len(blob) - 4), 1)
put('data-flip-index-head', DATA, flip(blob, index_at, 2), 1)
put('data-flip-index-middle', DATA, flip(blob, index_at + n // 2), 1)
put('data-short-1', DATA, blob[:-1], 1)
put('data-short-trailer', DATA, blob[:-4], 1)
put('data-short-half', DATA, blob[:len(blob) // 2], 1)
put('data-short-3', DATA, blob[:3], 1)
put('data-empty', DATA, b'', 1)
put('data-index-not-xml', DATA, blob[:index_at] + encode(b'not an index') + len(encode(b'not an index')).to_bytes(4, 'little'), 1)
empty_index = encode(re.sub(r'<Items>.*</Items>', '<Items></Items>', index, flags=re.S).encode('utf-8'))
put('data-index-no-entries', DATA, blob[:index_at] + empty_index + len(empty_index).to_bytes(4, 'little'), 1)

# One file's image, inside a blob and index that are whole around it.
for name, variants in (('nested.dat', 'head middle tail short empty'), ('app.exe', 'head middle empty')):
    guid = files[name][0]
    image = images[guid]
    def with_image(data, g=guid): return rebuilt(lambda x: data if x == g else images[x])
    tag = name.split('.')[0] + '-image'
    made = {'head': ('-flip-head', flip(image, 0, 2), 1), 'middle': ('-flip-middle', flip(image, len(image) // 2), 4),
            'tail': ('-flip-tail', flip(image, len(image) - 4), 4), 'short': ('-short-half', image[:len(image) // 2], 4),
            'empty': ('-empty', b'', 1)}
    for v in variants.split():
        suffix, data, expect = made[v]
        put(tag + suffix, DATA, with_image(data), expect, [name] if expect == 4 else [])

# The index disagrees with the images it describes.
nested, readme = files['nested.dat'][0], files['readme.txt'][0]
def entry_of(guid, **values):
    return lambda e: e.update(values) if e['GUID'] == guid else None
put('index-size-larger', DATA, rebuilt(change=entry_of(nested, Bytes=str(len(images[nested]) + 16))), 1)
put('index-size-smaller', DATA, rebuilt(change=entry_of(nested, Bytes=str(len(images[nested]) - 16))), 4, ['nested.dat'])
put('index-size-beyond', DATA, rebuilt(change=entry_of(nested, Bytes=str(len(blob)))), 1)
put('index-size-negative', DATA, rebuilt(change=entry_of(nested, Bytes='-1')), 1)
def offset_plus_1(e):
    if e['GUID'] == nested: e['Offset'] = str(int(e['Offset']) + 1)
put('index-offset-shifted', DATA, rebuilt(change=offset_plus_1), 1)
put('index-offset-beyond', DATA, rebuilt(change=entry_of(nested, Offset=str(len(blob)))), 1)
at_readme = next(e for e in entries if e['GUID'] == readme)
put('index-offset-other', DATA, rebuilt(change=entry_of(nested, Offset=at_readme['Offset'], Bytes=at_readme['Bytes'])), 4, ['nested.dat'])
put('index-guid-changed', DATA, rebuilt(change=entry_of(nested, GUID=nested[:-2] + ('0}' if nested[-2] != '0' else '1}'))), 1)
put('index-guid-lower-case', DATA, rebuilt(change=entry_of(nested, GUID=nested.lower())), 1)
put('index-guids-swapped', DATA, rebuilt(change=lambda e: e.update(GUID={nested: readme, readme: nested}.get(e['GUID'], e['GUID']))),
    4, ['nested.dat', 'readme.txt'])
put('index-guid-twice', DATA, rebuilt(change=entry_of(readme, GUID=nested)), 1)

# The script disagrees with the file data.
def script_with(old, new):
    assert old in script
    return encode(script.replace(old, new, 1).encode('utf-8'))
size = files['nested.dat'][1]
nested_item = next(e for e in re.findall(r'<TSetupFile [^>]*>', script) if nested in e)
put('script-size-larger', SCRIPT, script_with(nested_item, nested_item.replace('FileBytes="%d"' % size, 'FileBytes="%d"' % (size + 1))), 4, ['nested.dat'])
put('script-unknown-file-data', SCRIPT, script_with(nested_item, nested_item.replace(nested, '{00000000-0000-0000-0000-000000000000}')), 1)
put('script-unknown-picture', SCRIPT, script_with('IconResID="%s"' % info['IconResID'], 'IconResID="{00000000-0000-0000-0000-000000000001}"'), 1)
put('script-unknown-license', SCRIPT, script_with('LicenseENGResID="%s"' % license, 'LicenseENGResID="{00000000-0000-0000-0000-000000000002}"'), 1)

# The good setup through the same rewriting: the control that the rewriting
# itself damages nothing (installed last, exit code 0).
put('control-unchanged', SCRIPT, res[SCRIPT], 0)

# Those that must leave the previous version alone first: only a case that
# may change it needs it installed again afterwards.
cases.sort(key=lambda c: {'1R': 0, '1': 0, '4': 1, '0': 2}[c.split('\t')[1]])
open(os.path.join(corpus, 'jobs'), 'w').write('\n'.join(jobs) + '\n')
open(os.path.join(corpus, 'cases'), 'w').write('\n'.join(cases) + '\n')
PY
wh_tool resedit put "$WH_WORK/Good.exe" "$corpus/jobs" >/dev/null || wh_fail "cannot write the damaged setups"
mapfile -t cases <"$corpus/cases"
((${#cases[@]} >= 51)) || wh_fail "the corpus holds only ${#cases[@]} setups"

# ---- each through the installer ---------------------------------------------

failures=()
# Files written since the case started outside the places it may write:
# its destination and, once it has run the previous version's uninstaller,
# the temporary folder that uninstaller works from. (Wine keeps its
# registry files beside drive_c.)
written_elsewhere() {
  local allowed=("$app" "$WH_WORK/t" "$corpus")
  [[ $1 == 4 ]] && allowed+=("$temp")
  find "$WINEPREFIX/drive_c" "$WH_WORK" -path "$WINEPREFIX" -prune -o -newer "$WH_WORK/t/stamp" -type f -print 2>/dev/null |
    while IFS= read -r f; do
      local a ok=0
      for a in "${allowed[@]}"; do [[ $f == "$a"/* ]] && ok=1; done
      [[ $ok == 1 ]] || echo "$f"
    done | head -n 5
}
# The uninstall entry is compared once for a run of cases that must leave
# it alone (a registry export costs as much as a case): before a case that
# may change it, before the previous version is installed again, and at
# the end.
since=()
check_entry() {
  ((${#since[@]})) || return 0
  wh_reg_export "$base\\$guid" "$WH_WORK/t/entry.reg" && cmp -s "$WH_WORK/entry.reg" "$WH_WORK/t/entry.reg" ||
    failures+=("the previous version's uninstall entry changed during ${since[*]}")
  since=()
}

started=$SECONDS
reached=0  # setups cut short whose remains the installer read
for line in "${cases[@]}"; do
  IFS=$'\t' read -r name expect named <<<"$line"
  [[ $expect == 1* ]] || check_entry
  touch "$WH_WORK/t/stamp"
  rc=0
  (cd "$run" && WH_WINE_TIMEOUT=120 wh_wine "$corpus/$name.exe" /Silent) >"$WH_WORK/t/out" 2>"$WH_WORK/t/err" </dev/null || rc=$?
  err=$(cat "$WH_WORK/t/err" "$WH_WORK/t/out")
  echo "$name: exit code $rc: $(tr '\r\n' '  ' <<<"$err" | head -c 150)"
  problems=()
  refused=0
  [[ $expect == 1R ]] && grep -qF 'Bad EXE format' <<<"$err" && refused=1
  if grep -qiE 'unhandled|backtrace|page fault' <<<"$err"; then
    problems+=("crashed: $(head -c 300 <<<"$err")")
  elif [[ $refused == 1 ]]; then
    :  # the system did not start it
  elif [[ $rc != "${expect%R}" ]]; then
    problems+=("exit code $rc, expected ${expect%R}: $(head -c 300 <<<"$err")")
  elif [[ $rc == 1 ]]; then
    # The installer's own refusal, not a loader that would not start it.
    grep -qF 'Setup could not start: ' <<<"$err" || problems+=("exit code 1 without the installer's reason: $(head -c 300 <<<"$err")")
    [[ $expect != 1R ]] || reached=$((reached + 1))
  elif [[ $rc == 4 ]]; then
    found=0
    IFS='|' read -r -a names <<<"$named"
    for n in "${names[@]}"; do grep -qF "\\$n: " <<<"$err" && found=1; done
    [[ $found == 1 ]] || problems+=("exit code 4 without naming $named: $(head -c 300 <<<"$err")")
  fi
  [[ $expect != 1* ]] || since+=("$name")
  if [[ $rc == 1 || $refused == 1 ]]; then
    diff -r "$WH_WORK/previous" "$app" >/dev/null || problems+=("the previous version's files changed")
  fi
  if [[ $name != control-unchanged ]]; then
    elsewhere=$(written_elsewhere "$rc")
    [[ -z $elsewhere ]] || problems+=("wrote outside its destination: $elsewhere")
  fi
  [[ ${#problems[@]} == 0 ]] || failures+=("$name: $(printf '%s; ' "${problems[@]}")")
  # Only a case that was allowed to change the installation needs the
  # previous version back.
  if [[ $rc != 1 && $refused != 1 && $name != control-unchanged ]]; then
    check_entry
    install_previous
  fi
done
check_entry
echo "${#cases[@]} setups installed in $((SECONDS - started)) s"

((reached > 0)) || failures+=("no setup cut short reached the installer")
[[ ${#failures[@]} == 0 ]] || wh_fail "$(printf '%s\n' "${failures[@]}")"
# The control installed the new version whole.
cmp -s "$WH_WORK/p2/files/data/sub/nested.dat" "$app/data/sub/nested.dat" || wh_fail "the control setup did not install the new version"
echo "damaged setups: ok"
