#!/bin/sh
# build --winget DIR: the three files of a winget manifest for the setup
# just built, each valid against the package manager's schema (copied in
# tests/data/winget-schemas), with the setup's SHA-256, its architecture,
# the installer's switches and the product's identity; a product the
# manifest cannot describe is refused before anything is written.
. "$(dirname "$0")/common.sh"
PY=/usr/bin/python3
$PY -c 'import jsonschema, yaml' 2>/dev/null || skip "python3-jsonschema and python3-yaml are not installed"
EXAMPLE="$(cd "$(dirname "$0")/../../examples/hello" && pwd)"

"$SETUPKIT" build "$EXAMPLE/hello.xml" --stub "$DATA/stub_res.exe" -o "$WORK/HelloSetup.exe" --winget "$WORK/m" \
  > "$WORK/out.txt" 2>&1 || fail "build --winget: $(cat "$WORK/out.txt")"
sha=$(sha256sum "$WORK/HelloSetup.exe" | cut -d' ' -f1)
$PY - "$WORK/m" "$DATA/winget-schemas" "$sha" x86 <<'PY' || fail "the manifest of the x86 setup"
import json, os, sys, yaml, jsonschema
folder, schemas, sha, arch = sys.argv[1:5]
names = sorted(os.listdir(folder))
want = ["HelloSoftware.Hello.installer.yaml", "HelloSoftware.Hello.locale.en-US.yaml", "HelloSoftware.Hello.yaml"]
assert names == want, names
kinds = {"HelloSoftware.Hello.yaml": "version", "HelloSoftware.Hello.installer.yaml": "installer",
         "HelloSoftware.Hello.locale.en-US.yaml": "defaultLocale"}
docs = {}
for name in names:
    doc = yaml.safe_load(open(os.path.join(folder, name), encoding="utf-8"))
    kind = kinds[name]
    schema = json.load(open(os.path.join(schemas, "manifest.%s.1.10.0.json" % kind)))
    jsonschema.validate(doc, schema)  # raises with what is wrong
    assert doc["ManifestType"] == kind and doc["ManifestVersion"] == "1.10.0", doc
    assert doc["PackageIdentifier"] == "HelloSoftware.Hello" and doc["PackageVersion"] == "1.0.0.0", doc
    docs[kind] = doc
assert docs["version"]["DefaultLocale"] == "en-US"
i = docs["installer"]
inst = i["Installers"]
assert len(inst) == 1 and inst[0]["Architecture"] == arch, inst
assert inst[0]["InstallerSha256"].lower() == sha, (inst[0]["InstallerSha256"], sha)
assert inst[0]["InstallerUrl"] == "https://hello.example.com/download/HelloSetup.exe", inst
assert i["InstallerType"] == "exe" and i["Scope"] == "machine" and i["ElevationRequirement"] == "elevatesSelf"
assert i["InstallerSwitches"] == {"Silent": "/Silent", "SilentWithProgress": "/Auto",
                                  "InstallLocation": '/Dir="<INSTALLPATH>"', "Log": '/Log="<LOGPATH>"'}, i
assert i["ProductCode"] == "{94D44A92-0BE3-4701-9588-FAAD61DB7B0B}"
codes = {c["InstallerReturnCode"]: c["ReturnResponse"] for c in i["ExpectedReturnCodes"]}
assert codes == {1: "contactSupport", 2: "cancelledByUser", 3: "systemNotSupported", 4: "contactSupport",
                 5: "cancelledByUser"}, codes
names = [e["DisplayName"] for e in i["AppsAndFeaturesEntries"]]
assert "Hello Version 1.0.0.0" in names and all(e["Publisher"] == "Hello Software" for e in i["AppsAndFeaturesEntries"])
l = docs["defaultLocale"]
assert l["Publisher"] == "Hello Software" and l["PackageName"] == "Hello", l
PY

# A 64-bit setup says so; a changed file changes the digest.
"$SETUPKIT" build "$EXAMPLE/hello.xml" --stub "$DATA/stub_res64.exe" -o "$WORK/Hello64.exe" --winget "$WORK/m64" \
  > "$WORK/out.txt" 2>&1 || fail "build --winget of a 64-bit setup: $(cat "$WORK/out.txt")"
grep -q '^  InstallerSha256: ' "$WORK/m64/HelloSoftware.Hello.installer.yaml" || fail "no digest in the 64-bit manifest"
grep -q '^- Architecture: x64$' "$WORK/m64/HelloSoftware.Hello.installer.yaml" || fail "the 64-bit manifest is not x64"
sha64=$(sha256sum "$WORK/Hello64.exe" | cut -d' ' -f1 | tr a-f A-F)
grep -q "^  InstallerSha256: $sha64\$" "$WORK/m64/HelloSoftware.Hello.installer.yaml" ||
  fail "the 64-bit manifest's digest is not the setup's ($sha64)"

# No publisher, and an identifier that is none: refused, nothing written.
cp -r "$EXAMPLE" "$WORK/hello"
sed 's/CompanyName="[^"]*"/CompanyName=""/' "$EXAMPLE/hello.xml" > "$WORK/hello/hello.xml"
rc=0
"$SETUPKIT" build "$WORK/hello/hello.xml" --stub "$DATA/stub_res.exe" -o "$WORK/bad.exe" --winget "$WORK/bad" \
  2> "$WORK/err.txt" || rc=$?
[ $rc -ne 0 ] && grep -q 'needs the publisher: set CompanyName' "$WORK/err.txt" || fail "no publisher: exit $rc, $(cat "$WORK/err.txt")"
[ ! -e "$WORK/bad.exe" ] && [ ! -e "$WORK/bad" ] || fail "a refused build wrote something"
rc=0
"$SETUPKIT" build "$EXAMPLE/hello.xml" --stub "$DATA/stub_res.exe" -o "$WORK/bad.exe" --winget "$WORK/bad" \
  --winget-id 'Hello Software.Hello' 2> "$WORK/err.txt" || rc=$?
[ $rc -ne 0 ] && grep -q 'is not a winget PackageIdentifier' "$WORK/err.txt" || fail "a bad --winget-id: exit $rc, $(cat "$WORK/err.txt")"
[ ! -e "$WORK/bad.exe" ] || fail "a refused build wrote its setup"
echo "PASS: the manifests validate, name the setup's digest and architecture, and bad input is refused"
