// Building a setup from a 200 MB mixed product with one encoding thread and
// with one per core: MB/s of product packed, and how much the cores buy.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "PackageBuilder.h"
#include "QvSysUtils.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// A product of the usual shape: many small text files, some mid-sized
// binaries (half noise, as already-compressed data), a few large ones.
uint64_t MakeProduct(const fs::path& dir, uint64_t target) {
  uint64_t state = 0x2545F4914F6CDD1Dull, total = 0;
  auto next = [&state]() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  static const char* words[] = {"setup ", "window ", "folder ", "value ", "\r\n", "<item/>", "= ", "0x1F "};
  int n = 0;
  while (total < target) {
    const uint64_t kind = n % 20;
    const size_t size = kind < 14 ? 4096 + next() % 60000 : kind < 19 ? 1000000 + next() % 3000000 : 20000000;
    std::string data;
    data.reserve(size + 8);
    while (data.size() < size) {
      if (kind >= 14 && next() % 2 == 0) {
        for (int i = 0; i < 64; ++i) {
          const uint64_t v = next();
          data.append(reinterpret_cast<const char*>(&v), 8);
        }
      } else {
        for (int i = 0; i < 64; ++i) data += words[next() % 8];
      }
    }
    data.resize(size);
    const fs::path p = dir / ("d" + std::to_string(n % 7)) / ("f" + std::to_string(n) + ".bin");
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
    total += size;
    ++n;
  }
  return total;
}

double BuildSeconds(const fs::path& project, const fs::path& out, unsigned jobs) {
  TBuildOptions o;
  o.ProjectFile = Utf8ToWide(project.string());
  o.StubFile = Utf8ToWide(std::string(SETUPKIT_TEST_DATA) + "/stub_res.exe");
  o.FullOutput = Utf8ToWide(out.string());
  o.Jobs = jobs;
  const auto t0 = Clock::now();
  BuildPackage(o);
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  const uint64_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 200;
  const fs::path root = fs::temp_directory_path() / "setupkit_bench_build";
  fs::remove_all(root);
  const uint64_t bytes = MakeProduct(root / "product", megabytes * 1000000);
  const fs::path project = root / "project.xml";
  std::ofstream(project) << "<TSetupScript><BaseInfo AppTitleENG=\"Bench\"/><FileList><Items>"
                            "<TSetupFile DestDir=\"{app}\" SourcePath=\"product\" SourceMask=\"*\" IncludeSubPath=\"True\"/>"
                            "</Items></FileList></TSetupScript>";
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const double one = BuildSeconds(project, root / "one.exe", 1);
  const double all = BuildSeconds(project, root / "all.exe", 0);
  const double mb = static_cast<double>(bytes) / 1e6;
  std::printf("product: %.0f MB, packed setup: %.0f MB\n", mb, static_cast<double>(fs::file_size(root / "all.exe")) / 1e6);
  std::printf("1 thread:   %.1f MB/s (%.2f s)\n", mb / one, one);
  std::printf("%u threads:  %.1f MB/s (%.2f s)\n", cores, mb / all, all);
  std::printf("speed-up with all cores: %.2fx\n", one / all);
  fs::remove_all(root);
  return 0;
}
