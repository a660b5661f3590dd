// Building a setup of a 208 MB mixed product (150 half-random 1 MiB files,
// 2,000 text files of about 25 KB) with setupkit and, in the same run, with
// NSIS's makensis (zlib, not solid) as the baseline: wall times, their
// ratio, output sizes and setupkit's peak memory.
//
// makensis comes from Debian's nsis package: apt-get install nsis. Without
// it only setupkit is measured.
//
//   bench_build [--levels]
//   bench_build --product DIR
// --levels also builds at every level and compares the packed size with
// zlib's level 9 over the same files, which is how the default level was
// chosen. --product only writes the product's files into DIR, which must
// not exist yet (bench/bench_install.sh installs that same product).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <zlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "PackageBuilder.h"

namespace fs = std::filesystem;

namespace {

struct TRng {
  uint64_t State = 0x2545F4914F6CDD1Dull;
  uint64_t Next() {
    State ^= State << 13;
    State ^= State >> 7;
    State ^= State << 17;
    return State;
  }
};

void AppendText(std::string& data, TRng& rng, size_t bytes) {
  static const char* words[] = {"setup ", "window ", "folder ", "value ", "\r\n", "<item/>", "= ", "0x1F ",
                                "install ", "registry ", "shortcut ", "{app}\\bin ", "version ", "1.0.", "\t"};
  const size_t end = data.size() + bytes;
  while (data.size() < end) data += words[rng.Next() % 15];
  data.resize(end);
}

void Write(const fs::path& p, const std::string& data) {
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  out.close();
  if (!out) {
    // A product short of a file would measure something else.
    std::fprintf(stderr, "bench_build: cannot write %s\n", p.c_str());
    std::exit(1);
  }
}

// Binaries are half noise (already-compressed data) and half text in 4 KB
// runs; text files vary around 25 KB.
uint64_t MakeProduct(const fs::path& dir, std::vector<fs::path>& files) {
  TRng rng;
  uint64_t total = 0;
  for (int i = 0; i < 150; ++i) {
    std::string data;
    while (data.size() < (1u << 20)) {
      if (rng.Next() % 2) {
        for (int k = 0; k < 512; ++k) {
          const uint64_t v = rng.Next();
          data.append(reinterpret_cast<const char*>(&v), 8);
        }
      } else {
        AppendText(data, rng, 4096);
      }
    }
    data.resize(1u << 20);
    files.push_back(dir / "bin" / ("lib" + std::to_string(i) + ".dll"));
    Write(files.back(), data);
    total += data.size();
  }
  for (int i = 0; i < 2000; ++i) {
    std::string data;
    AppendText(data, rng, 15000 + rng.Next() % 20000);
    files.push_back(dir / "doc" / ("d" + std::to_string(i % 20)) / ("page" + std::to_string(i) + ".txt"));
    Write(files.back(), data);
    total += data.size();
  }
  return total;
}

struct TRun {
  double Seconds = 0;
  long PeakKb = 0;
  int Status = -1;
};

// Runs argv with its output sent to /dev/null; the child's own peak
// resident size comes from wait4.
TRun Run(const std::vector<std::string>& argv, const fs::path& cwd) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  TRun r;
  const auto t0 = std::chrono::steady_clock::now();
  std::fflush(stdout);  // or the child inherits what is still buffered
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(cwd.c_str()) != 0) _exit(126);
    if (std::freopen("/dev/null", "w", stdout) == nullptr) _exit(126);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (pid > 0 && wait4(pid, &status, 0, &usage) == pid) {
    r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.PeakKb = usage.ru_maxrss;
  }
  r.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  return r;
}

