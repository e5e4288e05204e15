// librato-demo: a whole verification run through the real window, the real
// serial channel over a pseudo-terminal and the simulated balance, with a
// scripted operator who answers Yes and does what the prompts ask.

#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>

#include "app/document_opener.h"
#include "app/load_names_form.h"
#include "app/run_window.h"
#include "demo_options.h"
#include "link/mass_text.h"
#include "procedure/plan.h"
#include "pty_balance.h"

namespace librato::demo {
namespace {

namespace fs = std::filesystem;

// Every question answered with Yes (or OK); the save dialog answered with
// the file asked for on the command line.
class YesDialogs final : public OperatorDialogs {
 public:
  explicit YesDialogs(std::string saveAs) : saveAs_(std::move(saveAs)) {}
  Answer message(const std::string& text, const std::string& caption, int flags) override {
    std::cerr << "librato-demo: message \"" << caption << "\": " << text << "\n";
    messages_.push_back(caption);
    const int buttons = flags & 0x0F;
    return buttons == 3 || buttons == 4 ? Answer::Yes : Answer::Ok;
  }
  void error(const std::string& text) override {
    std::cerr << "librato-demo: error: " << text << "\n";
  }
  std::optional<std::string> saveFile(const std::string&, const std::string&,
                                      const std::string&) override {
    if (saveAs_.empty()) return std::nullopt;
    return saveAs_;
  }
  const std::vector<std::string>& messages() const { return messages_; }

 private:
  std::string saveAs_;
  std::vector<std::string> messages_;
};

class NoOpener final : public DocumentOpener {
 public:
  std::string open(const std::string&) override { return ""; }
};

class NoHelpOpener final : public app::DocumentOpener {
 public:
  void open(const QString&) override {}
};

class NoPrinter final : public ProtocolPrinter {
 public:
  PrintOutcome print(const std::string&, const std::string&) override {
    PrintOutcome out;
    out.error = "The demo has no printer.";
    return out;
  }
};

// Silent, but a sound played to its end takes the recording's own time.
class TimedSilence final : public SoundOutput {
 public:
  explicit TimedSilence(Clock& clock) : clock_(clock) {}
  void play(const std::string& path, bool waitToEnd) override {
    if (!waitToEnd) return;
    if (std::optional<std::int64_t> ms = WavDurationMs(path)) clock_.sleepMs(static_cast<int>(*ms));
  }
  void stop() override {}

