# product.sh: the test product that the installer's end-to-end tests pack
# and install. Sourced; make_product DIR [options] writes DIR/product.xml
# and its files. The product's programs are copies of probe.exe, which
# logs every start to $PROBE_LOG, so a test sees what ran, when, where and
# with which command line.
#
# Options (environment, read when make_product runs):
#   P_GUID        the product's GUID (each test uses its own)
#   P_WINVERSION  wveWinXPOrHigher (default), wveWin7OrHigher, wveWin10OrHigher
#   P_TITLES      "chs|cht|eng" titles (default three languages)
#   P_VERSION     default 2.5.1.300
#   P_NESTED_BYTES  size of the random data\sub\nested.dat (default 70000)
#   P_NO_RUNS=1   no programs after installation
#   P_NO_UNINSTALLER=1  no Uninstall.exe of the product's own (setupkit
#                 then adds the real one)
#   P_UNINSTALL_RUNS  TUninstallRun elements for the UninstallRunList
#   P_EXTRA_REGS  further TSetupReg elements for the RegList

# Writes a setup script's XML with the items given on standard input.
make_product() {
  local dir="$1"
  local probe="${PROBE_EXE:?path of probe.exe}"
  local guid="${P_GUID:?P_GUID}"
  local titles="${P_TITLES:-探针产品|探針產品|Probe Product}"
  local chs cht eng
  IFS='|' read -r chs cht eng <<<"$titles"
  mkdir -p "$dir/files/data/sub" "$dir/license"
  cp "$probe" "$dir/files/app.exe"
  [[ ${P_NO_UNINSTALLER:-0} == 1 ]] || cp "$probe" "$dir/files/Uninstall.exe"
  cp "$probe" "$dir/files/helper.exe"
  printf 'read me\r\nsecond line\r\n' >"$dir/files/data/readme.txt"
  head -c "${P_NESTED_BYTES:-70000}" /dev/urandom >"$dir/files/data/sub/nested.dat"
  : >"$dir/files/empty.txt"
  # Fixed times, so a test can tell the script's time from the copy's.
  touch -d '2021-06-15 08:30:00' "$dir/files/data/readme.txt"
  touch -d '2020-01-02 03:04:05' "$dir/files/data/sub/nested.dat"
  printf 'License terms.\r\nSecond line.\r\n' >"$dir/license/eng.txt"
  printf '许可协议\r\n' >"$dir/license/chs.txt"
  printf '授權合約\r\n' >"$dir/license/cht.txt"
  # The product picture, twice as wide as high.
  convert -size 64x32 gradient:orange-purple "png:$dir/product.png"

  local runs=""
  if [[ ${P_NO_RUNS:-0} != 1 ]]; then
    runs='            <TSetupRun Checked="True" Condition="" FileName="{app}app.exe" Params="waited &quot;{app}&quot;" Wait="True" WorkDir="{app}data"/>
            <TSetupRun Checked="True" Condition="" FileName="{app}app.exe" Params="nowait" Wait="False" WorkDir="{app}"/>'
  fi
  local uninstaller='            <TSetupFile Checked="True" Condition="" DestDir="{app}" FileBytes="0" IncludeSubPath="False" LastWriteDate="0" ResID="" SourceMask="Uninstall.exe" SourcePath="files" NewFileName=""/>'
  [[ ${P_NO_UNINSTALLER:-0} != 1 ]] || uninstaller=""
  cat >"$dir/product.xml" <<XML
<?xml version="1.0" encoding="utf-8"?>
<TSetupScript>
    <BaseInfo AllowModify="True" AppTitleCHS="$chs" AppTitleCHT="$cht" AppTitleENG="$eng" BuildMiniSetup="False" CompanyName="Probe Works" CompanyUrl="https://probe.example.com/" Condition="" DefInstallPath="{pf}\\{AppTitle}" FullDownloadUrl="https://probe.example.com/full.exe" FullSetupFile="ProbeSetup.exe" GotoUrl="" GotoUrlMode="gumSilent" GUID="$guid" IconFile="product.png" IconResID="" InstallFileDescription="Probe Setup" LegalCopyright="(c) Probe Works" LicenseCHSResID="" LicenseCHTResID="" LicenseENGResID="" LicenseFileCHS="license\\chs.txt" LicenseFileCHT="license\\cht.txt" LicenseFileENG="license\\eng.txt" MainFormColor="16357632" MiniSetupFile="ProbeOnline.exe" ProductName="Probe" UninstallFileDescription="Probe Uninstall" Version="${P_VERSION:-2.5.1.300}" WinVersion="${P_WINVERSION:-wveWinXPOrHigher}"/>
    <FileList>
        <Items>
            <TSetupFile Checked="True" Condition="" DestDir="{app}" FileBytes="0" IncludeSubPath="False" LastWriteDate="0" ResID="" SourceMask="app.exe" SourcePath="files" NewFileName=""/>
$uninstaller
            <TSetupFile Checked="True" Condition="" DestDir="{app}\\bin" FileBytes="0" IncludeSubPath="False" LastWriteDate="0" ResID="" SourceMask="helper.exe" SourcePath="files" NewFileName="helper-renamed.exe"/>
            <TSetupFile Checked="True" Condition="" DestDir="{app}" FileBytes="0" IncludeSubPath="False" LastWriteDate="0" ResID="" SourceMask="empty.txt" SourcePath="files" NewFileName=""/>
            <TSetupFile Checked="True" Condition="" DestDir="{app}\\data" FileBytes="0" IncludeSubPath="True" LastWriteDate="0" ResID="" SourceMask="*.*" SourcePath="files\\data" NewFileName=""/>
        </Items>
    </FileList>
    <RegList>
        <Items>
            <TSetupReg Checked="True" Condition="" RootKey="rrkLocalMachine" SubKey="\\Software\\Probe Works\\{AppTitle}" ValueData="{app}" ValueName="InstallDir" ValueType="rvtString"/>
            <TSetupReg Checked="True" Condition="" RootKey="rrkLocalMachine" SubKey="Software\\Probe Works\\{AppTitle}" ValueData="\$10" ValueName="Sixteen" ValueType="rvtDWord"/>
            <TSetupReg Checked="True" Condition="" RootKey="rrkLocalMachine" SubKey="Software\\Probe Works\\{AppTitle}" ValueData="-1" ValueName="AllBits" ValueType="rvtDWord"/>
            <TSetupReg Checked="True" Condition="" RootKey="rrkCurrentUser" SubKey="Software\\Probe Works\\{AppTitle}" ValueData="default of {AppTitle}" ValueName="" ValueType="rvtString"/>
${P_EXTRA_REGS:-}
        </Items>
    </RegList>
    <RunList>
        <Items>
$runs
        </Items>
    </RunList>
    <UninstallRunList>
        <Items>
${P_UNINSTALL_RUNS:-}
        </Items>
    </UninstallRunList>
    <ShortCutList>
        <Items>
            <TSetupShortCut Checked="True" Condition="" DstFile="{app}app.exe" IconFile="" Name="{AppTitle}" SaveDir="{group}" WorkDir="{app}data"/>
            <TSetupShortCut Checked="True" Condition="" DstFile="{app}app.exe" IconFile="" Name="{AppTitle} on the desktop" SaveDir="{desktop}" WorkDir="{app}"/>
        </Items>
    </ShortCutList>
    <SwiperList>
        <Items/>
    </SwiperList>
    <VarList>
        <Items/>
    </VarList>
</TSetupScript>
XML
}
