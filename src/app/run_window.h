#pragma once
// The main window with the verification run wired in: the step machine and
// its prompts, the acquisition thread on the POSIX serial ports, the results
// computations and the protocol commands, all driven by the window's own
// timers and buttons on the user-interface thread.

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "app/main_form.h"
#include "link/acquisition.h"
#include "link/clock.h"
#include "procedure/prompts.h"
#include "procedure/sound_output.h"
#include "procedure/step_machine.h"
#include "procedure/table_results.h"
#include "procedure/thread_acquisition.h"
#include "protocol/protocol_commands.h"

namespace librato::app {

class RunWindow : public TMainForm {
  Q_OBJECT
 public:
  struct Services {
    OperatorDialogs* dialogs = nullptr;
    DocumentOpener* helpOpener = nullptr;               // the help document
    librato::DocumentOpener* protocolOpener = nullptr;  // a saved protocol
    ProtocolPrinter* printer = nullptr;
    SoundOutput* sound = nullptr;
    Clock* clock = nullptr;
    SerialDeviceFactory devices;  // empty: the POSIX serial ports
    SoundResolver sounds;         // empty: the data files (start folder first)
  };
  explicit RunWindow(const Services& services, QWidget* parent = nullptr);
  ~RunWindow() override;

  StepMachine& machine() { return *machine_; }
  ProtocolCommands& commands() { return *commands_; }
  // Stops a run in progress and waits for the acquisition thread and a print
  // job to end; the exit hook calls it.
  void Shutdown();
  // A print job is under way in its worker thread.
  bool printing() const { return printThread_.joinable(); }

  // Called after every tick of timerWeight in which a step passed, with the
  // time of the hand-over whose reading passed it (demo harness, benchmark).
  using StepHook = std::function<void(DateTime handoverTime, const RunState& state)>;
  void setStepHook(StepHook hook) { stepHook_ = std::move(hook); }

 public slots:
  void btnStartClick() override;
  void btnStopClick() override;
  void StopRun() override;
  void Timer2Timer() override;
  void tCurTimer() override;
  void btnSaveClick() override;
  void btnClearClick() override;
  void btnPrintClick() override;

 private:
  class View;
  class Host;
  void finishPrint();
  // The texts of the run parameters, read from the controls as they stand.
  void fillTexts(SessionParameters& params) const;

  Services services_;
  std::unique_ptr<View> view_;
  std::unique_ptr<Host> host_;
  std::unique_ptr<Prompts> prompts_;
  std::unique_ptr<TableResults> tableResults_;
  std::unique_ptr<AcquisitionThread> thread_;
  std::unique_ptr<ThreadAcquisitionControl> control_;
  std::unique_ptr<StepMachine> machine_;
  std::unique_ptr<ProtocolCommands> commands_;
  StepHook stepHook_;

  // The print job between its start on this thread and its end here.
  std::thread printThread_;
  std::optional<PrintJob> printJob_;
  PrintOutcome printOutcome_;  // written by the worker before it signals
  bool busyCursor_ = false;
};

}  // namespace librato::app
