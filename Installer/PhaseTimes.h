// Where an installation's time goes, for the benchmarks. With the
// environment variable SETUPKIT_PHASE_TIMES set, the installer adds up the
// time of each phase of the file step and writes the split to standard
// error when the step ends; without it nothing is measured.
#pragma once

#include <chrono>

enum TPhase {
  phIndex,     // the package's file index read and checked
  phProgress,  // the progress bar stepped, pending messages handled
  phPaths,     // the destination's placeholders expanded
  phDetail,    // the detail line set and painted
  phDecode,    // inflated here, or waited for from the second thread
  phFolders,   // its folder made where missing
  phWrite,     // written whole with its times
  phAhead,     // inflating on the second thread, beside the others
  phHelp,      // of phDecode: a later file inflated here meanwhile
  phCount
};

class TPhaseTimes {
public:
  static bool On();
  static void Add(TPhase phase, std::chrono::steady_clock::duration d);
  // The first file's write begins now: the time since the process started
  // is kept for the report.
  static void MarkFirstFile();
  // One line on standard error: what has just ended, and when, from the
  // process's start.
  static void Mark(const char* what);
  // The split, the file step's whole time and the times from the
  // process's start to the first file and to now, on standard error.
  static void Report(int files, std::chrono::steady_clock::duration whole);
};

// Adds the time from its making to its end to phase, when measuring.
class TPhaseScope {
public:
  explicit TPhaseScope(TPhase phase) : FPhase(phase), FOn(TPhaseTimes::On()) {
    if (FOn) FStart = std::chrono::steady_clock::now();
  }
  ~TPhaseScope() {
    if (FOn) TPhaseTimes::Add(FPhase, std::chrono::steady_clock::now() - FStart);
  }
  TPhaseScope(const TPhaseScope&) = delete;
  TPhaseScope& operator=(const TPhaseScope&) = delete;

private:
  TPhase FPhase;
  bool FOn;
  std::chrono::steady_clock::time_point FStart;
};
