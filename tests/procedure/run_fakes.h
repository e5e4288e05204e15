#pragma once
// Fakes for driving the step machine and the prompts without widgets: a view
// that records what the operator would see, a sound sink that records what
// was played, scripted dialogs, a fake acquisition control, and a row writer.

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "link/acquisition.h"
#include "link/mass_text.h"
#include "procedure/operator_dialogs.h"
#include "procedure/prompts.h"
#include "procedure/sound_output.h"
#include "procedure/step_machine.h"
#include "results/results_table.h"

namespace librato::testing {

struct Played {
  std::string file;  // relative name, e.g. "Sounds/Putoff.wav"
  bool waitToEnd;
  bool operator==(const Played&) const = default;
};

// Records every sound; with a clock it also takes a fixed time per
// play-to-end, as a real sink would.
class RecordingSound final : public SoundOutput {
 public:
  explicit RecordingSound(Clock* clock = nullptr, int msPerSound = 0)
      : clock_(clock), ms_(msPerSound) {}
  void play(const std::string& path, bool waitToEnd) override {
    played.push_back({path.substr(path.find("Sounds/")), waitToEnd});
    if (waitToEnd && clock_) clock_->sleepMs(ms_);
  }
  void stop() override { ++stops; }
  std::vector<Played> played;
  int stops = 0;

 private:
  Clock* clock_;
  int ms_;
};

// Every name resolves except those listed as missing.
struct FakeResolver {
  std::vector<std::string> missing;
  bool all_missing = false;
  SoundResolver resolver() {
    return [this](const std::string& rel) -> std::optional<std::string> {
      if (all_missing) return std::nullopt;
      for (const auto& m : missing)
        if (m == rel) return std::nullopt;
      return "/lab/" + rel;
    };
  }
};

class FakeRunView final : public RunView {
 public:
  // PromptView
  void setHint(const std::string& t) override {
    hint = t;
    events.push_back("hint:" + t);
  }
  void setHintSmall(const std::string& t) override {
    hintSmall = t;
    events.push_back("small:" + t);
  }
  void setLiveCaption(const std::string& t) override {
    caption = t;
    ++captionWrites;
  }
  std::string weightNumber(int row) const override {
    auto it = numbers.find(row);
    return it == numbers.end() ? std::string() : it->second;
  }
  bool numbersEntered() const override { return numbersOn; }
  bool voiceNumbers() const override { return voiceOn; }
  // LiveView
  std::string liveCaption() const override { return caption; }
  bool stabVisible() const override { return stab; }
  void setStabVisible(bool v) override { stab = v; }
  // RunView
  void showStartWarning(bool shown) override {
    events.push_back(shown ? "warning:on" : "warning:off");
  }
  void setLiveDisplay(bool on) override { liveOn = on; }
  void setStepTimer(bool on) override { timer = on; }
  void EnableControls(bool idleState) override {
    idle = idleState;
    events.push_back(idleState ? "controls:idle" : "controls:running");
  }
  std::optional<RunSetup> CheckParameters() override {
    ++checks;
    cyclesAtCheck = cycles;
    if (!valid) return std::nullopt;
    return setup;
  }
  bool skoTicked() const override { return sko; }
  std::string weightCountText() const override { return countText; }
  int cyclesToWeight() const override { return cycles; }
  void setCyclesToWeight(int c) override { cycles = c; }
  void clearWeightNumbers() override {
    for (auto& [row, n] : numbers) n.clear();
  }
  bool BuildProtocol(bool show) override {
    builds.push_back(show);
    return buildOk;
  }
  void setProtocolSaved(bool saved) override { protocolSaved = saved; }

  std::string hint, hintSmall, caption = "0";
  int captionWrites = 0;
  bool stab = false;
  std::vector<std::string> events;
  std::map<int, std::string> numbers;
  bool numbersOn = false, voiceOn = false;
  bool liveOn = false, timer = false, idle = true;
  int checks = 0;
  int cyclesAtCheck = -1;  // seCyclesToWeight as validation found it
  bool valid = true;
  RunSetup setup;
  bool sko = false;
  std::string countText = "2";
  int cycles = 1;
  std::vector<bool> builds;
  bool buildOk = true;
  bool protocolSaved = true;
};

struct Asked {
  std::string text, caption;
  int flags;
};

// Answers questions from a script (Yes once the script runs out).
class ScriptedDialogs final : public OperatorDialogs {
 public:
  Answer message(const std::string& text, const std::string& caption, int flags) override {
    asked.push_back({text, caption, flags});
    if (answers.empty())
      return flags == kMsgOk || flags == kMsgOkWarning ? Answer::Ok : Answer::Yes;
    Answer a = answers.front();
    answers.pop_front();
    return a;
  }
  void error(const std::string& text) override { errors.push_back(text); }
  std::optional<std::string> saveFile(const std::string&, const std::string&,
                                      const std::string&) override {
    return std::nullopt;
  }
  std::deque<Answer> answers;
  std::vector<Asked> asked;
  std::vector<std::string> errors;
};

class FakeAcquisition final : public AcquisitionControl {
 public:
  void start(const AcquisitionConfig& c) override { starts.push_back(c); }
  void requestStop() override { ++stops; }
  std::vector<AcquisitionConfig> starts;
  int stops = 0;
};

// Writes the row of a reading the way the window's table shows it (number,
// label, reading) and records when the computations were asked for.
class TableRows final : public RunResults {
 public:
  TableRows(ResultsTable& table, const AcquisitionShared& shared)
      : table_(table), shared_(shared) {}
  void PrintToStrGridCur(const RunState& run, const SessionParameters&, double value) override {
    if (run.bCount >= 1) table_.setRowCount(table_.rowCount() + 1);
    const int row = run.readingCount;
    table_.setCell(ResultsTable::kNumber, row, std::to_string(row));
    table_.setCell(ResultsTable::kLabel, row, run.rowLabel + std::to_string(run.rowNumber));
    table_.setCell(ResultsTable::kReading, row, FormatFixed(shared_.liveDecimals.load(), value));
  }
  void CalcMultiple(const RunState& run, const SessionParameters&) override {
    calls.push_back("CalcMultiple@" + std::to_string(run.readingCount));
  }
  void Calc(const RunState& run, const SessionParameters&) override {
    calls.push_back("Calc@" + std::to_string(run.readingCount));
    if (failCalc) throw ConversionError("«x» is not an integer");
  }
  std::vector<std::string> calls;
  bool failCalc = false;

 private:
  ResultsTable& table_;
  const AcquisitionShared& shared_;
};

}  // namespace librato::testing
