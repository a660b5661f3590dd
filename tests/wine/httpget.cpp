// httpget.exe URL OUTFILE [PROXYHOST PROXYPORT [USER PASSWORD]]: fetches
// URL with the installer's HTTP client (Winsock, Schannel, SSPI), the body
// streamed to OUTFILE, and prints one line
//   ok=0|1|status=<final status>|bytes=<size>|announced=<OnWorkBegin count>|error=<reason>
// Exits 0 when the Get succeeded and 1 when it returned false.
// HTTPGET_READ_TIMEOUT (milliseconds), when set, replaces the read time-out;
// HTTPGET_NO_VERIFY=1 takes any server certificate, as a pinned download.
//
// httpget.exe --unanswered MS: a Get with a connect time-out of MS against
// a loopback listener whose queue is full, so the connection is never
// answered; prints "ok=0|ms=<elapsed>|error=<reason>".
//
// httpget.exe --hold-unanswered SECONDS: such a listener for other programs
// to call; prints "port=<port>" and keeps it for that long.
#include <winsock2.h>

#include "WineTool.h"

#include "QvClasses.h"
#include "QvIndyUtils.h"
#include "QvSysUtils.h"

namespace {

// A loopback listener that never accepts, its queue filled by connections
// of our own: the system drops further attempts, as an unreachable host
// would. Returns its port; the sockets stay open until the process ends.
int FullListener() {
  WSADATA data;
  ::WSAStartup(MAKEWORD(2, 2), &data);
  const SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listener, 0) != 0)
    throw EOSError(u"cannot listen on loopback");
  int len = sizeof a;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
  std::vector<SOCKET> fillers;
  for (int i = 0; i < 4; ++i) {
    const SOCKET c = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    u_long nonBlocking = 1;
    ::ioctlsocket(c, FIONBIO, &nonBlocking);
    ::connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a);
    fillers.push_back(c);
  }
  ::Sleep(200);
  return ntohs(a.sin_port);
}

int Unanswered(int timeoutMs) {
  const int port = FullListener();
  TQvHttp http;
  http.SetConnectTimeout(timeoutMs);
  const DWORD start = ::GetTickCount();
  const bool ok = http.Get(u"http://127.0.0.1:" + IntToStr(port) + u"/");
  const DWORD elapsed = ::GetTickCount() - start;
  wt::OutLine(u"ok=" + wt::ToWide(ok ? 1 : 0) + u"|ms=" + wt::ToWide(elapsed) + u"|error=" + http.LastError());
  return ok ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  return wt::Run("httpget", [&]() -> int {
    const auto args = wt::Args(argc, argv);
    if (args.size() == 2 && args[0] == u"--unanswered") return Unanswered(StrToInt(args[1]));
    if (args.size() == 2 && args[0] == u"--hold-unanswered") {
      wt::OutLine(u"port=" + IntToStr(FullListener()));
      ::Sleep(static_cast<DWORD>(StrToInt(args[1])) * 1000);
      return 0;
    }
    if (args.size() != 2 && args.size() != 4 && args.size() != 6)
      throw wt::UsageError{u"httpget.exe URL OUTFILE [PROXYHOST PROXYPORT [USER PASSWORD]] | httpget.exe --unanswered MS"};
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
    if (const char* no = std::getenv("HTTPGET_NO_VERIFY")) http.SetVerifyServer(std::string(no) != "1");
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
