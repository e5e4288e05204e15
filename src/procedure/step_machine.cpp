#include "procedure/step_machine.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "link/mass_text.h"
#include "link/trace.h"
#include "results/results_table.h"

namespace librato {

namespace {

const char* const kSkoCaption = "Вычисление СКО";

// eTotLoad read as an integer the way the control's value is read: blanks
// around it allowed, nothing else.
std::optional<long long> ParseCount(const std::string& text) {
  std::size_t b = text.find_first_not_of(' ');
  std::size_t e = text.find_last_not_of(' ');
  if (b == std::string::npos) return std::nullopt;
  const char* first = text.data() + b;
  const char* last = text.data() + e + 1;
  if (*first == '+') ++first;
  long long n = 0;
  auto [ptr, ec] = std::from_chars(first, last, n);
  if (ec != std::errc() || ptr != last) return std::nullopt;
  return n;
}

}  // namespace

StepMachine::StepMachine(const Deps& deps)
    : view_(deps.view),
      dialogs_(deps.dialogs),
      prompts_(deps.prompts),
      clock_(deps.clock),
      shared_(deps.shared),
      acquisition_(deps.acquisition),
      table_(deps.table),
      results_(deps.results),
      trace_(deps.trace) {}

// ---------------------------------------------------------------- start

void StepMachine::btnStartClick() {
  view_.showStartWarning(true);
  prompts_.PlayStartWarning();
  clock_.sleepMs(kStartPauseMs);
  view_.showStartWarning(false);

  if (view_.skoTicked()) {
    const std::string text = view_.weightCountText();
    std::optional<long long> n = ParseCount(text);
    if (!n) {
      dialogs_.error("'" + text + "' is not a valid integer value");
      outcome_ = RunOutcome::Refused;
      return;
    }
    if (*n == 1) {
      dialogs_.message(
          "СКО вычислить невозможно. Рекомендуется указать количество проверяемых гирь 10.",
          kSkoCaption, kMsgOk);
      outcome_ = RunOutcome::Refused;
      return;
    }
    if (*n < 10 && dialogs_.message("Рекомендуется указать количество проверяемых гирь 10. "
                                    "Продолжить?",
                                    kSkoCaption, kMsgYesNoQuestion) != Answer::Yes) {
      outcome_ = RunOutcome::Refused;
      return;
    }
    if (view_.cyclesToWeight() > 1) {
      if (dialogs_.message("Количество циклов на гирю будет установлено равным 1. Продолжить?",
                           kSkoCaption, kMsgYesNoQuestion) != Answer::Yes) {
        outcome_ = RunOutcome::Refused;
        return;
      }
      view_.setCyclesToWeight(1);
    }
  }

  if (table_.hasReading()) {
    prompts_.PlayNotify();
    const Answer a = dialogs_.message(
        " Нажмите \"Да\", чтобы сохранить результаты и очистить окно. \n"
        " Нажмите \"Нет\", чтобы очистить окно без сохранения результатов.",
        "Сохранить результаты перед очисткой окна?", kMsgYesNoCancelQuestion);
    if (a != Answer::Yes && a != Answer::No) {
      outcome_ = RunOutcome::Refused;
      return;
    }
    if (a == Answer::Yes && !view_.BuildProtocol(true)) {
      outcome_ = RunOutcome::Refused;
      return;
    }
    clearResults(true);
  } else {
    clearResults(false);
  }

  run_.startRetries = 0;
  StartThread();
}

void StepMachine::clearResults(bool askNumbers) {
  for (int row = 1; row < table_.rowCount(); ++row)
    for (int col = 0; col < ResultsTable::kColumns; ++col)
      if (!table_.cell(col, row).empty()) table_.setCell(col, row, "");
  if (askNumbers && !view_.weightNumber(1).empty() &&
      dialogs_.message("Очистить номера гирь?", "Удаление данных", kMsgYesNoQuestion) ==
          Answer::Yes)
    view_.clearWeightNumbers();
  table_.clear();
  run_.readingCount = 0;
  StopRun();
}

void StepMachine::StartThread() {
  std::optional<RunSetup> setup = view_.CheckParameters();
  if (!setup) {
    outcome_ = RunOutcome::Refused;
    return;
  }
  params_ = std::move(setup->params);
  run_.plan = std::move(setup->plan);
  run_.stepPos = 0;
  run_.stepsDone = -2;
  run_.aCount = -1;
  run_.bCount = 0;
  shared_.stepsDone.store(run_.stepsDone);
  shared_.inWaitForClear.store(run_.at(0) == ProcedureStep::WaitForClear);

  shared_.stopRequested.store(false);
  acquisition_.start(AcquisitionConfig{params_.PortNumber, params_.ReadoutTime});
  setStepTimer(true);
  view_.EnableControls(false);
  view_.setProtocolSaved(false);
  view_.setHintSmall("Подготовка к измерениям...");
  shared_.linkLost.store(false);
  run_.placeTimeMax = run_.removeTimeMax = run_.reportPlaceMax = run_.reportRemoveMax = 0;
  run_.placeTimeMin = run_.removeTimeMin = run_.reportPlaceMin = run_.reportRemoveMin =
      RunState::kSpanUnset;
  outcome_ = RunOutcome::Running;
}

// ---------------------------------------------------------------- tick

void StepMachine::setStepTimer(bool on) {
  timerOn_ = on;
  view_.setStepTimer(on);
}

void StepMachine::Timer2Timer() {
  // A modal message raised inside a tick must not let the next tick run
  // inside this one.
  if (inTick_ || !timerOn_) return;
  inTick_ = true;
  struct Leave {
    bool& flag;
    ~Leave() { flag = false; }
  } leave{inTick_};

  {
    std::lock_guard lock(shared_.SnapshotLock);
    shared_.readingRequested.store(true);
  }
  const DateTime now = clock_.now();
  if (run_.aCount >= 1 && now > run_.lastStepTime + kIdleTimeout &&
      now > shared_.lastReadingTime.load() + kIdleTimeout) {
    setStepTimer(false);
    prompts_.PlayNotify();
    dialogs_.message(
        "Время ожидания действий пользователя превысило 2 минуты. Начните, пожалуйста, "
        "сначала.\n Вы можете записать полученные результаты в файл, используя кнопку "
        "\"Сохранить\".",
        "Время ожидания превысило 2 минуты", kMsgOkWarning);
    StopRun();
    outcome_ = RunOutcome::TimedOut;
    return;
  }
  if (shared_.readingReady.load()) {
    {
      std::lock_guard lock(shared_.SnapshotLock);
      shared_.readingRequested.store(true);
      shared_.readingReady.store(false);
      reading_ = shared_.accepted;
      readingTime_ = shared_.lastReadingTime.load();
    }
    DispatchStep();
    return;
  }
  if (shared_.linkLost.load()) {
    setStepTimer(false);
    prompts_.PlayNotify();
    dialogs_.message("Проверьте выбранный порт и подключение весов", "Нет связи с весами",
                     kMsgOkWarning);
    StopRun();
    outcome_ = RunOutcome::LinkLost;
  }
}

void StepMachine::DispatchStep() {
  try {
    switch (run_.at(run_.stepPos)) {
      case ProcedureStep::WaitForReading:
        WaitForReading();
        break;
      case ProcedureStep::ReadInitWeight:
        ReadInitWeight();
        break;
      case ProcedureStep::WaitForTare:
        WaitForTare();
        break;
      case ProcedureStep::WaitForClear:
        WaitForClear();
        break;
      case ProcedureStep::WaitForA:
        WaitForA();
        break;
      case ProcedureStep::WaitForB:
        WaitForB();
        break;
      case ProcedureStep::Finish:
        break;  // the removal step before it has ended the run
    }
  } catch (const ConversionError& e) {
    // The reading cannot be counted: the step stays current.
    dialogs_.error(e.what());
  }
}

// ---------------------------------------------------------------- tests

std::int64_t StepMachine::fineCounts(double value) const {
  // The number routines write a non-finite value as 0, which would pass the
  // tare test: such a reading cannot be counted.
  if (!std::isfinite(value)) throw ConversionError("reading is not a number");
  return MassText(shared_.liveDecimals.load(), &trace_).FineCounts(value);
}

std::int64_t StepMachine::threshold() const { return 100 * std::int64_t(reading_.clearanceDigits); }

bool StepMachine::placed(std::int64_t v) const {
  if (reading_.acceptedInvalid) return false;
  if (run_.prevStepInvalid) return true;  // the reading has just become valid
  return v - run_.prevStepWeight > threshold();
}

bool StepMachine::removed(std::int64_t v) const {
  if (reading_.acceptedInvalid) return true;
  if (run_.prevStepInvalid) return false;
  return run_.prevStepWeight - v > threshold();
}

void StepMachine::recordStep(std::int64_t v) {
  run_.prevStepWeight = v;
  run_.prevStepInvalid = reading_.acceptedInvalid != 0;
  shared_.prevStepInvalid.store(run_.prevStepInvalid);
}

void StepMachine::advance() {
  run_.stepPos += 1;
  shared_.inWaitForClear.store(run_.at(run_.stepPos) == ProcedureStep::WaitForClear);
}

void StepMachine::passStep() {
  run_.stepsDone += 1;
  shared_.stepsDone.store(run_.stepsDone);
}

void StepMachine::placePrompt() {
  prompts_.PromptPlace(PlaceContext{run_.at(run_.stepPos + 1), run_.aCount, run_.bCount, &params_});
}

// ---------------------------------------------------------------- steps

void StepMachine::WaitForReading() {
  view_.setLiveDisplay(true);
  LiveDisplay::Tick(view_, shared_, trace_);
  if (!reading_.acceptedInvalid || run_.startRetries >= kStartRetries) {
    recordStep(fineCounts(reading_.acceptedValue));
    placePrompt();
    advance();
  } else {
    run_.startRetries += 1;
  }
}

void StepMachine::ReadInitWeight() {
  trace_.add("ReadInitWeight1");
  const std::int64_t v = fineCounts(reading_.acceptedValue);
  trace_.add(" prevStepWeight" + std::to_string(run_.prevStepWeight) + " W" + std::to_string(v) +
             " (100*modelDiscretel)" + std::to_string(threshold()));
  if (!placed(v)) return;
  recordStep(v);
  if (v != 0) prompts_.PromptTare();
  clock_.sleepMs(kInitPauseMs);
  passStep();
  advance();
}

void StepMachine::WaitForTare() {
  trace_.add("WaitForTare2");
  if (reading_.acceptedInvalid) return;
  if (fineCounts(std::fabs(reading_.acceptedValue)) != 0) return;
  recordStep(fineCounts(reading_.acceptedValue));
  prompts_.PromptRemove();
  passStep();
  run_.aCount += 1;
  advance();
}

void StepMachine::WaitForClear() {
  trace_.add("WaitForClear3");
  const std::int64_t v = fineCounts(reading_.acceptedValue);
  if (!removed(v)) return;
  const DateTime now = clock_.now();
  shared_.lastReadingTime.store(now);
  if (run_.readingCount > 0) {
    const DateTime d = now - run_.lastStepTime;
    if (d < run_.removeTimeMin) run_.removeTimeMin = d;
    if (d > run_.removeTimeMax) run_.removeTimeMax = d;
    if (run_.reportRemoveMin > run_.removeTimeMin) run_.reportRemoveMin = run_.removeTimeMin;
    if (run_.reportRemoveMax < run_.removeTimeMax) run_.reportRemoveMax = run_.removeTimeMax;
    if (run_.reportPlaceMin > run_.placeTimeMin) run_.reportPlaceMin = run_.placeTimeMin;
    if (run_.reportPlaceMax < run_.placeTimeMax) run_.reportPlaceMax = run_.placeTimeMax;
  }
  if (run_.at(run_.stepPos + 1) == ProcedureStep::Finish) {
    StopRun();
    prompts_.PromptEnd();
    advance();
    outcome_ = RunOutcome::Finished;
    return;
  }
  recordStep(v);
  run_.lastStepTime = now;
  passStep();
  placePrompt();
  advance();
}

// A placing step has passed: its time, the removal prompt, the next row.
void StepMachine::notePlacement() {
  const DateTime d = readingTime_ - run_.lastStepTime;
  if (d < run_.placeTimeMin) run_.placeTimeMin = d;
  if (d > run_.placeTimeMax) run_.placeTimeMax = d;
  prompts_.PromptRemove();
  run_.lastStepTime = clock_.now();
  run_.readingCount += 1;
}

void StepMachine::WaitForA() {
  trace_.add("WaitForA4");
  const std::int64_t v = fineCounts(reading_.acceptedValue);
  if (!placed(v)) return;
  notePlacement();
  run_.aCount += 1;
  run_.lastAWeight = reading_.acceptedValue;
  run_.rowLabel = "A";
  run_.rowNumber = run_.aCount;
  results_.PrintToStrGridCur(run_, params_, reading_.acceptedValue);
  const int rows = table_.rowCount();
  trace_.add("lAp = " + std::to_string(run_.lAp) + "; rcnt = " + std::to_string(rows));
  // The row is written: a computation that fails must not leave the step
  // current, or the next hand-over would write the same reading again.
  try {
    if (run_.lAp != 0 && run_.lAp < rows - 2) results_.CalcMultiple(run_, params_);
    const int cycles = params_.CyclesToWeight;
    trace_.add("B = " + std::to_string(run_.bCount));
    trace_.add("B%ctv = " + std::to_string(cycles != 0 ? run_.bCount % cycles : 0));
    const int perWeight = (params_.MethodABA ? 1 : 2) * cycles;
    if (run_.at(run_.stepPos + 2) == ProcedureStep::Finish ||
        (perWeight != 0 && run_.bCount % perWeight == 0))
      results_.Calc(run_, params_);
  } catch (const ConversionError& e) {
    dialogs_.error(e.what());
  }
  run_.lAp = table_.rowCount() - 1;
  trace_.add("set lAp = " + std::to_string(run_.lAp));
  recordStep(v);
  passStep();
  advance();
}

void StepMachine::WaitForB() {
  trace_.add("WaitForB5");
  const std::int64_t v = fineCounts(reading_.acceptedValue);
  if (!placed(v)) return;
  notePlacement();
  run_.bCount += 1;
  run_.rowLabel = "B";
  run_.rowNumber = run_.bCount;
  passStep();
  results_.PrintToStrGridCur(run_, params_, reading_.acceptedValue);
  advance();
  recordStep(v);
}

// ---------------------------------------------------------------- stop

void StepMachine::StopRun() {
  view_.setLiveDisplay(false);
  setStepTimer(false);
  {
    std::lock_guard lock(shared_.SnapshotLock);
    shared_.stopRequested.store(true);
    shared_.readingRequested.store(false);
    shared_.readingReady.store(false);
  }
  acquisition_.requestStop();
  view_.EnableControls(true);
  view_.setHint("");
  view_.setHintSmall("");
  if (outcome_ == RunOutcome::Running) outcome_ = RunOutcome::Stopped;
}

void StepMachine::btnStopClick() {
  view_.EnableControls(true);
  StopRun();
}

}  // namespace librato
