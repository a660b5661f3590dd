// lnkinfo.exe FILE.lnk: reads a shortcut through the shell's own link
// object, as Explorer would, and prints its fields:
//   target=  the path as stored (raw, environment strings not expanded)
//   idlist=  the path that the link's item ID list names
//   args=  workdir=  description=  icon=<path>,<index>  showcmd=
// lnkinfo.exe --make FILE.lnk TARGET WORKDIR [ARGS]: saves one, so tests can
// make a shortcut without the installer.
#include <shlobj.h>
#include <shobjidl.h>

#include "WineTool.h"

namespace {

using Getter = HRESULT (STDMETHODCALLTYPE IShellLinkW::*)(LPWSTR, int);

WideString Field(IShellLinkW* link, Getter get, const char16_t* name) {
  // INFOTIPSIZE is the largest a link's description may be; paths are shorter.
  std::vector<wchar_t> buf(INFOTIPSIZE + 1, 0);
  const HRESULT hr = (link->*get)(buf.data(), static_cast<int>(buf.size()));
  if (FAILED(hr)) wt::FailHr(WideString(u"IShellLinkW::Get") + name, hr);
  return wt::FromW(buf.data());
}

void Make(const WideString& lnk, const WideString& target, const WideString& workDir, const WideString& arguments) {
  wt::ComPtr<IShellLinkW> link;
  HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.Out());
  if (FAILED(hr)) wt::FailHr(u"CoCreateInstance(CLSID_ShellLink)", hr);
  if (FAILED(hr = link->SetPath(wt::W(target)))) wt::FailHr(u"IShellLinkW::SetPath " + target, hr);
  if (FAILED(hr = link->SetWorkingDirectory(wt::W(workDir)))) wt::FailHr(u"IShellLinkW::SetWorkingDirectory", hr);
  if (FAILED(hr = link->SetArguments(wt::W(arguments)))) wt::FailHr(u"IShellLinkW::SetArguments", hr);
  wt::ComPtr<IPersistFile> file;
  if (FAILED(hr = link->QueryInterface(IID_IPersistFile, file.Out()))) wt::FailHr(u"IPersistFile", hr);
  if (FAILED(hr = file->Save(wt::W(lnk), TRUE))) wt::FailHr(u"IPersistFile::Save " + lnk, hr);
}

void Show(const WideString& lnk) {
  wt::ComPtr<IShellLinkW> link;
  HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.Out());
  if (FAILED(hr)) wt::FailHr(u"CoCreateInstance(CLSID_ShellLink)", hr);
  wt::ComPtr<IPersistFile> file;
  if (FAILED(hr = link->QueryInterface(IID_IPersistFile, file.Out()))) wt::FailHr(u"IPersistFile", hr);
  if (FAILED(hr = file->Load(wt::W(lnk), STGM_READ))) wt::FailHr(u"IPersistFile::Load " + lnk, hr);

  std::vector<wchar_t> path(MAX_PATH * 4, 0);
  if (FAILED(hr = link->GetPath(path.data(), static_cast<int>(path.size()), nullptr, SLGP_RAWPATH)))
    wt::FailHr(u"IShellLinkW::GetPath", hr);
  std::vector<wchar_t> icon(MAX_PATH * 4, 0);
  int iconIndex = 0;
  if (FAILED(hr = link->GetIconLocation(icon.data(), static_cast<int>(icon.size()), &iconIndex)))
    wt::FailHr(u"IShellLinkW::GetIconLocation", hr);
  int showCmd = 0;
  if (FAILED(hr = link->GetShowCmd(&showCmd))) wt::FailHr(u"IShellLinkW::GetShowCmd", hr);

  // Wine keeps the path of the link's local-volume part in the ANSI code
  // page, so GetPath loses what that page cannot hold (Chinese under an
  // English locale); the item ID list holds the exact path.
  WideString idPath;
  LPITEMIDLIST ids = nullptr;
  if (SUCCEEDED(link->GetIDList(&ids)) && ids) {
    std::vector<wchar_t> buf(MAX_PATH * 4, 0);
    if (::SHGetPathFromIDListEx(ids, buf.data(), static_cast<DWORD>(buf.size()), GPFIDL_DEFAULT))
      idPath = wt::FromW(buf.data());
    ::CoTaskMemFree(ids);
  }
  wt::OutLine(u"target=" + wt::FromW(path.data()));
  wt::OutLine(u"idlist=" + idPath);
  wt::OutLine(u"args=" + Field(link.Get(), &IShellLinkW::GetArguments, u"Arguments"));
  wt::OutLine(u"workdir=" + Field(link.Get(), &IShellLinkW::GetWorkingDirectory, u"WorkingDirectory"));
  wt::OutLine(u"description=" + Field(link.Get(), &IShellLinkW::GetDescription, u"Description"));
  wt::OutLine(u"icon=" + wt::FromW(icon.data()) + u"," + wt::ToWide(static_cast<unsigned>(iconIndex)));
  wt::OutLine(u"showcmd=" + wt::ToWide(static_cast<unsigned>(showCmd)));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  return wt::Run("lnkinfo", [&]() -> int {
    const auto args = wt::Args(argc, argv);
    const WideString usage = u"lnkinfo.exe FILE.lnk | lnkinfo.exe --make FILE.lnk TARGET WORKDIR [ARGS]";
    wt::ComInit com;
    if (!args.empty() && args[0] == u"--make") {
      if (args.size() < 4 || args.size() > 5) throw wt::UsageError{usage};
      Make(wt::WinPath(args[1]), args[2], args[3], args.size() == 5 ? args[4] : WideString());
      return 0;
    }
    if (args.size() != 1) throw wt::UsageError{usage};
    Show(wt::WinPath(args[0]));
    return 0;
  });
}
