#pragma once
// The main window: the run parameters, the live reading, the prompt area,
// the results grid and the command buttons, the splash at start-up, the tray
// icon and the shutdown question. It owns the run data for the program's
// life.
//
// Two-phase start: the constructor lays the window out; FormCreate() (called
// once by the program entry, or by a test) runs the start-up sequence, so
// that handlers overridden by a subclass already take part in it.

#include <QWidget>
#include <functional>
#include <memory>

#include "link/acquisition.h"
#include "link/trace.h"
#include "procedure/session.h"
#include "results/results_table.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QSystemTrayIcon;
class QTableWidget;
class QTextEdit;
class QTimer;

namespace librato {
class OperatorDialogs;
}

namespace librato::app {

class DocumentOpener;
class KeyFilter;
class TLoadNamesForm;
class UpDown;

// What a run works on; captured by the validation, kept until the next start.
struct RunData {
  SessionParameters params;
  Plan plan;
  int stepsDone = -2;
  int aCount = -1;
  int bCount = 0;
  int readingCount = 0;
};

class TMainForm : public QWidget {
  Q_OBJECT
 public:
  TMainForm(OperatorDialogs* dialogs, DocumentOpener* opener, QWidget* parent = nullptr);
  ~TMainForm() override;

  // Start-up sequence; call once after construction.
  virtual void FormCreate();

  // Idle (true): inputs enabled, btnStart shown; running (false): inputs
  // locked, btnStop shown in its place.
  void EnableControls(bool idle);

  // Validates the run parameters, captures them and builds the plan; false
  // after a message when the run may not begin.
  bool CheckParameters();

  // The texts of the run and its protocol as the controls hold them now
  // (they are locked during a run): masses as typed, class, numbers, names,
  // ambient conditions, protocol number, weight numbers in use.
  void ReadTextParameters(SessionParameters& p) const;

  void LoadSettings();
  void SaveSettings();

  // Plays the notification sound, if one is wired.
  void PlayNotify();

  // Hooks of the surrounding program.
  void setNotifySound(std::function<void()> play) { notifySound_ = std::move(play); }
  void setBeep(std::function<void()> beep) { beep_ = std::move(beep); }
  // Runs on the confirmed exit, before the settings are stored: stops a run
  // still in progress.
  void setShutdownHook(std::function<void()> hook) { shutdownHook_ = std::move(hook); }

  // Run data and shared pieces.
  RunData& run() { return run_; }
  Trace& trace() { return trace_; }
  ResultsTable& results() { return results_; }
  AcquisitionShared& acquisition() { return shared_; }
  TLoadNamesForm& loadNames() { return *loadNames_; }
  OperatorDialogs& dialogs() { return *dialogs_; }
  // The balance's resolution as the number routines take it.
  int liveDecimals() const { return shared_.liveDecimals.load(); }
  bool trayIconShown() const;
  bool settingsSaved() const { return settingsSaved_; }

  // Controls, by their names.
  QFrame* plPicture;
  QLabel* Image1;
  QFrame* plWarning;
  QLabel* Label37;
  QLabel* Label38;
  QFrame* plMain;
  QPlainTextEdit* reLog;
  QMenu* PopupMenu1;
  QAction* N2;
  QTimer* timerShowMain;
  QTimer* timerWeight;
  QTimer* tCur;

  QLabel* lHelp;
  QFrame* Panel5;
  QLabel* Label1;
  QLabel* Label2;
  QFrame* Panel4;
  QFrame* Panel11;

  QCheckBox* cbSKO;
  QLabel* Label32;
  QLineEdit* edtProtoNum;
  QFrame* Panel1;
  QFrame* Panel2;
  QFrame* pCur;
  QLabel* lCur;
  QLabel* labStab;
  QGroupBox* gbStatus;
  QLabel* labHint;
  QLabel* labHintSmall;
  QTextEdit* mFormula;

