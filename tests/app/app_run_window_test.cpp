// The run window's protocol commands on the real controls: print in a worker
// thread with a busy cursor and the window kept responsive, save with the
// texts as the controls hold them.

#include <QComboBox>
#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "app/run_window.h"
#include "app_test_support.h"
#include "protocol/docx_document.h"
#include "support/fake_clock.h"
#include "support/fake_serial.h"

namespace librato::app::testing {
namespace {

// Holds the print until the test lets it go, and notes the thread it ran on.
class HeldPrinter final : public ProtocolPrinter {
 public:
  PrintOutcome print(const std::string& docx, const std::string&) override {
    std::unique_lock lock(mutex_);
    thread_ = std::this_thread::get_id();
    sawFile_ = std::filesystem::is_regular_file(docx);
    entered_ = true;
    changed_.notify_all();
    changed_.wait_for(lock, std::chrono::seconds(30), [this] { return released_; });
    PrintOutcome out;
    out.error = "no paper";
    return out;
  }
  bool waitEntered() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(30), [this] { return entered_; });
  }
  void release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }
  std::thread::id thread() {
    std::lock_guard lock(mutex_);
    return thread_;
  }
  bool sawFile() {
    std::lock_guard lock(mutex_);
    return sawFile_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool entered_ = false, released_ = false, sawFile_ = false;
  std::thread::id thread_;
};

class RecordingProtocolOpener final : public librato::DocumentOpener {
 public:
  std::string open(const std::string& path) override {
    opened.push_back(path);
    return "";
  }
  std::vector<std::string> opened;
};

// Answers the save dialog with a fixed file; no other message is expected.
class SaveAsDialogs final : public OperatorDialogs {
 public:
  explicit SaveAsDialogs(std::string path) : path_(std::move(path)) {}
  Answer message(const std::string& text, const std::string&, int) override {
    ADD_FAILURE() << "unexpected message \"" << text << "\"";
    return Answer::Cancel;
  }
  void error(const std::string& text) override { ADD_FAILURE() << "unexpected error " << text; }
  std::optional<std::string> saveFile(const std::string&, const std::string&,
                                      const std::string&) override {
    ++asked;
    return path_;
  }
  int asked = 0;

 private:
  std::string path_;
};

class RunWindowTest : public AppTest {
 protected:
  void TearDown() override {
    window_.reset();
    AppTest::TearDown();
  }
  RunWindow& open(OperatorDialogs& dialogs, ProtocolPrinter& printer,
                  SerialDeviceFactory devices = {}) {
    RunWindow::Services s;
    s.dialogs = &dialogs;
    s.helpOpener = &opener_;
    s.protocolOpener = &protocolOpener_;
    s.printer = &printer;
    s.sound = &sound_;
    s.clock = &clock_;
    s.devices = std::move(devices);
    window_ = std::make_unique<RunWindow>(s);
    window_->FormCreate();
    window_->show();
    return *window_;
  }

  librato::testing::FakeClock clock_;
  SilentSoundOutput sound_;
  RecordingProtocolOpener protocolOpener_;
  std::unique_ptr<RunWindow> window_;
};

TEST_F(RunWindowTest, PrintRunsInAWorkerWithABusyCursorAndEndsOnTheWindowThread) {
  HeldPrinter printer;
  RunWindow& w = open(dialogs_, printer);
  dialogs_.expectError("Протокол не напечатан: no paper");

  w.btnPrint->click();  // returns while the printer still holds the job
  ASSERT_TRUE(printer.waitEntered());
  EXPECT_TRUE(w.printing());
  EXPECT_NE(printer.thread(), std::this_thread::get_id());
  EXPECT_TRUE(printer.sawFile());
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
  EXPECT_FALSE(w.btnPrint->isEnabled());
  // A second press while the job runs starts nothing.
  w.btnPrint->click();

  // The window keeps handling events meanwhile.
  bool handled = false;
  QMetaObject::invokeMethod(
      &w, [&] { handled = true; }, Qt::QueuedConnection);
  QCoreApplication::processEvents();
  EXPECT_TRUE(handled);
  EXPECT_EQ(dialogs_.pending(), 1u);  // nothing reported before the job ends

  printer.release();
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (w.printing() && std::chrono::steady_clock::now() < until)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  EXPECT_FALSE(w.printing());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(w.btnPrint->isEnabled());
  EXPECT_FALSE(w.commands().protocolSaved());
}

TEST_F(RunWindowTest, SaveWritesTheProtocolWithTheTextsOfTheControls) {
  const std::string path = QDir(QDir::currentPath()).filePath("p.docx").toStdString();
  SaveAsDialogs dialogs(path);
  HeldPrinter printer;
  RunWindow& w = open(dialogs, printer);
  w.eCustomer->setText("Заказчик проверки");
  w.edtProtoNum->setText("77");

  w.btnSave->click();
  EXPECT_EQ(dialogs.asked, 1);
  ASSERT_TRUE(std::filesystem::is_regular_file(path));
  EXPECT_EQ(protocolOpener_.opened, std::vector<std::string>{path});
  EXPECT_TRUE(w.commands().protocolSaved());
  const std::string body = DocxDocument::Open(path).partXml("word/document.xml");
  EXPECT_NE(body.find("Заказчик проверки"), std::string::npos);
  EXPECT_NE(body.find("77"), std::string::npos);
}

// Start on a port that cannot be opened: the run begins, the acquisition
// thread reports the lost link, and the next tick of timerWeight ends the run
// with the message and the window idle again.
TEST_F(RunWindowTest, StartOnADeadPortEndsWithTheLostLinkMessage) {
  librato::testing::FakeLine line(clock_);
  line.setOpenFails(true);
  HeldPrinter printer;
  RunWindow& w = open(dialogs_, printer, line.factory());
  w.ComCB->setCurrentIndex(0);
  w.cbInterval->setCurrentIndex(0);
  w.eTotLoad->setText("1");
  w.eW->setText("100");
  w.eReal->setText("100");

  w.btnStart->click();
  ASSERT_EQ(w.machine().outcome(), RunOutcome::Running);
  EXPECT_TRUE(w.timerWeight->isActive());
  EXPECT_FALSE(w.btnStart->isVisibleTo(&w));
  EXPECT_EQ(w.labHintSmall->text(), "Подготовка к измерениям...");

  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!w.acquisition().linkLost.load() && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_TRUE(w.acquisition().linkLost.load());
  dialogs_.expect("Проверьте выбранный порт и подключение весов", "Нет связи с весами",
                  kMsgOkWarning);
  // The window's own tick, through its timer's signal.
  QMetaObject::invokeMethod(w.timerWeight, "timeout", Qt::DirectConnection);
  EXPECT_EQ(w.machine().outcome(), RunOutcome::LinkLost);
  EXPECT_FALSE(w.timerWeight->isActive());
  EXPECT_FALSE(w.tCur->isActive());
  EXPECT_TRUE(w.btnStart->isVisibleTo(&w));
  EXPECT_TRUE(w.labHintSmall->text().isEmpty());
}

}  // namespace
}  // namespace librato::app::testing
