#include "app/run_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <cstring>

#include "app/data_files.h"
#include "app/load_names_form.h"
#include "link/mass_text.h"
#include "link/posix_serial.h"
#include "procedure/live_display.h"
#include "results/results_calc.h"

namespace librato::app {
namespace {

std::string Text(const QLineEdit* e) { return e->text().toStdString(); }

SoundResolver DataFileSounds() {
  return [](const std::string& relative) -> std::optional<std::string> {
    const QString path = FindDataFile(QString::fromStdString(relative));
    if (path.isEmpty()) return std::nullopt;
    return path.toStdString();
  };
}

}  // namespace

// The window as the step machine and the prompts see it.
class RunWindow::View final : public RunView {
 public:
  explicit View(RunWindow& w) : w_(w) {}

  void setHint(const std::string& text) override {
    w_.labHint->setText(QString::fromStdString(text));
    w_.labHint->repaint();
  }
  void setHintSmall(const std::string& text) override {
    w_.labHintSmall->setText(QString::fromStdString(text));
    w_.labHintSmall->repaint();
  }
  void setLiveCaption(const std::string& text) override {
    w_.lCur->setText(QString::fromStdString(text));
    w_.lCur->repaint();
    w_.pCur->repaint();
  }
  std::string weightNumber(int row) const override {
    return w_.loadNames().weightNumber(row).toStdString();
  }
  bool numbersEntered() const override { return w_.cbAddNames->isChecked(); }
  bool voiceNumbers() const override { return w_.loadNames().voiceNumbers(); }

  std::string liveCaption() const override { return w_.lCur->text().toStdString(); }
  bool stabVisible() const override { return w_.labStab->isVisibleTo(w_.labStab->parentWidget()); }
  void setStabVisible(bool visible) override {
    w_.labStab->setVisible(visible);
    w_.labStab->repaint();
  }

  void showStartWarning(bool shown) override {
    if (shown) {
      w_.plMain->hide();
      w_.Image1->hide();
      w_.plWarning->show();
      w_.plPicture->show();
      w_.plPicture->repaint();
    } else {
      w_.plWarning->hide();
      w_.plPicture->hide();
      w_.plMain->show();
      w_.plMain->repaint();
    }
  }
  void setLiveDisplay(bool on) override {
    if (on) {
      w_.tCur->start();
    } else {
      w_.tCur->stop();
    }
    w_.lCur->setVisible(on);
    w_.labStab->setVisible(on);
    w_.pCur->repaint();
  }
  void setStepTimer(bool on) override {
    if (on) {
      w_.timerWeight->start();
    } else {
      w_.timerWeight->stop();
    }
  }
  void EnableControls(bool idle) override { w_.EnableControls(idle); }
  std::optional<RunSetup> CheckParameters() override {
    if (!w_.TMainForm::CheckParameters()) return std::nullopt;
    RunSetup setup{w_.run().params, w_.run().plan};
    w_.fillTexts(setup.params);
    return setup;
  }
  bool skoTicked() const override { return w_.cbSKO->isChecked(); }
  std::string weightCountText() const override { return Text(w_.eTotLoad); }
  int cyclesToWeight() const override { return w_.seCyclesToWeight->value(); }
  void setCyclesToWeight(int cycles) override { w_.seCyclesToWeight->setValue(cycles); }
  void clearWeightNumbers() override { w_.loadNames().clearNumbers(); }
  bool BuildProtocol(bool show) override {
    // Only the save offered by Start asks for a protocol here.
    if (!show) return false;
    return w_.commands_->ShowProtocol();
  }
  void setProtocolSaved(bool saved) override {
    if (!saved) w_.commands_->runStarted();
  }

 private:
  RunWindow& w_;
};

// The window as the protocol commands see it.
class RunWindow::Host final : public ProtocolHost {
 public:
  explicit Host(RunWindow& w) : w_(w) {}
  void StopRun() override { w_.machine_->StopRun(); }
  void PlayNotify() override { w_.prompts_->PlayNotify(); }
  ResultsTable& resultsTable() override { return w_.results(); }
  void clearHints() override {
    w_.labHintSmall->clear();
    w_.lblSKO->clear();
  }
  void resetReadingCount() override { w_.run().readingCount = 0; }
  bool hasWeightNumbers() override { return !w_.loadNames().weightNumber(1).isEmpty(); }
  void clearWeightNumbers() override {
    w_.loadNames().clearNumbers();
    w_.cbAddNames->setChecked(false);
  }
  ProtocolInputs protocolInputs() override {
    ProtocolInputs in;
    in.params = w_.machine_->params();
    w_.fillTexts(in.params);
    in.results = &w_.results();
    const RunState& run = w_.machine_->state();
    in.bCount = run.bCount;
    {
      AcquisitionShared& shared = w_.acquisition();
      std::lock_guard lock(shared.SnapshotLock);
      const auto& model = shared.accepted.balanceModel;
      in.balanceModel.assign(model.data(), strnlen(model.data(), model.size()));
      in.balanceSerial = shared.accepted.balanceSerial;
    }
    try {
      in.balanceSko = BalanceSko(w_.results(), CalcOptionsOf(in.params));
    } catch (const ConversionError&) {
      in.balanceSko.reset();  // a cell that does not read back leaves the field empty
    }
    in.decimals = w_.liveDecimals();
    in.reportPlaceMax = run.reportPlaceMax;
    in.reportPlaceMin = run.reportPlaceMin;
    in.reportRemoveMax = run.reportRemoveMax;
    in.reportRemoveMin = run.reportRemoveMin;
    in.today = w_.services_.clock->now();
    in.templatePath = ProtocolTemplatePath(StartDir().toStdString());
    return in;
  }

