// httpget.exe URL OUTFILE [PROXYHOST PROXYPORT [USER PASSWORD]]: fetches
// URL with the installer's HTTP client (Winsock, Schannel, SSPI), the body
// streamed to OUTFILE, and prints one line
//   ok=0|1|status=<final status>|bytes=<size>|announced=<OnWorkBegin count>|error=<reason>
// Exits 0 when the Get succeeded and 1 when it returned false.
// HTTPGET_READ_TIMEOUT (milliseconds), when set, replaces the read time-out.
#include "WineTool.h"

#include "QvClasses.h"
#include "QvIndyUtils.h"
#include "QvSysUtils.h"

int wmain(int argc, wchar_t** argv) {
  return wt::Run("httpget", [&]() -> int {
    const auto args = wt::Args(argc, argv);
    if (args.size() != 2 && args.size() != 4 && args.size() != 6)
      throw wt::UsageError{u"httpget.exe URL OUTFILE [PROXYHOST PROXYPORT [USER PASSWORD]]"};
    if (args.size() >= 4) {
      TQvHttpProxy& p = HttpProxy();
      p.Checked = true;
      p.Address = args[2];
      p.Port = StrToInt(args[3]);
      if (args.size() == 6) {
        p.UserName = args[4];
        p.Password = args[5];
      }
    }
    TQvHttp http;
    if (const char* ms = std::getenv("HTTPGET_READ_TIMEOUT")) http.SetReadTimeout(std::atoi(ms));
    int64_t announced = -1;
    http.OnWorkBegin = [&](TQvHttp*, TWorkMode, int64_t count) { announced = count; };
    bool ok;
    int64_t bytes;
    {
      TFileStream out(wt::WinPath(args[1]), fmCreate);
      ok = http.Get(args[0], out);
      bytes = out.GetSize();
    }
    wt::OutLine(u"ok=" + wt::ToWide(ok ? 1 : 0) + u"|status=" + wt::ToWide(static_cast<unsigned>(http.ResponseCode())) +
                u"|bytes=" + wt::ToWide(static_cast<unsigned long long>(bytes)) + u"|announced=" + IntToStr(announced) +
                u"|error=" + http.LastError());
    return ok ? 0 : 1;
  });
}