bool HaveProgram(const char* name) {
  return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

uint64_t Zlib9Size(const std::vector<fs::path>& files) {
  uint64_t total = 0;
  for (const fs::path& f : files) {
    std::ifstream in(f, std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(&out[0]), &size, reinterpret_cast<const Bytef*>(data.data()),
              static_cast<uLong>(data.size()), 9);
    total += size;
  }
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--product") == 0) {
    if (argc != 3) {
      std::fprintf(stderr, "usage: bench_build --product DIR\n");
      return 2;
    }
    std::error_code ec;
    if (fs::exists(argv[2], ec) || ec) {
      std::fprintf(stderr, "bench_build: %s already exists\n", argv[2]);
      return 1;
    }
    std::vector<fs::path> files;
    const uint64_t bytes = MakeProduct(argv[2], files);
    std::printf("product: %zu files, %.1f MB in %s\n", files.size(), static_cast<double>(bytes) / 1e6, argv[2]);
    return 0;
  }
  const bool levels = argc > 1 && std::strcmp(argv[1], "--levels") == 0;
  const fs::path root = fs::temp_directory_path() / "setupkit_bench_build";
  fs::remove_all(root);
  std::vector<fs::path> files;
  const uint64_t bytes = MakeProduct(root / "product", files);
  // Every setup carries the product's picture.
  fs::copy_file(fs::path(SETUPKIT_TEST_DATA) / "icon.png", root / "icon.png");
  std::ofstream(root / "project.xml")
      << "<TSetupScript><BaseInfo AppTitleENG=\"Bench\" Version=\"1.0\" IconFile=\"icon.png\" "
         "GUID=\"{0B0B0B0B-2222-4333-8444-555555555555}\"/><FileList><Items>"
         "<TSetupFile DestDir=\"{app}\" SourcePath=\"product\" SourceMask=\"*\" IncludeSubPath=\"True\"/>"
         "</Items></FileList></TSetupScript>";
  std::ofstream(root / "bench.nsi") << "Unicode true\n"
                                       "SetCompressor zlib\n"
                                       "OutFile \"nsis.exe\"\n"
                                       "InstallDir \"$PROGRAMFILES\\Bench\"\n"
                                       "RequestExecutionLevel user\n"
                                       "Section\n"
                                       "SetOutPath \"$INSTDIR\"\n"
                                       "File /r \"product\\*.*\"\n"
                                       "SectionEnd\n";
  const std::string stub = std::string(SETUPKIT_TEST_DATA) + "/stub_res.exe";
  auto setupkit = [&](const std::string& out, int level) {
    std::vector<std::string> a = {SETUPKIT_EXE, "build", "project.xml", "--stub", stub, "-o", out};
    if (level) a.insert(a.end(), {"--level", std::to_string(level)});
    return Run(a, root);
  };

  std::printf("product: %zu files, %.1f MB; compressor: %s, default level %d\n", files.size(),
              static_cast<double>(bytes) / 1e6, BuildCompressorName(), DefaultBuildLevel());
  if (levels) {
    const uint64_t zlib9 = Zlib9Size(files);
    std::printf("zlib level 9 over the same files: %llu bytes\n", static_cast<unsigned long long>(zlib9));
    for (int level = 1; level <= MaxBuildLevel(); ++level) {
      const TRun r = setupkit("level.exe", level);
      if (r.Status != 0) return 1;
      std::printf("level %2d: %6.2f s, setup %llu bytes\n", level, r.Seconds,
                  static_cast<unsigned long long>(fs::file_size(root / "level.exe")));
    }
  }

  const TRun ours = setupkit("setupkit.exe", 0);
  if (ours.Status != 0) {
    std::fprintf(stderr, "bench_build: setupkit build failed (%d)\n", ours.Status);
    return 1;
  }
  const double oursMb = static_cast<double>(fs::file_size(root / "setupkit.exe")) / 1e6;
  std::printf("setupkit: %6.2f s, %.2f MB, peak memory %.1f MB\n", ours.Seconds, oursMb, ours.PeakKb / 1024.0);
  if (!HaveProgram("makensis")) {
    std::printf("makensis not found (apt-get install nsis): no baseline\n");
  } else {
    const TRun nsis = Run({"makensis", "-V1", "bench.nsi"}, root);
    if (nsis.Status != 0) {
      std::fprintf(stderr, "bench_build: makensis failed (%d)\n", nsis.Status);
      return 1;
    }
    const double nsisMb = static_cast<double>(fs::file_size(root / "nsis.exe")) / 1e6;
    std::printf("makensis: %6.2f s, %.2f MB, peak memory %.1f MB\n", nsis.Seconds, nsisMb, nsis.PeakKb / 1024.0);
    std::printf("setupkit is %.2fx as fast; its output is %.3fx the size\n", nsis.Seconds / ours.Seconds,
                oursMb / nsisMb);
  }
  if (!std::getenv("BENCH_KEEP")) fs::remove_all(root);
  return 0;
}
