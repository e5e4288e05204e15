// The weight numbers dialog.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include "app/load_names_form.h"
#include "app_test_support.h"

namespace librato::app::testing {
namespace {

class NamesTest : public AppTest {
 protected:
  TLoadNamesForm& open() {
    form_->cbAddNames->click();
    return form_->loadNames();
  }
  void SetUp() override {
    AppTest::SetUp();
    startAndShow();
  }
};

TEST_F(NamesTest, TickingOpensOneRowPerWeightAndLocksTheMainWindow) {
  TLoadNamesForm& names = open();
  EXPECT_TRUE(names.isVisible());
  EXPECT_EQ(names.windowTitle(), "Введите номера гирь");
  EXPECT_FALSE(form_->isEnabled());
  EXPECT_TRUE(form_->bLNShow->isVisible());
  EXPECT_EQ(names.rowCount(), 6);
  EXPECT_EQ(
      names.grid()->rowCount() -
          [&] {
            int hidden = 0;
            for (int r = 0; r < names.grid()->rowCount(); ++r)
              hidden += names.grid()->isRowHidden(r);
            return hidden;
          }(),
      5);
  EXPECT_EQ(names.cell(0, 0), "№");
  EXPECT_EQ(names.cell(1, 0), "№ гири");
  for (int i = 1; i <= 5; ++i) {
    EXPECT_EQ(names.cell(0, i), QString::number(i));
    EXPECT_TRUE(names.cell(1, i).isEmpty());
    // Only the number column takes typing.
    EXPECT_FALSE(names.grid()->item(i - 1, 0)->flags() & Qt::ItemIsEditable);
    EXPECT_TRUE(names.grid()->item(i - 1, 1)->flags() & Qt::ItemIsEditable);
  }
  names.btnCloseClick();
  EXPECT_FALSE(names.isVisible());
  EXPECT_TRUE(form_->isEnabled());
}

TEST_F(NamesTest, NumbersStayAcrossClosingUntickingAndTickingAgain) {
  TLoadNamesForm& names = open();
  names.grid()->item(0, 1)->setText("17-А/2026");
  names.grid()->item(2, 1)->setText("  x ");
  names.close();  // the title bar
  EXPECT_TRUE(form_->isEnabled());
  form_->cbAddNames->click();  // unticked
  EXPECT_FALSE(form_->bLNShow->isVisible());
  EXPECT_FALSE(names.isVisible());
  EXPECT_TRUE(form_->isEnabled());
  form_->cbAddNames->click();  // ticked again
  EXPECT_EQ(names.cell(1, 1), "17-А/2026");
  EXPECT_EQ(names.cell(1, 3), "  x ");
  EXPECT_EQ(names.weightNumber(1), "17-А/2026");
  EXPECT_TRUE(names.weightNumber(2).isEmpty());
  EXPECT_TRUE(names.weightNumber(6).isEmpty());  // beyond the weights
  names.btnCloseClick();
}

TEST_F(NamesTest, ShowButtonOpensAgainWithTheCurrentCount) {
  TLoadNamesForm& names = open();
  names.btnCloseClick();
  form_->eTotLoad->setText("8");
  form_->bLNShow->click();
  EXPECT_TRUE(names.isVisible());
  EXPECT_FALSE(form_->isEnabled());
  EXPECT_EQ(names.rowCount(), 9);
  EXPECT_EQ(names.cell(0, 8), "8");
  names.btnCloseClick();
}

TEST_F(NamesTest, UnreadableCountKeepsTheDialogClosedAndTheBoxTicked) {
  dialogs_.expectError();  // the change rule
  form_->eTotLoad->setText("");
  dialogs_.expectError("\"\"");
  TLoadNamesForm& names = open();
  EXPECT_FALSE(names.isVisible());
  EXPECT_TRUE(form_->cbAddNames->isChecked());
  EXPECT_TRUE(form_->isEnabled());
}

TEST_F(NamesTest, VoicingWarningKeepsTheTickOnlyOnYes) {
  TLoadNamesForm& names = open();
  auto* sound = names.findChild<QCheckBox*>("cbSound");
  ASSERT_NE(sound, nullptr);
  const char* text =
      "Озвучивание длинных номеров может повлиять на ритмичность. Включить озвучивание?";
  dialogs_.expect(text, "Предупреждение", kMsgYesNoWarning, Answer::No);
  sound->click();
  EXPECT_FALSE(names.voiceNumbers());
  dialogs_.expect(text, "Предупреждение", kMsgYesNoWarning, Answer::Yes);
  sound->click();
  EXPECT_TRUE(names.voiceNumbers());
  sound->click();  // unticking asks nothing
  EXPECT_FALSE(names.voiceNumbers());
  names.btnCloseClick();
}

TEST_F(NamesTest, ClearingEmptiesTheNumbersOnlyAfterOk) {
  TLoadNamesForm& names = open();
  for (int i = 1; i <= 5; ++i) names.setCell(1, i, QString("W%1").arg(i));
  auto* clear = names.findChild<QPushButton*>("btnClear");
  ASSERT_NE(clear, nullptr);
  dialogs_.expect("Очистить номера гирь?", "Удаление данных", kMsgOkCancelQuestion, Answer::Cancel);
  clear->click();
  EXPECT_EQ(names.cell(1, 5), "W5");
  dialogs_.expect("Очистить номера гирь?", "Удаление данных", kMsgOkCancelQuestion, Answer::Ok);
  clear->click();
  for (int i = 1; i <= 5; ++i) {
    EXPECT_TRUE(names.cell(1, i).isEmpty());
    EXPECT_EQ(names.cell(0, i), QString::number(i));
  }
  EXPECT_EQ(names.rowCount(), 6);
  names.btnCloseClick();
}

TEST_F(NamesTest, NumbersAreNotStored) {
  TLoadNamesForm& names = open();
  names.setCell(1, 1, "A-1");
  names.btnCloseClick();
  exitYes();
  startAndShow();
  EXPECT_FALSE(form_->cbAddNames->isChecked());
  EXPECT_TRUE(form_->loadNames().weightNumber(1).isEmpty());
  EXPECT_FALSE(form_->loadNames().voiceNumbers());
}

}  // namespace
}  // namespace librato::app::testing
