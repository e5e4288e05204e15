// Renders the windows to PNG files for the documentation: the main window
// idle and in the running state, and the weight numbers dialog. Usage:
//   librato_screenshots <output dir>
// Runs on any Qt platform (offscreen works); the settings are read from and
// written to a scratch location, never the user's.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <cstdio>

#include "app/load_names_form.h"
#include "app/main_form.h"
#include "procedure/operator_dialogs.h"
#include "results/results_table.h"

namespace {

// Answers every message with its first button; the renderer asks nothing.
class SilentDialogs final : public librato::OperatorDialogs {
 public:
  librato::Answer message(const std::string&, const std::string&, int flags) override {
    return flags == librato::kMsgYesNoQuestion || flags == librato::kMsgYesNoWarning ||
                   flags == librato::kMsgYesNoCancelQuestion
               ? librato::Answer::Yes
               : librato::Answer::Ok;
  }
  void error(const std::string&) override {}
  std::optional<std::string> saveFile(const std::string&, const std::string&,
                                      const std::string&) override {
    return std::nullopt;
  }
};

bool Save(QWidget& w, const QString& path) {
  const bool ok = w.grab().save(path);
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
  QDir().mkpath(out);
  QTemporaryDir scratch;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, scratch.path());
  {
    // A second start, so the fields show the stored defaults of a lab's bench.
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, "Norvane", "Librato");
    s.setValue("Marker", 30);
  }

  SilentDialogs dialogs;
  librato::app::TMainForm form(&dialogs, nullptr);
  form.FormCreate();
  form.eCustomer->setText("ООО «Метрология»");
  form.eCompany->setText("Лаборатория массы");
  form.eTester->setText("Иванов И. И.");
  form.eSampleNumber->setText("Э-2000-17");
  form.eCer->setText("С-123/2026");
  form.eTemp->setText("20,4");
  form.eWet->setText("48");
  form.ePressure->setText("752");
  form.edtProtoNum->setText("17");
  form.show();
  form.timerShowMainTimer();
  bool ok = Save(form, out + "/main-idle.png");

  // The running state, with a few readings in the table.
  form.EnableControls(false);
  form.labHintSmall->setText("Поставьте проверяемую гирю");
  form.labHint->setText("B2");
  form.lCur->setText("2000,0012");
  form.lCur->show();
  form.labStab->show();
  librato::ResultsTable& t = form.results();
  const char* rows[][5] = {{"1", "10:02:11", "A1", "Э-2000-17", "2000,0003"},
                           {"2", "10:02:40", "B1", "", "2000,0011"},
                           {"3", "10:03:09", "A2", "Э-2000-17", "2000,0004"}};
  for (int r = 0; r < 3; ++r) {
    if (r > 0) t.setRowCount(t.rowCount() + 1);
    for (int c = 0; c < 5; ++c) t.setCell(c, r + 1, rows[r][c]);
  }
  t.setCell(5, 2, "0,00075");
  t.setCell(6, 2, "0,00075");
  t.setCell(7, 2, "2000,00075");
  t.setCell(8, 2, "0,00075");
  ok = Save(form, out + "/main-running.png") && ok;
  form.EnableControls(true);

  librato::app::TLoadNamesForm& names = form.loadNames();
  names.setRowCount(6);
  names.setCell(0, 0, "№");
  names.setCell(1, 0, "№ гири");
  const char* numbers[] = {"101", "102", "103А", "", "105"};
  for (int i = 1; i <= 5; ++i) {
    names.setCell(0, i, QString::number(i));
    names.setCell(1, i, numbers[i - 1]);
  }
  names.show();
  ok = Save(names, out + "/numbers-dialog.png") && ok;
  return ok ? 0 : 1;
}
