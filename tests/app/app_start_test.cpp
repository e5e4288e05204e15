// Start-up, the two control states, the tray icon, the help link and the
// exit question of the main window.
#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QTableWidget>
#include <QTimer>

#include "app/data_files.h"
#include "app_test_support.h"

namespace librato::app::testing {
namespace {

TEST_F(AppTest, ShowsOnlyTheSplashUntilItsTimerEndsIt) {
  TMainForm& f = start();
  f.show();
  EXPECT_EQ(f.windowTitle(), "Librato - Version 1.0.43C");
  EXPECT_TRUE(f.timerShowMain->isActive());
  EXPECT_EQ(f.timerShowMain->interval(), 3500);
  EXPECT_TRUE(f.plPicture->isVisible());
  EXPECT_TRUE(f.Image1->isVisible());
  EXPECT_FALSE(f.Image1->pixmap().isNull());
  EXPECT_FALSE(f.plWarning->isVisible());
  EXPECT_FALSE(f.plMain->isVisible());
  EXPECT_FALSE(f.reLog->isVisible());
  EXPECT_FALSE(f.trayIconShown());
  EXPECT_EQ(f.size(), QSize(466, 303));  // sized to the splash
  // Events before the timer's end change nothing.
  QCoreApplication::processEvents();
  EXPECT_FALSE(f.plMain->isVisible());

  f.timerShowMainTimer();
  EXPECT_TRUE(f.plMain->isVisible());
  EXPECT_FALSE(f.plPicture->isVisible());
  EXPECT_TRUE(f.Image1->isHidden());
  EXPECT_FALSE(f.timerShowMain->isActive());
  EXPECT_TRUE(f.trayIconShown());
  EXPECT_EQ(f.size(), QSize(665, 575));  // the working area; the trace stays hidden
  EXPECT_EQ(f.windowTitle(), "Librato - Version 1.0.43C");
  // The start warning later shows on the picture panel without the picture.
  f.plMain->hide();
  f.plPicture->show();
  f.plWarning->show();
  EXPECT_FALSE(f.Image1->isVisible());
  EXPECT_EQ(f.size(), QSize(466, 303));
}

TEST_F(AppTest, OffersPortsOneTo255WithNoneSelected) {
  TMainForm& f = start();
  ASSERT_EQ(f.ComCB->count(), 255);
  EXPECT_EQ(f.ComCB->itemText(0), "COM1");
  EXPECT_EQ(f.ComCB->itemText(2), "COM3");
  EXPECT_EQ(f.ComCB->itemText(254), "COM255");
  EXPECT_EQ(f.ComCB->currentIndex(), -1);
}

TEST_F(AppTest, HeaderOfTheResultsGridFollowsTheTable) {
  TMainForm& f = start();
  const char* headers[] = {"№",          "Время",     "A/B",      "№ гири",       "Показания, г",
                           "Xi (Xj), г", "Ср.зн., г", "Масса, г", "Отклонение, г"};
  const int widths[] = {25, 68, 39, 67, 85, 64, 66, 117, 104};
  ASSERT_EQ(f.StrGrid1->columnCount(), 9);
  for (int c = 0; c < 9; ++c) {
    EXPECT_EQ(f.StrGrid1->horizontalHeaderItem(c)->text(), QString(headers[c]));
    EXPECT_EQ(f.StrGrid1->columnWidth(c), widths[c]);
  }
  EXPECT_EQ(f.StrGrid1->rowCount(), 1);  // row 1 of the table, below the header
  EXPECT_EQ(f.StrGrid1->editTriggers(), QAbstractItemView::NoEditTriggers);

  ResultsTable& t = f.results();
  t.setCell(ResultsTable::kReading, 1, "2000,0003");
  t.setRowCount(7);
  t.setCell(ResultsTable::kLabel, 6, "B5");
  EXPECT_EQ(f.StrGrid1->rowCount(), 6);
  EXPECT_EQ(f.StrGrid1->item(0, ResultsTable::kReading)->text(), "2000,0003");
  EXPECT_EQ(f.StrGrid1->item(5, ResultsTable::kLabel)->text(), "B5");
  t.clear();
  EXPECT_EQ(f.StrGrid1->rowCount(), 1);
  const QTableWidgetItem* cleared = f.StrGrid1->item(0, ResultsTable::kReading);
  EXPECT_TRUE(!cleared || cleared->text().isEmpty());
}

TEST_F(AppTest, TraceIsMirroredInTheHiddenMemo) {
  TMainForm& f = start();
  f.trace().add("Steps: 11");
  f.trace().add("GetLong prec = 4");
  EXPECT_EQ(f.reLog->toPlainText(), "Steps: 11\nGetLong prec = 4");
  f.trace().clear();
  f.trace().add("0");
  EXPECT_EQ(f.reLog->toPlainText(), "0");
  EXPECT_TRUE(f.reLog->isHidden());
}

// Every control the running state locks, by name.
const QSet<QString>& LockedWhileRunning() {
  static const QSet<QString> names{"ComCB",
                                   "cbInterval",
                                   "eTotLoad",
                                   "ud",
                                   "cbAddNames",
                                   "bLNShow",
                                   "eCustomer",
                                   "eCompany",
                                   "eTester",
                                   "cbSKO",
                                   "edtProtoNum",
                                   "rbFirst",
                                   "rbSecond",
                                   "seCyclesToWeight",
                                   "seLoadInCycle",
                                   "cbMethod",
                                   "rbDepend",
                                   "rbIndepend",
                                   "eW",
                                   "eReal",
                                   "cbAccClass",
                                   "eSampleNumber",
                                   "eCer",
                                   "eTemp",
                                   "eWet",
                                   "ePressure",
                                   "cbUoM",
                                   "btnSave",
                                   "btnClear",
                                   "btnPrint",
                                   "Label5",
                                   "Label40",
                                   "Label18",
                                   "Label4",
                                   "Label3",
                                   "Label26",
                                   "Label8",
                                   "Label9",
                                   "Label32",
                                   "Label7",
                                   "Label30",
                                   "Label31",
                                   "Label12",
                                   "Label13",
                                   "Label10",
                                   "Label16",
                                   "Label24",
                                   "Label17",
                                   "Label25",
                                   "Label22",
                                   "Label23",
                                   "Label33",
                                   "Label34",
                                   "Label35"};
  return names;
}

TEST_F(AppTest, RunningStateLocksExactlyTheInputsAndSwapsStartForStop) {
  startAndShow();
  TMainForm& f = *form_;
  EXPECT_TRUE(f.btnStart->isVisible());
  EXPECT_FALSE(f.btnStop->isVisible());

  f.EnableControls(false);
  int named = 0;
  for (QWidget* w : f.findChildren<QWidget*>()) {
    const QString name = w->objectName();
    if (name.isEmpty() || name.startsWith("qt_")) continue;
    ++named;
    const bool locked = LockedWhileRunning().contains(name);
    EXPECT_EQ(w->isEnabled(), !locked) << name.toStdString();
  }
  EXPECT_GT(named, 80);
  EXPECT_FALSE(f.btnStart->isVisible());
  EXPECT_TRUE(f.btnStop->isVisible());
  EXPECT_EQ(f.btnStop->geometry(), f.btnStart->geometry());
  EXPECT_EQ(f.btnStop->geometry(), QRect(0, 155, 84, 28));

  f.btnStopClick();
  for (QWidget* w : f.findChildren<QWidget*>()) {
    if (LockedWhileRunning().contains(w->objectName())) {
      EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
    }
  }
  EXPECT_TRUE(f.btnStart->isVisible());
  EXPECT_FALSE(f.btnStop->isVisible());
  EXPECT_EQ(f.windowTitle(), "Librato - Version 1.0.43C");
}

TEST_F(AppTest, IdleStateAfterStartUp) {
  TMainForm& f = start();
  EXPECT_FALSE(f.timerWeight->isActive());
  EXPECT_FALSE(f.tCur->isActive());
  EXPECT_TRUE(f.lCur->isHidden());
  EXPECT_TRUE(f.labStab->isHidden());
  EXPECT_TRUE(f.labHint->text().isEmpty());
  EXPECT_TRUE(f.labHintSmall->text().isEmpty());
  EXPECT_TRUE(f.btnStop->isHidden());
  EXPECT_TRUE(f.acquisition().stopRequested.load());
  EXPECT_EQ(f.cbUoM->currentIndex(), 0);
  EXPECT_EQ(f.cbUoM->currentText(), "мм рт.ст.");
  EXPECT_EQ(f.Label33->text(), "ν =");
}

TEST_F(AppTest, ExitQuestionNoLeavesEverythingAsItWas) {
  startAndShow();
  form_->EnableControls(false);
  dialogs_.expect("Выйти из программы?", "Завершение работы", kMsgYesNoQuestion, Answer::No);
  EXPECT_FALSE(form_->close());
  EXPECT_TRUE(form_->isVisible());
  EXPECT_TRUE(form_->trayIconShown());
  EXPECT_TRUE(form_->btnStop->isVisible());
  EXPECT_FALSE(form_->settingsSaved());
  EXPECT_EQ(notifies_, 1);
  EXPECT_FALSE(storedSettings().childGroups().contains("Version 1.0.43C"));
}

TEST_F(AppTest, ExitQuestionYesStoresSettingsRemovesTrayIconAndStopsTheRun) {
  startAndShow();
  bool stopped = false;
  form_->setShutdownHook([&] { stopped = true; });
  form_->eCustomer->setText("ООО Весы");
  dialogs_.expect("Выйти из программы?", "Завершение работы", kMsgYesNoQuestion, Answer::Yes);
  EXPECT_TRUE(form_->close());
  EXPECT_TRUE(stopped);
  EXPECT_TRUE(form_->settingsSaved());
  EXPECT_FALSE(form_->trayIconShown());
  EXPECT_EQ(storedSettings().value("Version 1.0.43C/Customer").toString(), "ООО Весы");
}

TEST_F(AppTest, TrayMenuHasOneItemThatAsksTheExitQuestion) {
  startAndShow();
  const QList<QAction*> actions = form_->PopupMenu1->actions();
  ASSERT_EQ(actions.size(), 1);
  EXPECT_EQ(actions[0]->text(), "Закрыть");
  dialogs_.expect("Выйти из программы?", "Завершение работы", kMsgYesNoQuestion, Answer::No);
  actions[0]->trigger();
  EXPECT_TRUE(form_->isVisible());
}

TEST_F(AppTest, TrayDoubleClickShowsTheWindowAgain) {
  startAndShow();
  form_->hide();
  form_->showFromTray();
  EXPECT_TRUE(form_->isVisible());
}

TEST_F(AppTest, ClosingDuringTheSplashAddsNoTrayIcon) {
  start().show();
  dialogs_.expect("Выйти из программы?", "Завершение работы", kMsgYesNoQuestion, Answer::Yes);
  EXPECT_TRUE(form_->close());
  EXPECT_FALSE(form_->trayIconShown());
}

TEST_F(AppTest, HelpOpensHelpDocOfTheStartFolderElseTheShippedGuide) {
  startAndShow();
  form_->lHelpClick();
  ASSERT_EQ(opener_.opened.size(), 1u);
  EXPECT_TRUE(opener_.opened[0].endsWith("help/librato-help.html"))
      << opener_.opened[0].toStdString();
  EXPECT_TRUE(QFile::exists(opener_.opened[0]));

  QFile doc(work_.path() + "/HELP.doc");
  ASSERT_TRUE(doc.open(QIODevice::WriteOnly));
  doc.close();
  form_->lHelpClick();
  ASSERT_EQ(opener_.opened.size(), 2u);
  EXPECT_EQ(opener_.opened[1], QDir(work_.path()).filePath("HELP.doc"));
}

TEST_F(AppTest, DataFilesAreLookedUpInTheStartFolderFirst) {
  start();
  EXPECT_EQ(StartDir(), QDir::currentPath());
  EXPECT_TRUE(FindDataFile("Sounds\\no-such-sound.wav").isEmpty());
  const QString shipped = FindDataFile("help/librato-help.html");
  ASSERT_FALSE(shipped.isEmpty());
  EXPECT_FALSE(shipped.startsWith(work_.path()));

  QDir(work_.path()).mkpath("help");
  QDir(work_.path()).mkpath("Sounds");
  for (const char* name : {"/help/librato-help.html", "/Sounds/notify.wav"}) {
    QFile f(work_.path() + name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }
  EXPECT_EQ(FindDataFile("help/librato-help.html"), work_.path() + "/help/librato-help.html");
  EXPECT_EQ(FindDataFile("Sounds\\notify.wav"), work_.path() + "/Sounds/notify.wav");
  EXPECT_TRUE(FindDataFile("Sounds").isEmpty());  // a folder is not a file
}

TEST_F(AppTest, DataFileNamesMatchWithoutRegardToCase) {
  start();
  QDir(work_.path()).mkpath("snd/Deep");
  QFile f(work_.path() + "/snd/Deep/Notify.WAV");
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.close();
  EXPECT_EQ(FindDataFile("SND\\deep\\notify.wav"), work_.path() + "/snd/Deep/Notify.WAV");
  EXPECT_TRUE(FindDataFile("snd/deep/other.wav").isEmpty());
  EXPECT_TRUE(FindDataFile("snd/../snd/Deep/Notify.WAV").isEmpty());
  // The shipped sounds folder is found by the name the prompts use.
  EXPECT_FALSE(FindDataFile("Sounds/notify.wav").isEmpty());
}

TEST_F(AppTest, GridScrollsWithTheTable) {
  startAndShow();
  ResultsTable& t = form_->results();
  t.setRowCount(40);
  for (int r = 1; r < 40; ++r) t.setCell(ResultsTable::kNumber, r, std::to_string(r));
  for (int i = 0; i < 6; ++i) t.scrollDown();
  QCoreApplication::processEvents();
  EXPECT_EQ(form_->StrGrid1->verticalScrollBar()->value(), 6);  // row 7 on top
  t.clear();
  EXPECT_EQ(form_->StrGrid1->verticalScrollBar()->value(), 0);
}

}  // namespace
}  // namespace librato::app::testing