 private:
  Clock& clock_;
};

const char* EndWord(RunOutcome o) {
  switch (o) {
    case RunOutcome::Finished:
      return "finished";
    case RunOutcome::TimedOut:
      return "timeout";
    case RunOutcome::LinkLost:
      return "link-lost";
    case RunOutcome::Refused:
    case RunOutcome::None:
      return "refused";
    case RunOutcome::Stopped:
    case RunOutcome::Running:
      break;
  }
  return "stopped";
}

template <class W>
W* Find(QWidget& root, const char* name) {
  W* w = root.findChild<W*>(name);
  if (!w) throw std::runtime_error(std::string("no control ") + name);
  return w;
}

void Type(QLineEdit* e, const std::string& text) {
  e->setFocus();
  e->selectAll();
  e->insert(QString::fromStdString(text));
}

// One action of the operator, for the timing figures.
struct Action {
  DateTime time = 0;
  bool put = false;
};

// One passed step: when the reading that passed it was handed over.
struct Passed {
  DateTime handover = 0;
  ProcedureStep step = ProcedureStep::Finish;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// From each operator action to the hand-over that passed the step it
// answered: the time from the balance's first stable report after the action
// to the hand-over, less the read-out time.
std::string TimingReport(const std::vector<Action>& actions, const std::vector<Passed>& passed,
                         const std::vector<sim::SentRecord>& sent, int readout) {
  std::ostringstream out;
  std::vector<double> overheads;
  for (const Passed& p : passed) {
    if (p.step != ProcedureStep::WaitForA && p.step != ProcedureStep::WaitForB &&
        p.step != ProcedureStep::WaitForClear)
      continue;
    const Action* last = nullptr;
    for (const Action& a : actions)
      if (a.time < p.handover) last = &a;
    if (!last) continue;
    std::optional<DateTime> stable;
    for (const sim::SentRecord& r : sent)
      if (r.time > last->time && r.stable && r.kind == sim::SentKind::Intact) {
        stable = r.time;
        break;
      }
    if (!stable || *stable > p.handover) continue;
    const double ms = (p.handover - *stable) * 86400000.0 - readout * 1000.0;
    overheads.push_back(ms);
    char line[160];
    std::snprintf(line, sizeof line,
                  "step %d (%s): stable to hand-over %.1f ms, overhead %.1f ms\n",
                  static_cast<int>(overheads.size()), last->put ? "placed" : "removed",
                  ms + readout * 1000.0, ms);
    out << line;
  }
  char summary[160];
  if (overheads.empty()) {
    std::snprintf(summary, sizeof summary, "overhead beyond read-out: no timed steps\n");
  } else {
    std::snprintf(summary, sizeof summary,
                  "timed steps: %zu\noverhead beyond read-out: median %.0f ms, max %.0f ms\n",
                  overheads.size(), Median(overheads),
                  *std::max_element(overheads.begin(), overheads.end()));
  }
  out << summary;
  return out.str();
}

int Run(int argc, char** argv) {
  DemoOptions o;
  const std::string problem = ParseDemoOptions(std::vector<std::string>(argv + 1, argv + argc), o);
  if (o.help) {
    std::cout << kDemoUsage;
    return 0;
  }
  if (!problem.empty()) {
    std::cerr << "librato-demo: " << problem << "\n" << kDemoUsage;
    return 2;
  }
  if (!o.timing.empty()) o.balance.keepLog = true;
  if (std::string why = sim::CheckConfig(o.balance); !why.empty()) {
    std::cerr << "librato-demo: " << why << "\n";
    return 2;
  }

  // A settings store and port links of our own: the operator's stay untouched.
  char tmpl[] = "/tmp/librato-demo-XXXXXX";
  if (!::mkdtemp(tmpl)) {
    std::cerr << "librato-demo: cannot create a temporary folder\n";
    return 1;
  }
  const fs::path home = tmpl;
  struct Cleanup {
    fs::path dir;
    ~Cleanup() {
      std::error_code ec;
      fs::remove_all(dir, ec);
    }
  } cleanup{home};
  ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
  if (!o.show) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);

  Clock& clock = RealClock();
  sim::BalanceSimulator balance(o.balance, clock.now());
  sim::PtyBalance pty(balance, clock);
  std::string why;
  if (!pty.open(why) || !pty.linkAs(o.port, why)) {
    std::cerr << "librato-demo: " << why << "\n";
    return 1;
  }
  pty.start();

  int qargc = 1;
  char* qargv[] = {argv[0], nullptr};
  QApplication qapp(qargc, qargv);

  YesDialogs dialogs(o.protocolOut);
  NoOpener opener;
  NoHelpOpener helpOpener;
  NoPrinter printer;
  TimedSilence silence(clock);
  std::unique_ptr<SdlSoundOutput> audible;
  if (o.show) audible = std::make_unique<SdlSoundOutput>(clock);

  app::RunWindow::Services services;
  services.dialogs = &dialogs;
  services.helpOpener = &helpOpener;
  services.protocolOpener = &opener;
  services.printer = &printer;
  services.sound = audible ? static_cast<SoundOutput*>(audible.get()) : &silence;
  services.clock = &clock;
  app::RunWindow w(services);
  w.commands().setSaveFolder((home / "protocols").string());
  w.FormCreate();
  w.show();

