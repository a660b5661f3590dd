// Saving and loading a large setup script, against the bare XML document
// layer doing its share of the same work (writing and parsing the same
// bytes) in the same run.
#include <chrono>
#include <cstdio>
#include <string>

#include "QvClasses.h"
#include "QvSysUtils.h"
#include "QvXmlUtils.h"
#include "SetupProject.h"

namespace {

constexpr int kItems = 10000;
constexpr int kRounds = 5;

using Clock = std::chrono::steady_clock;

template <class F>
double BestSeconds(F f) {
  double best = 1e300;
  for (int r = 0; r < kRounds; ++r) {
    const auto start = Clock::now();
    f();
    const double s = std::chrono::duration<double>(Clock::now() - start).count();
    if (s < best) best = s;
  }
  return best;
}

void FillFiles(TSetupScript& script) {
  for (int i = 0; i < kItems; ++i) {
    auto* f = new TSetupFile();
    f->Condition = u"";
    f->DestDir = u"{app}\\lib\\sub" + IntToStr(i % 50);
    f->FileBytes = 1000 + i;
    f->LastWriteDate = 45123.0 + i / 86400.0;
    f->ResID = TQvStrfn::NewGUIDString();
    f->SourceMask = u"file" + IntToStr(i) + u".dll";
    f->SourcePath = u"C:\\build\\out\\lib\\";
    script.FileList()->Add(f);
  }
}

void Report(const char* what, double seconds, double baselineSeconds) {
  std::printf("%-6s %10.0f items/s  (%.2f ms; %.2fx the XML document layer's time)\n", what, kItems / seconds,
              seconds * 1e3, seconds / baselineSeconds);
}

}  // namespace

int main() {
  TSetupScript script;
  FillFiles(script);

  std::string xml;
  const double save = BestSeconds([&] {
    TMemoryStream out;
    script.SaveToStream(out);
    xml = out.Bytes();
  });
  size_t loaded = 0;
  const double load = BestSeconds([&] {
    TSetupScript copy;
    TMemoryStream in(xml);
    copy.LoadFromStream(in);
    loaded = static_cast<size_t>(copy.FileList()->Count());
  });

  // The tree that SaveToStream builds, so the baseline writes the same bytes.
  TXmlDocument doc(u"TSetupScript");
  script.SaveToNode(doc.Root.get(), 0);
  size_t written = 0;
  const double write = BestSeconds([&] { written = doc.SaveToString().size(); });
  const double parse = BestSeconds([&] {
    TXmlDocument d;
    d.LoadFromBuffer(xml.data(), xml.size());
  });

  if (loaded != static_cast<size_t>(kItems) || written != xml.size()) {
    std::fprintf(stderr, "bench_script: round trip lost data (%zu items, %zu of %zu bytes)\n", loaded, written,
                 xml.size());
    return 1;
  }
  std::printf("setup script with %d file items, %zu bytes of XML, best of %d\n", kItems, xml.size(), kRounds);
  Report("save", save, write);
  Report("load", load, parse);
  return 0;
}
