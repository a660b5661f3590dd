#!/bin/sh
# init FOLDER writes a project that builds as it stands: the title from the
# folder's name, every file under it, a shortcut for each program at its
# top, a PNG picture beside the project; it never writes over a file.
. "$(dirname "$0")/common.sh"
mkdir -p "$WORK/Tool Box/bin" "$WORK/out"
cp "$DATA/stub_plain.exe" "$WORK/Tool Box/toolbox.exe"
cp "$DATA/stub_plain.exe" "$WORK/Tool Box/bin/helper.exe"
printf 'read me\n' > "$WORK/Tool Box/readme.txt"
cd "$WORK/out"
"$SETUPKIT" init "../Tool Box/" --publisher "Box Works" > "$WORK/init.txt" || fail "init: $(cat "$WORK/init.txt")"
[ -f project.xml ] && [ -f project.png ] || fail "init wrote no project.xml and project.png: $(ls)"
head -c 8 project.png | od -An -c | grep -q 'P   N   G' || fail "project.png is not a PNG"
"$SETUPKIT" check project.xml > "$WORK/check.txt" || fail "check of the new project: $(cat "$WORK/check.txt")"
"$SETUPKIT" build project.xml --stub "$DATA/stub_res.exe" -o Setup.exe > "$WORK/build.txt" || fail "build: $(cat "$WORK/build.txt")"
"$SETUPKIT" list Setup.exe > "$WORK/list.txt" || fail "list"
grep -q '^Title (ENG): *Tool Box$' "$WORK/list.txt" || fail "the title is not the folder's name: $(head -n 8 "$WORK/list.txt")"
grep -q '^Install folder: *{pf}\\{AppTitle}$' "$WORK/list.txt" || fail "the install folder: $(grep 'Install folder' "$WORK/list.txt")"
grep -q '^Files: 3,' "$WORK/list.txt" || fail "not every file: $(grep '^Files' "$WORK/list.txt")"
grep -q 'bin\\helper.exe' "$WORK/list.txt" || fail "the subfolder's file is missing: $(cat "$WORK/list.txt")"
grep -q '^Shortcuts: 1$' "$WORK/list.txt" || fail "not one shortcut (toolbox.exe only): $(grep -A3 '^Shortcuts' "$WORK/list.txt")"
grep -q '{group}\\toolbox.lnk -> {app}\\toolbox.exe' "$WORK/list.txt" || fail "the shortcut: $(grep -A2 '^Shortcuts' "$WORK/list.txt")"
# A second init finds the project there and writes nothing.
cp project.xml "$WORK/before.xml"
rc=0
"$SETUPKIT" init "../Tool Box" > /dev/null 2> "$WORK/err.txt" || rc=$?
[ $rc -ne 0 ] && grep -q 'exists already' "$WORK/err.txt" || fail "init over a project: exit $rc, $(cat "$WORK/err.txt")"
cmp -s project.xml "$WORK/before.xml" || fail "init changed the existing project"
echo "PASS: init writes a project that checks, builds and lists as the folder is, and never overwrites"