  // The run parameters, typed into the window's own controls.
  Find<QComboBox>(w, "ComCB")->setCurrentIndex(o.port - 1);
  auto* interval = Find<QComboBox>(w, "cbInterval");
  interval->setCurrentIndex(interval->findText(QString::number(o.readout)));
  Type(Find<QLineEdit>(w, "eTotLoad"), std::to_string(o.weights));
  Find<QComboBox>(w, "cbMethod")->setCurrentIndex(o.abba ? 1 : 0);
  if (o.group) {
    Find<QRadioButton>(w, "rbFirst")->setChecked(true);
    Find<QSpinBox>(w, "seLoadInCycle")->setValue(o.perCycle);
  } else {
    Find<QRadioButton>(w, "rbSecond")->setChecked(true);
    Find<QSpinBox>(w, "seCyclesToWeight")->setValue(o.cycles);
  }
  Find<QRadioButton>(w, o.dependent ? "rbDepend" : "rbIndepend")->setChecked(true);
  if (Find<QCheckBox>(w, "cbSKO")->isChecked() != o.sko) Find<QCheckBox>(w, "cbSKO")->click();
  Type(Find<QLineEdit>(w, "eW"), o.nominal);
  w.eWExit();
  Type(Find<QLineEdit>(w, "eReal"), o.real);
  w.eRealChange();
  if (o.accuracyClass)
    Find<QComboBox>(w, "cbAccClass")->setEditText(QString::fromStdString(*o.accuracyClass));
  Type(Find<QLineEdit>(w, "eSampleNumber"), o.referenceNumber);
  Type(Find<QLineEdit>(w, "eCer"), o.certificate);
  Type(Find<QLineEdit>(w, "eCustomer"), o.customer);
  Type(Find<QLineEdit>(w, "eCompany"), o.company);
  Type(Find<QLineEdit>(w, "eTester"), o.tester);
  Type(Find<QLineEdit>(w, "edtProtoNum"), o.protocolNumber);
  Type(Find<QLineEdit>(w, "eTemp"), o.temperature);
  Type(Find<QLineEdit>(w, "eWet"), o.humidity);
  Type(Find<QLineEdit>(w, "ePressure"), o.pressure);
  Find<QComboBox>(w, "cbUoM")->setCurrentIndex(o.hpa ? 1 : 0);
  if (o.numbers) {
    auto* tick = Find<QCheckBox>(w, "cbAddNames");
    if (!tick->isChecked()) tick->click();
    app::TLoadNamesForm& names = w.loadNames();
    for (std::size_t i = 0; i < o.numbers->size() && static_cast<int>(i + 1) < names.rowCount();
         ++i)
      names.setCell(1, static_cast<int>(i + 1), QString::fromStdString((*o.numbers)[i]));
    auto* sound = Find<QCheckBox>(names, "cbSound");
    if (sound->isChecked() != o.voice) sound->click();
    Find<QPushButton>(names, "btnClose")->click();
  }

  double nominal = 0;
  double conventional = 0;
  ParseDecimal(Find<QLineEdit>(w, "eW")->text().toStdString(), nominal);
  ParseDecimal(Find<QLineEdit>(w, "eReal")->text().toStdString(), conventional);
  const double reference = o.reference.value_or(conventional);
  PlanInputs plan;
  plan.DetermineSKO = o.sko;
  plan.Depend = o.dependent;
  plan.GroupCycle = o.group;
  plan.LoadInCycle = o.perCycle;
  plan.CyclesToWeight = o.sko ? 1 : o.cycles;
  plan.MethodABA = !o.abba;
  plan.WeightCount = o.weights;

