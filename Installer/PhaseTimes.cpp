#include "PhaseTimes.h"

#include <windows.h>

#include <cstdio>

namespace {

std::chrono::steady_clock::duration gTotals[phCount] = {};
double gFirstFileMs = -1;
const char* const kNames[phCount] = {"index", "progress", "paths", "detail", "decode", "folders", "write", "ahead", "helping"};

double Ms(std::chrono::steady_clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Milliseconds from the process's creation to now, by the system's clock.
double SinceProcessStart() {
  FILETIME created, exited, kernel, user, now;
  if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1;
  ::GetSystemTimeAsFileTime(&now);
  const auto ticks = [](const FILETIME& t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  return static_cast<double>(ticks(now) - ticks(created)) / 10000.0;
}

}  // namespace

bool TPhaseTimes::On() {
  static const bool on = ::GetEnvironmentVariableW(L"SETUPKIT_PHASE_TIMES", nullptr, 0) > 0;
  return on;
}

void TPhaseTimes::MarkFirstFile() {
  if (On() && gFirstFileMs < 0) gFirstFileMs = SinceProcessStart();
}

void TPhaseTimes::Mark(const char* what) {
  if (!On()) return;
  std::fprintf(stderr, "phase times: %s at %.1f ms\n", what, SinceProcessStart());
  std::fflush(stderr);
}

void TPhaseTimes::Add(TPhase phase, std::chrono::steady_clock::duration d) { gTotals[phase] += d; }

void TPhaseTimes::Report(int files, std::chrono::steady_clock::duration whole) {
  if (!On()) return;
  std::chrono::steady_clock::duration counted{};
  for (int i = 0; i < phAhead; ++i) counted += gTotals[i];
  std::fprintf(stderr,
               "phase times: %d files, file step %.1f ms; from the process's start: first file %.1f ms, "
               "end of the file step %.1f ms\n",
               files, Ms(whole), gFirstFileMs, SinceProcessStart());
  for (int i = 0; i < phAhead; ++i)
    std::fprintf(stderr, "  %-9s %9.1f ms  %5.1f %%  %7.3f ms/file\n", kNames[i], Ms(gTotals[i]),
                 whole.count() > 0 ? 100.0 * Ms(gTotals[i]) / Ms(whole) : 0.0, files > 0 ? Ms(gTotals[i]) / files : 0.0);
  std::fprintf(stderr, "  %-9s %9.1f ms\n", "other", Ms(whole - counted));
  // The second thread's time runs beside the split above, not within it.
  std::fprintf(stderr, "  %-9s %9.1f ms  on the second thread\n", kNames[phAhead], Ms(gTotals[phAhead]));
  std::fprintf(stderr, "  %-9s %9.1f ms  of decode: later files inflated here meanwhile\n", kNames[phHelp],
               Ms(gTotals[phHelp]));
  std::fflush(stderr);
}
