// Real servers for the HTTP client's tests, on free loopback ports: nginx
// and squid run as child processes with configurations written here, and
// small in-process listeners play the parts no real server plays (one
// that records the request bytes, one that stalls, one whose queue is
// full). Native only.
#pragma once

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace httptest {

inline std::string ReadText(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

inline void WriteText(const std::filesystem::path& p, const std::string& text) {
  std::ofstream f(p, std::ios::binary);
  f << text;
}

inline bool HaveProgram(const char* path) { return ::access(path, X_OK) == 0; }

// A port nobody listens on at this moment.
inline int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

inline bool PortOpen(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return ok;
}

inline bool WaitForPort(int port, int seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (PortOpen(port)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// A folder of its own, removed with everything in it.
class TTempDir {
public:
  TTempDir() {
    char tmpl[] = "/tmp/qvhttp-XXXXXX";
    FPath = ::mkdtemp(tmpl);
  }
  ~TTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(FPath, ec);
  }
  const std::filesystem::path& Path() const { return FPath; }
  std::string operator/(const std::string& name) const { return (FPath / name).string(); }

private:
  std::filesystem::path FPath;
};

// A child process, ended by its own id when the object goes.
class TChild {
public:
  TChild() = default;
  explicit TChild(const std::vector<std::string>& argv, const std::string& logFile) {
    FPid = ::fork();
    if (FPid == 0) {
      ::setpgid(0, 0);
      if (FILE* f = std::fopen(logFile.c_str(), "w")) {
        ::dup2(fileno(f), 1);
        ::dup2(fileno(f), 2);
      }
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      ::execv(args[0], args.data());
      ::_exit(127);
    }
  }
  ~TChild() { Stop(); }
  TChild(TChild&& o) noexcept : FPid(o.FPid) { o.FPid = -1; }
  TChild& operator=(TChild&& o) noexcept {
    Stop();
    FPid = o.FPid;
    o.FPid = -1;
    return *this;
  }
  // Ends the process and its helpers (its own process group).
  void Stop() {
    if (FPid <= 0) return;
    ::kill(-FPid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
      if (::waitpid(FPid, nullptr, WNOHANG) == FPid) {
        FPid = -1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (FPid > 0) {
      ::kill(-FPid, SIGKILL);
      ::waitpid(FPid, nullptr, 0);
      FPid = -1;
    }
  }
  bool Running() const { return FPid > 0 && ::waitpid(FPid, nullptr, WNOHANG) == 0; }

private:
  pid_t FPid = -1;
};

// A loopback listener run by a thread of the test: each accepted
// connection is handed to the handler with its socket; Requests() holds
// what arrived before the first empty line of each request.
class TLoopbackServer {
public:
  using THandler = std::function<void(int fd, const std::string& requestHead, int index)>;

  explicit TLoopbackServer(THandler handler, int backlog = 16) : FHandler(std::move(handler)) {
    FListen = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(FListen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(FListen, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(FListen, backlog);
    socklen_t len = sizeof a;
    ::getsockname(FListen, reinterpret_cast<sockaddr*>(&a), &len);
    FPort = ntohs(a.sin_port);
    FThread = std::thread([this] { Run(); });
  }
  ~TLoopbackServer() {
    FStop = true;
    ::shutdown(FListen, SHUT_RDWR);
    ::close(FListen);
    FThread.join();
  }
  int Port() const { return FPort; }
  int Connections() const { return FConnections; }
  std::vector<std::string> Requests() {
    std::lock_guard<std::mutex> lock(FMutex);
    return FRequests;
  }

  // Reads one request head from fd (up to the empty line); empty when the
  // peer closes first.
  static std::string ReadHead(int fd) {
    std::string head;
    char c;
    while (head.size() < 65536 && ::recv(fd, &c, 1, 0) == 1) {
      head += c;
      if (head.size() >= 4 && head.compare(head.size() - 4, 4, "\r\n\r\n") == 0) return head;
    }
    return std::string();
  }
  static void Send(int fd, const std::string& bytes) { ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL); }

private:
  void Run() {
    int index = 0;
    while (!FStop) {
      const int fd = ::accept(FListen, nullptr, nullptr);
      if (fd < 0) return;
      ++FConnections;
      // One connection at a time: every request on it goes to the handler.
      for (;;) {
        const std::string head = ReadHead(fd);
        if (head.empty()) break;
        {
          std::lock_guard<std::mutex> lock(FMutex);
          FRequests.push_back(head);
        }
        bool keep = true;
        try {
          FHandler(fd, head, index++);
        } catch (const std::exception&) {
          keep = false;
        }
        if (!keep || FStop) break;
      }
      ::close(fd);
    }
  }

  THandler FHandler;
  int FListen = -1;
  int FPort = 0;
  std::atomic<bool> FStop{false};
  std::atomic<int> FConnections{0};
  std::mutex FMutex;
  std::vector<std::string> FRequests;
  std::thread FThread;
};

// Raised by a handler to close the connection after its answer.
struct TCloseConnection : std::exception {};

}  // namespace httptest
