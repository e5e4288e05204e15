#pragma once
// Shared pieces of the window tests: the application object, a scripted
// answerer for the operator's messages, a recording document opener, and a
// fixture that gives every test its own settings store and working folder.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QSettings>
#include <QTemporaryDir>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "app/document_opener.h"
#include "app/main_form.h"
#include "procedure/operator_dialogs.h"

namespace librato::app::testing {

inline void EnsureApplication() {
  static int argc = 1;
  static char name[] = "librato_app_tests";
  static char* argv[] = {name, nullptr};
  if (!QApplication::instance()) new QApplication(argc, argv);
}

// Answers the messages the test expects, in order; any other message, or a
// message with other texts or buttons, fails the test.
class ScriptedDialogs final : public OperatorDialogs {
 public:
  struct Expected {
    bool isError = false;
    std::string text;  // for an error: a part of its text
    std::string caption;
    int flags = 0;
    Answer answer = Answer::Ok;
  };

  void expect(std::string text, std::string caption, int flags, Answer answer = Answer::Ok) {
    queue_.push_back({false, std::move(text), std::move(caption), flags, answer});
  }
  void expectError(std::string part = {}) { queue_.push_back({true, std::move(part), {}, 0, {}}); }

  Answer message(const std::string& text, const std::string& caption, int flags) override {
    shown_.push_back(text);
    if (queue_.empty() || queue_.front().isError) {
      ADD_FAILURE() << "unexpected message \"" << text << "\" (" << caption << ", " << flags << ")";
      return flags == kMsgOk || flags == kMsgOkWarning ? Answer::Ok : Answer::Cancel;
    }
    Expected e = queue_.front();
    queue_.pop_front();
    EXPECT_EQ(e.text, text);
    EXPECT_EQ(e.caption, caption) << "for \"" << text << "\"";
    EXPECT_EQ(e.flags, flags) << "for \"" << text << "\"";
    return e.answer;
  }
  void error(const std::string& text) override {
    shown_.push_back(text);
    if (queue_.empty() || !queue_.front().isError) {
      ADD_FAILURE() << "unexpected error box \"" << text << "\"";
      return;
    }
    EXPECT_NE(text.find(queue_.front().text), std::string::npos) << text;
    queue_.pop_front();
  }
  std::optional<std::string> saveFile(const std::string&, const std::string&,
                                      const std::string&) override {
    ADD_FAILURE() << "unexpected save dialog";
    return std::nullopt;
  }

  bool done() const { return queue_.empty(); }
  std::size_t pending() const { return queue_.size(); }
  const std::vector<std::string>& shown() const { return shown_; }

 private:
  std::deque<Expected> queue_;
  std::vector<std::string> shown_;
};

class RecordingOpener final : public DocumentOpener {
 public:
  void open(const QString& path) override { opened.push_back(path); }
  std::vector<QString> opened;
};

// Every test: its own settings location and working folder.
class AppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureApplication();
    ASSERT_TRUE(config_.isValid());
    ASSERT_TRUE(work_.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config_.path());
    oldDir_ = QDir::currentPath();
    QDir::setCurrent(work_.path());
  }
  void TearDown() override {
    form_.reset();
    QDir::setCurrent(oldDir_);
    EXPECT_TRUE(dialogs_.done()) << dialogs_.pending() << " expected message(s) not shown";
  }

  QString settingsFile() const { return config_.path() + "/Norvane/Librato.conf"; }
  QSettings storedSettings() const { return QSettings(settingsFile(), QSettings::IniFormat); }
  // A store as a second start finds it: the marker and the given values of
  // the version group.
  void storeValues(const std::vector<std::pair<QString, QVariant>>& values) {
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, "Norvane", "Librato");
    s.setValue("Marker", 30);
    for (const auto& [name, value] : values) s.setValue("Version 1.0.43C/" + name, value);
    s.sync();
  }

  // A window after its start-up sequence.
  TMainForm& start() {
    form_ = std::make_unique<TMainForm>(&dialogs_, &opener_);
    form_->setBeep([this] { ++beeps_; });
    form_->setNotifySound([this] { ++notifies_; });
    form_->FormCreate();
    return *form_;
  }
  void startAndShow() {
    start().show();
    form_->timerShowMainTimer();
  }
  // The confirmed exit: the question answered Yes, the settings stored.
  void exitYes() {
    dialogs_.expect("Выйти из программы?", "Завершение работы", kMsgYesNoQuestion, Answer::Yes);
    form_->close();
    form_.reset();
  }

  ScriptedDialogs dialogs_;
  RecordingOpener opener_;
  std::unique_ptr<TMainForm> form_;
  int beeps_ = 0;
  int notifies_ = 0;
  QTemporaryDir config_;
  QTemporaryDir work_;
  QString oldDir_;
};

// Types one key into `target` as the keyboard would deliver it.
inline void TypeKey(QWidget* target, int key, const QString& text,
                    Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QKeyEvent over(QEvent::ShortcutOverride, key, mods, text);
  QApplication::sendEvent(target, &over);
  QKeyEvent press(QEvent::KeyPress, key, mods, text);
  QApplication::sendEvent(target, &press);
  QKeyEvent release(QEvent::KeyRelease, key, mods, text);
  QApplication::sendEvent(target, &release);
}

inline void TypeText(QWidget* target, const QString& text) {
  for (const QChar c : text) TypeKey(target, c.toUpper().unicode(), QString(c));
}

// The field loses the focus to another control.
inline void LeaveField(QWidget* field, Qt::FocusReason reason = Qt::TabFocusReason) {
  QFocusEvent out(QEvent::FocusOut, reason);
  QApplication::sendEvent(field, &out);
}

}  // namespace librato::app::testing