  // The operator: does what labHint asks, once per prompt.
  QLabel* hint = Find<QLabel>(w, "labHint");
  QString lastHint;
  int bPlaced = 0;
  std::vector<Action> actions;
  std::vector<Passed> passed;
  w.setStepHook([&](DateTime handover, const RunState& state) {
    passed.push_back({handover, state.at(state.stepPos - 1)});
  });
  bool started = false;
  bool done = false;
  RunOutcome outcome = RunOutcome::None;
  QTimer bot;
  bot.setInterval(50);
  QObject::connect(&bot, &QTimer::timeout, [&] {
    if (done) return;
    const QString text = hint->text();
    if (text != lastHint) {
      lastHint = text;
      const DateTime now = clock.now();
      std::cerr << "librato-demo: prompt \"" << text.toStdString() << "\"\n";
      if (text.startsWith('A')) {
        balance.put(reference, now);
        actions.push_back({now, true});
      } else if (text.startsWith('B')) {
        ++bPlaced;
        const double mass =
            o.sko ? reference : TrueTestMass(o, nominal, TestWeightOfB(bPlaced, plan));
        balance.put(mass, now);
        actions.push_back({now, true});
      } else if (text == " 0 ") {
        balance.remove(now);
        actions.push_back({now, false});
      } else if (text == "0/T") {
        balance.zero(now);
        actions.push_back({now, false});
      }
    }
    if (!started) return;
    const RunOutcome now = w.machine().outcome();
    if (now == RunOutcome::Running || now == RunOutcome::None) return;
    done = true;
    outcome = now;
    // exit, not quit: quit would close the window and ask the exit question.
    QTimer::singleShot(0, &qapp, [] { QCoreApplication::exit(0); });
  });
  bot.start();

  QTimer::singleShot(0, &w, [&] {
    if (o.disconnectAfter)
      QTimer::singleShot(static_cast<int>(*o.disconnectAfter * 1000), &w,
                         [&] { pty.disconnect(); });
    QTimer::singleShot(static_cast<int>(o.timeLimit * 1000), &w, [&] {
      if (w.machine().outcome() == RunOutcome::Running) Find<QPushButton>(w, "btnStop")->click();
    });
    Find<QPushButton>(w, "btnStart")->click();
    started = true;
  });
  qapp.exec();

  // The results table as the grid shows it.
  QTableWidget* grid = Find<QTableWidget>(w, "StrGrid1");
  std::ostringstream tsv;
  for (int c = 0; c < grid->columnCount(); ++c) {
    QTableWidgetItem* h = grid->horizontalHeaderItem(c);
    tsv << (c ? "\t" : "") << (h ? h->text().toStdString() : "");
  }
  tsv << "\n";
  for (int r = 0; r < grid->rowCount(); ++r) {
    for (int c = 0; c < grid->columnCount(); ++c) {
      QTableWidgetItem* item = grid->item(r, c);
      tsv << (c ? "\t" : "") << (item ? item->text().toStdString() : "");
    }
    tsv << "\n";
  }
  tsv << "# lblSKO: " << Find<QLabel>(w, "lblSKO")->text().toStdString() << "\n";
  tsv << "# end: " << EndWord(outcome) << "\n";
  if (o.results.empty()) {
    std::cout << tsv.str() << std::flush;
  } else {
    std::ofstream file(o.results, std::ios::binary);
    file << tsv.str();
    if (!file.flush()) {
      std::cerr << "librato-demo: cannot write " << o.results << "\n";
      return 1;
    }
  }

  bool ok = outcome == RunOutcome::Finished;
  if (!o.protocolOut.empty()) {
    Find<QPushButton>(w, "btnSave")->click();
    std::error_code ec;
    if (!fs::is_regular_file(o.protocolOut, ec)) {
      std::cerr << "librato-demo: the protocol was not saved\n";
      ok = false;
    }
  }
  w.Shutdown();
  pty.stop();
  if (!o.trace.empty()) {
    std::ofstream file(o.trace);
    for (const std::string& line : w.trace().lines()) file << line << "\n";
  }
  if (!o.timing.empty()) {
    std::ofstream file(o.timing);
    file << TimingReport(actions, passed, balance.sent(), o.readout);
  }
  pty.unlink();
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace librato::demo

int main(int argc, char** argv) {
  try {
    return librato::demo::Run(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "librato-demo: " << e.what() << "\n";
    return 1;
  }
}