  // Panel1
  QLabel* Label5;
  QLineEdit* eCustomer;
  QLabel* Label40;
  QLineEdit* eCompany;
  QLabel* Label18;
  QLineEdit* eTester;
  QLabel* Label4;
  QComboBox* ComCB;
  QLabel* Label3;
  QComboBox* cbInterval;
  QLabel* Label26;
  QLabel* Label8;
  QLineEdit* eTotLoad;
  UpDown* ud;
  QLabel* Label9;
  QCheckBox* cbAddNames;
  QPushButton* bLNShow;

  // Panel2
  QLabel* Label7;
  QLabel* Label30;
  QRadioButton* rbFirst;
  QLabel* Label27;
  QLabel* Label29;
  QSpinBox* seLoadInCycle;
  QLabel* Label28;
  QRadioButton* rbSecond;
  QSpinBox* seCyclesToWeight;
  QComboBox* cbMethod;
  QFrame* Panel3;
  QLabel* Label31;
  QRadioButton* rbDepend;
  QRadioButton* rbIndepend;
  QLabel* Label12;
  QLineEdit* eW;
  QLabel* Label13;
  QLabel* Label10;
  QLineEdit* eReal;
  QLabel* Label16;
  QLabel* Label24;
  QComboBox* cbAccClass;
  QLabel* Label17;
  QLineEdit* eSampleNumber;
  QLabel* Label25;
  QLineEdit* eCer;
  QLabel* Label22;
  QLineEdit* eTemp;
  QLabel* Label23;
  QLabel* Label33;
  QLineEdit* eWet;
  QLabel* Label34;
  QLabel* Label35;
  QLineEdit* ePressure;
  QComboBox* cbUoM;

  // Panel11
  QTableWidget* StrGrid1;
  QLabel* lblSKO;
  QPushButton* btnStart;
  QPushButton* btnStop;
  QPushButton* btnSave;
  QPushButton* btnClear;
  QPushButton* btnPrint;

 public slots:
  void timerShowMainTimer();
  void lHelpClick();
  void eWExit();
  void eRealChange();
  void eTotLoadChange();
  void cbSKOClick();
  void cbAddNamesClick();
  void bLNShowClick();
  void showFromTray();

  // The run. Until the step machine is wired in, Start validates the
  // parameters and builds the plan, and nothing more.
  virtual void btnStartClick();
  virtual void btnStopClick();
  virtual void StopRun();
  virtual void Timer2Timer() {}
  virtual void tCurTimer() {}
  // The protocol commands.
  virtual void btnSaveClick() {}
  virtual void btnClearClick() {}
  virtual void btnPrintClick() {}

 protected:
  // Validation and plan, then the start of the machinery.
  virtual void StartThread();
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Runs `handler`; an error it raises ends it and is shown in the error box.
  void Guarded(const std::function<void()>& handler);

 private:
  void BuildLayout();
  void BuildPanel1();
  void BuildPanel2();
  void BuildPanel11();
  void FitToContent();
  void CentreOnScreen();
  void AddTrayIcon();
  void RemoveTrayIcon();
  void FormDestroy();
  void MassFieldExit(QLineEdit* field, const char* unreadableMessage);
  void OpenNumbersDialog(bool writeHeaders);
  void MirrorResults(const ResultsTable::Change& change);
  void MirrorTrace();
  void ApplyGridTop();
  std::vector<QWidget*> ControlsLockedWhileRunning() const;

  OperatorDialogs* dialogs_;
  DocumentOpener* opener_;
  std::unique_ptr<TLoadNamesForm> loadNames_;
  KeyFilter* decimalFilter_ = nullptr;
  KeyFilter* digitFilter_ = nullptr;
  KeyFilter* noCharFilter_ = nullptr;
  QSystemTrayIcon* trayIcon_ = nullptr;
  std::function<void()> notifySound_;
  std::function<void()> beep_;
  std::function<void()> shutdownHook_;

  Trace trace_;
  std::size_t traceShown_ = 0;
  ResultsTable results_;
  AcquisitionShared shared_;
  RunData run_;
  int rememberedWeightCount_ = -1;
  bool settingsSaved_ = false;
};

}  // namespace librato::app