 private:
  RunWindow& w_;
};

RunWindow::RunWindow(const Services& services, QWidget* parent)
    : TMainForm(services.dialogs, services.helpOpener, parent), services_(services) {
  if (!services_.devices) services_.devices = PosixSerialFactory();
  if (!services_.sounds) services_.sounds = DataFileSounds();
  view_ = std::make_unique<View>(*this);
  host_ = std::make_unique<Host>(*this);
  prompts_ = std::make_unique<Prompts>(*view_, *services_.sound, services_.sounds, *services_.clock,
                                       acquisition());
  tableResults_ = std::make_unique<TableResults>(
      results(), acquisition(), trace(), *services_.clock, *view_,
      [this](bool visible, const std::optional<std::string>& caption) {
        if (caption) lblSKO->setText(QString::fromStdString(*caption));
        lblSKO->setVisible(visible);
      });
  thread_ = std::make_unique<AcquisitionThread>(acquisition(), services_.devices, *services_.clock);
  control_ = std::make_unique<ThreadAcquisitionControl>(*thread_);
  machine_ = std::make_unique<StepMachine>(
      StepMachine::Deps{*view_, *services_.dialogs, *prompts_, *services_.clock, acquisition(),
                        *control_, results(), *tableResults_, trace()});
  commands_ = std::make_unique<ProtocolCommands>(*host_, *services_.dialogs,
                                                 *services_.protocolOpener, *services_.printer);
  setNotifySound([this] { prompts_->PlayNotify(); });
  setShutdownHook([this] { Shutdown(); });
}

RunWindow::~RunWindow() { Shutdown(); }

void RunWindow::fillTexts(SessionParameters& p) const {
  p.NominalText = Text(eW);
  p.RealText = Text(eReal);
  p.AccuracyClass = cbAccClass->currentText().toStdString();
  p.ReferenceNumber = Text(eSampleNumber);
  p.CertifNum = Text(eCer);
  p.Customer = Text(eCustomer);
  p.Company = Text(eCompany);
  p.Tester = Text(eTester);
  p.Temperature = Text(eTemp);
  p.Humidity = Text(eWet);
  p.Pressure = Text(ePressure);
  p.PressureUnitIndex = cbUoM->currentIndex() == 1 ? PressureUnit::HPa : PressureUnit::MmHg;
  p.PressureUnitText = cbUoM->currentText().toStdString();
  p.ProtocolNumber = Text(edtProtoNum);
  p.NumbersEntered = cbAddNames->isChecked();
}

void RunWindow::Shutdown() {
  if (machine_ && machine_->outcome() == RunOutcome::Running) machine_->StopRun();
  if (thread_) {
    thread_->RequestStop();
    thread_->Join();
  }
  if (printThread_.joinable()) printThread_.join();
  if (busyCursor_) {
    QApplication::restoreOverrideCursor();
    busyCursor_ = false;
  }
}

void RunWindow::btnStartClick() { machine_->btnStartClick(); }

void RunWindow::btnStopClick() { machine_->btnStopClick(); }

void RunWindow::StopRun() { machine_->StopRun(); }

void RunWindow::Timer2Timer() {
  // The hand-over's time is read before the tick takes it: the thread hands
  // nothing new over until the machine asks again.
  const AcquisitionShared& shared = acquisition();
  const bool ready = shared.readingReady.load();
  const DateTime handover = shared.lastReadingTime.load();
  const std::size_t before = machine_->state().stepPos;
  machine_->Timer2Timer();
  if (ready && stepHook_ && machine_->state().stepPos != before)
    stepHook_(handover, machine_->state());
}

void RunWindow::tCurTimer() { LiveDisplay::Tick(*view_, acquisition(), trace()); }

void RunWindow::btnSaveClick() { commands_->btnSaveClick(); }

void RunWindow::btnClearClick() { commands_->btnClearClick(); }

void RunWindow::btnPrintClick() {
  if (printing()) return;
  std::optional<PrintJob> job = commands_->beginPrint();
  if (!job) return;
  printJob_ = std::move(job);
  QApplication::setOverrideCursor(Qt::BusyCursor);
  busyCursor_ = true;
  btnPrint->setEnabled(false);
  ProtocolPrinter* printer = services_.printer;
  const PrintJob* running = &*printJob_;
  printThread_ = std::thread([this, printer, running] {
    PrintOutcome outcome = ProtocolCommands::runPrint(*printer, *running);
    // Finished on the user-interface thread; dropped if the window is gone.
    QMetaObject::invokeMethod(
        this,
        [this, outcome] {
          printOutcome_ = outcome;
          finishPrint();
        },
        Qt::QueuedConnection);
  });
}

void RunWindow::finishPrint() {
  if (printThread_.joinable()) printThread_.join();
  if (busyCursor_) {
    QApplication::restoreOverrideCursor();
    busyCursor_ = false;
  }
  btnPrint->setEnabled(machine_->outcome() != RunOutcome::Running);
  if (printJob_) {
    PrintJob job = std::move(*printJob_);
    printJob_.reset();
    commands_->endPrint(std::move(job), printOutcome_);
  }
}

}  // namespace librato::app
