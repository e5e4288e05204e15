#pragma once
// The verification run's main loop. The window's 400 ms timer calls
// Timer2Timer; each tick asks the acquisition thread for a reading and, when
// one has been handed over, runs the one step routine that the current plan
// entry names. A step passes when the reading shows that the operator did
// what was asked; it then records what it must, prompts the next action and
// moves on. Everything here runs on the user-interface thread.

#include <cstdint>
#include <optional>
#include <string>

#include "link/acquisition.h"
#include "link/clock.h"
#include "procedure/live_display.h"
#include "procedure/operator_dialogs.h"
#include "procedure/prompts.h"
#include "procedure/session.h"

namespace librato {

class ResultsTable;
class Trace;

// The counters and marks of the run in progress. Nothing is reset when a run
// ends, only when the next one starts.
struct RunState {
  static constexpr DateTime kSpanUnset = 10000000;  // longer than any real span

  Plan plan;
  std::size_t stepPos = 0;
  int readingCount = 0;             // rows recorded in this run = row of the latest reading
  int aCount = -1;                  // reference readings; the tare raises it to 0
  int bCount = 0;                   // test readings
  int stepsDone = -2;               // passed steps after the first reading; the thread reads it
  int startRetries = 0;             // invalid hand-overs seen while waiting for the first reading
  std::int64_t prevStepWeight = 0;  // fine counts of the reading that passed the last step
  bool prevStepInvalid = false;
  DateTime lastStepTime = 0;
  double lastAWeight = 0;  // grams
  int lAp = 0;             // results-table row of the latest A; kept across runs
  std::string rowLabel;    // "A" or "B" of the row written next
  int rowNumber = 0;
  DateTime placeTimeMax = 0, placeTimeMin = kSpanUnset;
  DateTime removeTimeMax = 0, removeTimeMin = kSpanUnset;
  // As they stood at the last removal after a reading; the protocol prints these.
  DateTime reportPlaceMax = 0, reportPlaceMin = kSpanUnset;
  DateTime reportRemoveMax = 0, reportRemoveMin = kSpanUnset;

  // plan[i], or Finish beyond the plan's end.
  ProcedureStep at(std::size_t i) const {
    return i < plan.size() ? plan[i] : ProcedureStep::Finish;
  }
};

// What the validation hands back when the run may begin.
struct RunSetup {
  SessionParameters params;
  Plan plan;
};

// The window as the step machine sees it.
class RunView : public PromptView, public LiveView {
 public:
  // The warning picture ("ВНИМАНИЕ!") in place of the main panel, repainted.
  virtual void showStartWarning(bool shown) = 0;
  // tCur on or off, lCur and labStab shown or hidden and repainted.
  virtual void setLiveDisplay(bool on) = 0;
  // timerWeight on or off.
  virtual void setStepTimer(bool on) = 0;
  // true: the idle state of the controls; false: the running state.
  virtual void EnableControls(bool idle) = 0;
  // Validates the run parameters, showing its own messages; the captured
  // parameters and the plan when the run may begin (also empties lblSKO and
  // the trace as the plan is built).
  virtual std::optional<RunSetup> CheckParameters() = 0;
  // The controls the start questions read before the capture.
  virtual bool skoTicked() const = 0;               // cbSKO
  virtual std::string weightCountText() const = 0;  // eTotLoad
  virtual int cyclesToWeight() const = 0;           // seCyclesToWeight
  virtual void setCyclesToWeight(int cycles) = 0;
  // Empties column 1 of every row of the weight numbers grid.
  virtual void clearWeightNumbers() = 0;
  // The protocol built and shown for saving; false when building failed
  // (the window has shown the error), which abandons the start.
  virtual bool BuildProtocol(bool show) = 0;
  virtual void setProtocolSaved(bool saved) = 0;
};

// Writing the rows and computing the results after a reference reading. The
// window's implementation calls the results library and applies the lblSKO
// label; the machine has updated RunState before each call.
class RunResults {
 public:
  virtual ~RunResults() = default;
  virtual void PrintToStrGridCur(const RunState& run, const SessionParameters& params,
                                 double acceptedValue) = 0;
  virtual void CalcMultiple(const RunState& run, const SessionParameters& params) = 0;
  virtual void Calc(const RunState& run, const SessionParameters& params) = 0;
};

// Starting and stopping the acquisition thread.
class AcquisitionControl {
 public:
  virtual ~AcquisitionControl() = default;
  virtual void start(const AcquisitionConfig& config) = 0;
  virtual void requestStop() = 0;
};

// How the latest run ended; for the window's status and the demo harness.
enum class RunOutcome { None, Running, Finished, Stopped, TimedOut, LinkLost, Refused };

class StepMachine {
 public:
  static constexpr int kStartPauseMs = 3500;
  static constexpr int kInitPauseMs = 50;
  static constexpr int kStepTimerMs = 400;
  static constexpr DateTime kIdleTimeout = 2.0 / (24 * 60);  // two minutes
  static constexpr int kStartRetries = 5;

  struct Deps {
    RunView& view;
    OperatorDialogs& dialogs;
    Prompts& prompts;
    Clock& clock;
    AcquisitionShared& shared;
    AcquisitionControl& acquisition;
    ResultsTable& table;
    RunResults& results;
    Trace& trace;
  };
  explicit StepMachine(const Deps& deps);

  void btnStartClick();
  void StartThread();
  void Timer2Timer();
  void DispatchStep();
  void StopRun();
  void btnStopClick();

  void WaitForReading();
  void ReadInitWeight();
  void WaitForTare();
  void WaitForClear();
  void WaitForA();
  void WaitForB();

  const RunState& state() const { return run_; }
  const SessionParameters& params() const { return params_; }
  bool stepTimerOn() const { return timerOn_; }
  RunOutcome outcome() const { return outcome_; }
  // The accepted reading the current step works on (copied at the hand-over).
  const AcceptedReading& reading() const { return reading_; }

 private:
  // Step tests, in fine counts.
  bool placed(std::int64_t v) const;
  bool removed(std::int64_t v) const;
  std::int64_t threshold() const;
  std::int64_t fineCounts(double value) const;
  void recordStep(std::int64_t v);
  void advance();
  void passStep();
  void placePrompt();
  void notePlacement();
  void setStepTimer(bool on);
  void clearResults(bool askNumbers);

  RunView& view_;
  OperatorDialogs& dialogs_;
  Prompts& prompts_;
  Clock& clock_;
  AcquisitionShared& shared_;
  AcquisitionControl& acquisition_;
  ResultsTable& table_;
  RunResults& results_;
  Trace& trace_;

  RunState run_;
  SessionParameters params_;
  AcceptedReading reading_;
  DateTime readingTime_ = 0;  // lastReadingTime of the copied hand-over
  bool timerOn_ = false;
  bool inTick_ = false;
  RunOutcome outcome_ = RunOutcome::None;
};

}  // namespace librato
