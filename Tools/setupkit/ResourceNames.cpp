#include "ResourceNames.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>

#include "QvClasses.h"
#include "QvSysUtils.h"

namespace {

// setupkit's namespace of name-based GUIDs; fixed for good, since every
// setup's resource names hang on it.
constexpr uint8_t kNamespace[16] = {0x6b, 0x08, 0x86, 0x5a, 0xa5, 0x7f, 0x46, 0xa7,
                                    0xb5, 0xae, 0xd9, 0xb1, 0xb0, 0x09, 0x26, 0x6f};

std::string DigestBytes(const TSha256Digest& d) { return std::string(d.begin(), d.end()); }

}  // namespace

WideString NameBasedGUID(const std::string& name) {
  TSha256 sha;
  sha.Update(kNamespace, sizeof kNamespace);
  sha.Update(name);
  return TQvStrfn::GUIDString(sha.Final().data(), 8);
}

// Each part is framed by a zero byte, which no path, role or count holds,
// so that no two different lists of parts give the same name.
WideString FileResourceName(const WideString& destination, const TSha256Digest& content, int occurrence) {
  std::string name = "file";
  name += '\0' + WideToUtf8(destination) + '\0' + DigestBytes(content);
  if (occurrence > 0) name += '\0' + std::to_string(occurrence);
  return NameBasedGUID(name);
}

WideString ProjectResourceName(const char* role, const TSha256Digest& content) {
  return NameBasedGUID(std::string(role) + '\0' + DigestBytes(content));
}

TSha256Digest DigestFile(const WideString& path, std::string& buffer) {
  if (buffer.empty()) buffer.resize(1 << 20);
  TFileStream in(path, fmOpenRead | fmShareDenyNone);
  TSha256 sha;
  for (;;) {
    const int64_t got = in.Read(&buffer[0], static_cast<int64_t>(buffer.size()));
    if (got <= 0) break;
    sha.Update(buffer.data(), static_cast<size_t>(got));
  }
  return sha.Final();
}

std::vector<TSha256Digest> DigestFiles(const std::vector<WideString>& paths, unsigned jobs) {
  std::vector<TSha256Digest> digests(paths.size());
  if (jobs == 0) jobs = std::max(1u, std::thread::hardware_concurrency());
  jobs = static_cast<unsigned>(std::min<size_t>(jobs, std::max<size_t>(1, paths.size())));
  std::atomic<size_t> next{0};
  std::atomic<bool> stop{false};
  std::mutex failureLock;
  std::exception_ptr failure;
  auto worker = [&] {
    std::string buffer;
    for (size_t i; !stop && (i = next++) < paths.size();) {
      try {
        digests[i] = DigestFile(paths[i], buffer);
      } catch (...) {
        std::lock_guard<std::mutex> guard(failureLock);
        if (!failure) failure = std::current_exception();
        stop = true;
      }
    }
  };
  std::vector<std::thread> threads;
  for (unsigned t = 1; t < jobs; ++t) threads.emplace_back(worker);
  worker();
  for (auto& t : threads) t.join();
  if (failure) std::rethrow_exception(failure);
  return digests;
}

bool IsRegistryGUID(const WideString& s) {
  if (s.size() != 38 || s.front() != u'{' || s.back() != u'}') return false;
  for (size_t i = 1; i < 37; ++i) {
    const char16_t c = s[i];
    const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    const bool hex = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
    if (dash ? c != u'-' : !hex) return false;
  }
  return true;
}
