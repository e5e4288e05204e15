// The run parameters: key filters, the mass fields' exit rule, the weight
// count and standard-deviation rules, and the validation at Start.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include "app/load_names_form.h"
#include "app/up_down.h"
#include "app_test_support.h"
#include "procedure/plan.h"

namespace librato::app::testing {
namespace {

const char* const kBad = "Некорректное значение";
const char* const kRealMsg =
    "Введите положительное действительное число в поле \"Условная масса эталонной гири\".";
const char* const kNominalMsg =
    "Введите положительное действительное число в поле \"Номинальное значение массы эталонной "
    "гири\".";
const char* const kTooHeavy =
    "Данная версия программы предназначена для работы с гирями с номинальной массой не более "
    "200 кг";

struct ValidationCase {
  const char* name;
  int port;  // list index, -1 none
  const char* nominal;
  const char* real;
  const char* count;
  const char* message;  // nullptr: accepted
  const char* caption;
  int flags;
};

class ValidationTest : public AppTest, public ::testing::WithParamInterface<ValidationCase> {};

TEST_P(ValidationTest, StartChecksTheParametersInOrder) {
  const ValidationCase& c = GetParam();
  TMainForm& f = start();
  f.ComCB->setCurrentIndex(c.port);
  f.eW->setText(c.nominal);
  f.eReal->setText(c.real);
  f.eTotLoad->setText(c.count);
  f.lblSKO->setText("0,0001");
  if (c.message) dialogs_.expect(c.message, c.caption, c.flags);

  const bool ok = f.CheckParameters();
  EXPECT_EQ(ok, c.message == nullptr);
  EXPECT_TRUE(f.lblSKO->text().isEmpty());
  if (ok) {
    const SessionParameters& p = f.run().params;
    EXPECT_EQ(p.PortNumber, c.port + 1);
    EXPECT_EQ(p.ReadoutTime, 3);
    EXPECT_EQ(p.WeightCount, std::atoi(c.count));
    EXPECT_EQ(f.run().stepsDone, -2);
    EXPECT_EQ(f.run().aCount, -1);
    EXPECT_EQ(f.run().bCount, 0);
    PlanInputs in;
    in.WeightCount = p.WeightCount;
    EXPECT_EQ(static_cast<int>(f.run().plan.size()), PlanLength(in));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ValidationTest,
    ::testing::Values(
        ValidationCase{"NoPort", -1, "2000", "2000", "5", "Укажите COM порт", kBad, kMsgOk},
        ValidationCase{"RealUnreadable", 0, "2000", "", "5", kRealMsg, kBad, kMsgOk},
        ValidationCase{"RealGarbage", 0, "2000", "20,00,1", "5", kRealMsg, kBad, kMsgOk},
        ValidationCase{"NominalUnreadable", 0, "", "2000", "5", kNominalMsg, kBad, kMsgOk},
        ValidationCase{"LowerBound", 2, "2000", "1960", "5", nullptr, nullptr, 0},
        ValidationCase{"UpperBound", 2, "2000", "2040", "5", nullptr, nullptr, 0},
        ValidationCase{"BelowLowerBound", 2, "2000", "1959,99", "5",
                       "Действительное значение гири должно быть не меньше 1960 г и не больше "
                       "2040 г.",
                       "Несоответствие данных", kMsgOkWarning},
        ValidationCase{"AboveUpperBound", 2, "2000", "2040.01", "5",
                       "Действительное значение гири должно быть не меньше 1960 г и не больше "
                       "2040 г.",
                       "Несоответствие данных", kMsgOkWarning},
        ValidationCase{"BothZero", 0, "0", "0", "5", nullptr, nullptr, 0},
        ValidationCase{"DotSeparator", 254, "1.5", "1,5", "1", nullptr, nullptr, 0},
        ValidationCase{"ZeroWeights", 0, "2000", "2000", "0",
                       "Количество проверяемых гирь должно быть не меньше 1", kBad, kMsgOk},
        ValidationCase{"ManyWeightsTyped", 0, "2000", "2000", "500", nullptr, nullptr, 0}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(AppTest, StartCapturesTheSchemeAndReadoutTime) {
  TMainForm& f = start();
  f.ComCB->setCurrentIndex(4);
  f.cbInterval->setCurrentIndex(3);
  f.eW->setText("500");
  f.eReal->setText("500,0021");
  f.eTotLoad->setText("3");
  f.rbSecond->setChecked(true);
  f.rbIndepend->setChecked(true);
  f.cbMethod->setCurrentIndex(1);
  f.seCyclesToWeight->setValue(2);
  f.seLoadInCycle->setValue(4);
  f.btnStart->click();
  const SessionParameters& p = f.run().params;
  EXPECT_EQ(p.PortNumber, 5);
  EXPECT_EQ(p.ReadoutTime, 10);
  EXPECT_DOUBLE_EQ(p.NominalMass, 500);
  EXPECT_DOUBLE_EQ(p.RealMass, 500.0021);
  EXPECT_EQ(p.WeightCount, 3);
  EXPECT_FALSE(p.GroupCycle);
  EXPECT_FALSE(p.Depend);
  EXPECT_FALSE(p.MethodABA);
  EXPECT_EQ(p.CyclesToWeight, 2);
  EXPECT_EQ(p.LoadInCycle, 4);
  PlanInputs in;
  in.GroupCycle = false;
  in.Depend = false;
  in.MethodABA = false;
  in.CyclesToWeight = 2;
  in.LoadInCycle = 4;
  in.WeightCount = 3;
  EXPECT_EQ(static_cast<int>(f.run().plan.size()), PlanLength(in));
  EXPECT_FALSE(f.trace().lines().empty());  // the plan builder wrote its lines
  f.eTemp->setText("20,5");
  f.cbUoM->setCurrentIndex(1);
  f.cbAddNames->setChecked(true);
  f.ReadTextParameters(f.run().params);
  EXPECT_EQ(p.RealText, "500,0021");
  EXPECT_EQ(p.AccuracyClass, "F1");
  EXPECT_EQ(p.Temperature, "20,5");
  EXPECT_EQ(p.PressureUnitIndex, PressureUnit::HPa);
  EXPECT_EQ(p.PressureUnitText, "мбар (гПа)");
  EXPECT_TRUE(p.NumbersEntered);
  EXPECT_EQ(f.reLog->toPlainText().toStdString().substr(0, 1), f.trace().lines()[0].substr(0, 1));
  // Until the step machine arrives, Start leaves the window idle.
  EXPECT_FALSE(f.btnStart->isHidden());
  EXPECT_TRUE(f.btnStop->isHidden());
}

TEST_F(AppTest, RangeRefusalPlaysTheNotifySound) {
  TMainForm& f = start();
  f.ComCB->setCurrentIndex(0);
  f.eW->setText("100");
  f.eReal->setText("103");
  dialogs_.expect("Действительное значение гири должно быть не меньше 98 г и не больше 102 г.",
                  "Несоответствие данных", kMsgOkWarning);
  EXPECT_FALSE(f.CheckParameters());
  EXPECT_EQ(notifies_, 1);
}

TEST_F(AppTest, StartWithUnreadableIntegersShowsTheErrorBox) {
  TMainForm& f = start();
  f.ComCB->setCurrentIndex(0);
  f.eW->setText("2000");
  f.eReal->setText("2000");
  f.cbInterval->setCurrentIndex(-1);  // e.g. a stored index beyond the list
  dialogs_.expectError("\"\"");
  f.btnStart->click();
  EXPECT_TRUE(f.run().plan.empty());

  f.cbInterval->setCurrentIndex(0);
  dialogs_.expectError();  // the change rule meets the empty count at once
  f.eTotLoad->setText("");
  dialogs_.expectError("\"\"");
  f.btnStart->click();
  EXPECT_TRUE(f.run().plan.empty());
}

struct ExitCase {
  const char* name;
  bool nominalField;
  const char* typed;
  const char* after;
  const char* message;
  int flags;
};

class MassExitTest : public AppTest, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(MassExitTest, LeavingTheFieldNormalisesOrRefusesIt) {
  const ExitCase& c = GetParam();
  TMainForm& f = start();
  QLineEdit* field = c.nominalField ? f.eW : f.eReal;
  field->setText(c.typed);
  if (c.message) dialogs_.expect(c.message, kBad, c.flags);
  LeaveField(field);
  EXPECT_EQ(field->text().toStdString(), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MassExitTest,
    ::testing::Values(ExitCase{"Whole", true, "2000", "2000", nullptr, 0},
                      ExitCase{"TrailingZeros", true, "1,500", "1,5", nullptr, 0},
                      ExitCase{"DotReadToo", false, "1.500", "1,5", nullptr, 0},
                      ExitCase{"TrailingSeparator", false, "12,", "12", nullptr, 0},
                      ExitCase{"Zero", false, "0", "0", nullptr, 0},
                      ExitCase{"LimitKept", false, "210000", "210000", nullptr, 0},
                      ExitCase{"AboveLimit", false, "210000,5", "200000", kTooHeavy, kMsgOkWarning},
                      ExitCase{"NominalAboveLimit", true, "250000", "200000", kTooHeavy,
                               kMsgOkWarning},
                      ExitCase{"EmptyReal", false, "", "", kRealMsg, kMsgOk},
                      ExitCase{"EmptyNominal", true, "", "", kNominalMsg, kMsgOk},
                      ExitCase{"TwoSeparators", true, "1,2.3", "1,2.3", kNominalMsg, kMsgOk}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(AppTest, SwitchingToAnotherWindowIsNotLeavingTheField) {
  TMainForm& f = start();
  f.eW->setText("");
  LeaveField(f.eW, Qt::ActiveWindowFocusReason);
  LeaveField(f.eW, Qt::PopupFocusReason);
  EXPECT_TRUE(f.eW->text().isEmpty());  // and no message
}

struct KeyCase {
  const char* name;
  const char* field;
  int key;
  const char* text;
  Qt::KeyboardModifiers mods;
  bool accepted;
};

class KeyFilterTest : public AppTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(KeyFilterTest, RefusedCharactersBeepAndChangeNothing) {
  const KeyCase& c = GetParam();
  TMainForm& f = start();
  QApplication::clipboard()->setText("123");
  QWidget* w = f.findChild<QWidget*>(c.field);
  ASSERT_NE(w, nullptr);
  auto textOf = [&]() -> QString {
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    return static_cast<QComboBox*>(w)->currentText();
  };
  if (auto* e = qobject_cast<QLineEdit*>(w)) {
    e->setText("12");
    e->setCursorPosition(2);
  }
  const QString before = textOf();
  const std::size_t messagesBefore = dialogs_.shown().size();
  TypeKey(w, c.key, QString::fromUtf8(c.text), c.mods);
  if (c.accepted) {
    EXPECT_EQ(beeps_, 0);
  } else {
    EXPECT_EQ(beeps_, 1);
    EXPECT_EQ(textOf(), before);
  }
  // The weight count rule may not complain either way.
  EXPECT_EQ(dialogs_.shown().size(), messagesBefore);
}

constexpr auto kNone = Qt::NoModifier;
INSTANTIATE_TEST_SUITE_P(
    Cases, KeyFilterTest,
    ::testing::Values(
        KeyCase{"DigitInMass", "eW", Qt::Key_5, "5", kNone, true},
        KeyCase{"CommaInMass", "eReal", Qt::Key_Comma, ",", kNone, true},
        KeyCase{"DotInMass", "eW", Qt::Key_Period, ".", kNone, true},
        KeyCase{"LetterInMass", "eW", Qt::Key_A, "a", kNone, false},
        KeyCase{"MinusInMass", "eW", Qt::Key_Minus, "-", kNone, false},
        KeyCase{"PasteInMass", "eW", Qt::Key_V, "\x16", Qt::ControlModifier, false},
        KeyCase{"PasteNoTextInMass", "eReal", Qt::Key_V, "", Qt::ControlModifier, false},
        KeyCase{"CutInMass", "eW", Qt::Key_X, "\x18", Qt::ControlModifier, false},
        KeyCase{"BackspaceInMass", "eW", Qt::Key_Backspace, "\b", kNone, true},
        KeyCase{"ArrowInMass", "eW", Qt::Key_Left, "", kNone, true},
        KeyCase{"LetterInTemperature", "eTemp", Qt::Key_C, "c", kNone, false},
        KeyCase{"CommaInHumidity", "eWet", Qt::Key_Comma, ",", kNone, true},
        KeyCase{"SpaceInPressure", "ePressure", Qt::Key_Space, " ", kNone, false},
        KeyCase{"DigitInCount", "eTotLoad", Qt::Key_7, "7", kNone, true},
        KeyCase{"CommaInCount", "eTotLoad", Qt::Key_Comma, ",", kNone, false},
        KeyCase{"PasteInCount", "eTotLoad", Qt::Key_V, "\x16", Qt::ControlModifier, false},
        KeyCase{"DigitInPort", "ComCB", Qt::Key_1, "1", kNone, false},
        KeyCase{"LetterInPort", "ComCB", Qt::Key_C, "C", kNone, false},
        KeyCase{"LetterInInterval", "cbInterval", Qt::Key_A, "a", kNone, false},
        KeyCase{"DigitInInterval", "cbInterval", Qt::Key_5, "5", kNone, true},
        KeyCase{"LetterInCustomer", "eCustomer", Qt::Key_A, "a", kNone, true}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(AppTest, TypedCharactersReachTheFieldsThatAcceptThem) {
  TMainForm& f = start();
  TypeText(f.eW, "12,5");
  EXPECT_EQ(f.eW->text(), "12,5");
  TypeText(f.eW, "x-");
  EXPECT_EQ(f.eW->text(), "12,5");
  EXPECT_EQ(beeps_, 2);
}

TEST_F(AppTest, WeightCountArrowsStayWithinOneToHundred) {
  TMainForm& f = start();
  EXPECT_EQ(f.eTotLoad->text(), "5");
  f.ud->setPosition(100);
  f.ud->stepBy(1);
  EXPECT_EQ(f.eTotLoad->text(), "100");
  f.ud->setPosition(1);
  f.ud->stepBy(-1);
  EXPECT_EQ(f.eTotLoad->text(), "1");
  f.eTotLoad->setText("42");  // typed: the arrows go on from it
  f.ud->stepBy(1);
  EXPECT_EQ(f.eTotLoad->text(), "43");
  f.eTotLoad->setText("500");
  f.ud->stepBy(-1);
  EXPECT_EQ(f.eTotLoad->text(), "99");
  // Four digits at most: no count that would make the dialog and the plan
  // allocate without bound.
  dialogs_.expectError();  // emptied: the change rule's conversion error
  f.eTotLoad->clear();
  TypeText(f.eTotLoad, "123456");
  EXPECT_EQ(f.eTotLoad->text(), "1234");
}

TEST_F(AppTest, LoweringTheWeightCountEmptiesTheNumbersBeyondIt) {
  TMainForm& f = start();
  f.cbAddNames->click();  // 5 weights: the dialog opens
  TLoadNamesForm& names = f.loadNames();
  for (int i = 1; i <= 5; ++i) names.setCell(1, i, QString("N%1").arg(i));
  names.btnCloseClick();

  f.eTotLoad->setText("3");
  EXPECT_EQ(names.rowCount(), 6);  // the row count is not changed by the rule
  for (int i = 1; i <= 3; ++i) EXPECT_EQ(names.cell(1, i), QString("N%1").arg(i));
  EXPECT_TRUE(names.cell(1, 4).isEmpty());
  EXPECT_TRUE(names.cell(1, 5).isEmpty());
  f.bLNShowClick();
  EXPECT_EQ(names.rowCount(), 4);
  names.btnCloseClick();

  f.eTotLoad->setText("5");
  f.bLNShowClick();
  EXPECT_EQ(names.rowCount(), 6);
  EXPECT_EQ(names.cell(1, 3), "N3");
  EXPECT_TRUE(names.cell(1, 4).isEmpty());
  EXPECT_TRUE(names.cell(1, 5).isEmpty());
  EXPECT_EQ(names.cell(0, 5), "5");
  names.btnCloseClick();
}

TEST_F(AppTest, UnreadableWeightCountKeepsTheRememberedCount) {
  TMainForm& f = start();
  f.cbAddNames->click();
  TLoadNamesForm& names = f.loadNames();
  for (int i = 1; i <= 5; ++i) names.setCell(1, i, QString("N%1").arg(i));
  names.btnCloseClick();
  dialogs_.expectError("\"\"");
  f.eTotLoad->setText("");  // all digits deleted
  EXPECT_EQ(names.cell(1, 5), "N5");
  f.eTotLoad->setText("4");  // lower than the 5 remembered before the error
  EXPECT_TRUE(names.cell(1, 5).isEmpty());
  EXPECT_EQ(names.cell(1, 4), "N4");
}

struct SkoCase {
  const char* name;
  int cycles;
  bool asked;
  Answer answer;
  int cyclesAfter;
};

class SkoRuleTest : public AppTest, public ::testing::WithParamInterface<SkoCase> {};

TEST_P(SkoRuleTest, TickingAsksToSetOneCycle) {
  const SkoCase& c = GetParam();
  TMainForm& f = start();
  f.seCyclesToWeight->setValue(c.cycles);
  if (c.asked)
    dialogs_.expect("Количество циклов на гирю будет установлено равным 1. Продолжить?",
                    "Вычисление СКО", kMsgYesNoQuestion, c.answer);
  f.cbSKO->click();
  EXPECT_TRUE(f.cbSKO->isChecked());
  EXPECT_EQ(f.seCyclesToWeight->value(), c.cyclesAfter);
  f.cbSKO->click();  // unticking asks nothing
  EXPECT_FALSE(f.cbSKO->isChecked());
}

INSTANTIATE_TEST_SUITE_P(Cases, SkoRuleTest,
                         ::testing::Values(SkoCase{"Yes", 3, true, Answer::Yes, 1},
                                           SkoCase{"No", 3, true, Answer::No, 3},
                                           SkoCase{"TwoCyclesYes", 2, true, Answer::Yes, 1},
                                           SkoCase{"OneCycle", 1, false, Answer::Yes, 1}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(AppTest, MassFieldsFollowTheBalanceResolutionOnlyInPreciseTexts) {
  TMainForm& f = start();
  f.acquisition().liveDecimals.store(4);
  f.eW->setText("2000.00000");
  LeaveField(f.eW);
  EXPECT_EQ(f.eW->text(), "2000");
}

}  // namespace
}  // namespace librato::app::testing
