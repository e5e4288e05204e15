// The stored entries: the three start-up situations, the round trip, and
// values the program must survive whatever the file holds.
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include "app/load_names_form.h"
#include "app_test_support.h"

namespace librato::app::testing {
namespace {

const QStringList kStoredNames{
    "GetInterval", "RealLoad", "Customer", "Company",        "Tester",      "CertifNum",
    "LoadNum",     "Nominal",  "Real",     "TotLoad",        "COM",         "LoadClass",
    "SampleNum",   "ABA",      "Depend",   "CyclesToWeight", "LoadInCycle", "rbFirst"};

TEST_F(AppTest, FirstStartKeepsTheLayoutStateAndWritesTheMarker) {
  TMainForm& f = start();
  EXPECT_TRUE(f.eW->text().isEmpty());
  EXPECT_TRUE(f.eReal->text().isEmpty());
  EXPECT_EQ(f.eTotLoad->text(), "5");
  EXPECT_EQ(f.seCyclesToWeight->value(), 1);
  EXPECT_EQ(f.seLoadInCycle->value(), 1);
  EXPECT_EQ(f.ComCB->currentIndex(), -1);
  EXPECT_EQ(f.cbAccClass->currentText(), "F1");
  EXPECT_EQ(f.cbAccClass->currentIndex(), -1);
  EXPECT_EQ(f.cbInterval->currentText(), "3");
  EXPECT_EQ(f.cbMethod->currentText(), "ABA");
  EXPECT_TRUE(f.rbDepend->isChecked());
  EXPECT_TRUE(f.rbFirst->isChecked());
  EXPECT_EQ(storedSettings().value("Marker").toInt(), 30);
  EXPECT_FALSE(storedSettings().childGroups().contains("Version 1.0.43C"));

  exitYes();
  QSettings s = storedSettings();
  s.beginGroup("Version 1.0.43C");
  QStringList keys = s.childKeys();
  keys.sort();
  QStringList expected = kStoredNames;
  expected.sort();
  EXPECT_EQ(keys, expected);
  s.endGroup();
  EXPECT_EQ(s.value("Marker").toInt(), 30);
}

TEST_F(AppTest, StoreWithoutThisVersionGivesTheDefaults) {
  {
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, "Norvane", "Librato");
    s.setValue("Marker", 30);
    s.setValue("Version 1.0.42/Customer", "older version");
  }
  TMainForm& f = start();
  EXPECT_EQ(f.ComCB->currentText(), "COM1");
  EXPECT_EQ(f.cbAccClass->currentIndex(), 0);
  EXPECT_EQ(f.cbAccClass->currentText(), "E1");
  EXPECT_EQ(f.eTotLoad->text(), "1");
  EXPECT_EQ(f.cbInterval->currentText(), "3");
  EXPECT_TRUE(f.eCustomer->text().isEmpty());
  EXPECT_EQ(f.eW->text(), "2000");
  EXPECT_EQ(f.eReal->text(), "2000");
  EXPECT_EQ(f.cbMethod->currentIndex(), 0);
  EXPECT_TRUE(f.rbDepend->isChecked());
  EXPECT_EQ(f.seCyclesToWeight->value(), 2);
  EXPECT_EQ(f.seLoadInCycle->value(), 2);
  EXPECT_TRUE(f.rbFirst->isChecked());
}

TEST_F(AppTest, EntriesSurviveARestartAndTheUnstoredOnesStartAfresh) {
  const QString customer(60, QChar(0x0416));  // 60 Cyrillic characters
  {
    TMainForm& f = start();
    f.ComCB->setCurrentIndex(6);
    f.cbAccClass->setCurrentIndex(3);
    f.eTotLoad->setText("12");
    f.cbInterval->setCurrentIndex(5);
    f.eCustomer->setText(customer);
    f.eCompany->setText("ФБУ «Тест», отдел 5; \"масса\" = 100%");
    f.eTester->setText("Петров П. П.");
    f.eSampleNumber->setText("Э-17");
    f.eW->setText("500");
    f.eReal->setText("500,0012");
    f.eCer->setText("№ 12/34");
    f.rbIndepend->setChecked(true);
    f.cbMethod->setCurrentIndex(1);
    f.seCyclesToWeight->setValue(7);
    f.seLoadInCycle->setValue(4);
    f.rbSecond->setChecked(true);
    // Not stored:
    f.eTemp->setText("20,1");
    f.eWet->setText("50");
    f.ePressure->setText("760");
    f.cbUoM->setCurrentIndex(1);
    f.edtProtoNum->setText("77");
    f.cbSKO->setChecked(true);
    exitYes();
  }
  EXPECT_EQ(storedSettings().value("Version 1.0.43C/RealLoad").toString(), "500,0012");
  EXPECT_EQ(storedSettings().value("Version 1.0.43C/SampleNum").toString(), "Э-17");
  TMainForm& f = start();
  EXPECT_EQ(f.ComCB->currentText(), "COM7");
  EXPECT_EQ(f.cbAccClass->currentText(), "F2");
  EXPECT_EQ(f.eTotLoad->text(), "12");
  EXPECT_EQ(f.cbInterval->currentText(), "20");
  EXPECT_EQ(f.eCustomer->text(), customer);
  EXPECT_EQ(f.eCompany->text(), "ФБУ «Тест», отдел 5; \"масса\" = 100%");
  EXPECT_EQ(f.eTester->text(), "Петров П. П.");
  EXPECT_EQ(f.eSampleNumber->text(), "Э-17");
  EXPECT_EQ(f.eW->text(), "500");
  EXPECT_EQ(f.eReal->text(), "500,0012");
  EXPECT_EQ(f.eCer->text(), "№ 12/34");
  EXPECT_TRUE(f.rbIndepend->isChecked());
  EXPECT_FALSE(f.rbDepend->isChecked());
  EXPECT_EQ(f.cbMethod->currentText(), "ABBA");
  EXPECT_EQ(f.seCyclesToWeight->value(), 7);
  EXPECT_EQ(f.seLoadInCycle->value(), 4);
  EXPECT_TRUE(f.rbSecond->isChecked());
  EXPECT_FALSE(f.rbFirst->isChecked());
  EXPECT_TRUE(f.eTemp->text().isEmpty());
  EXPECT_TRUE(f.eWet->text().isEmpty());
  EXPECT_TRUE(f.ePressure->text().isEmpty());
  EXPECT_EQ(f.cbUoM->currentIndex(), 0);
  EXPECT_TRUE(f.edtProtoNum->text().isEmpty());
  EXPECT_FALSE(f.cbSKO->isChecked());
  EXPECT_FALSE(f.cbAddNames->isChecked());
}

TEST_F(AppTest, TypedWeightCountIsStoredAsTheArrowsPosition) {
  {
    TMainForm& f = start();
    f.eTotLoad->setText("500");
    exitYes();
  }
  EXPECT_EQ(storedSettings().value("Version 1.0.43C/TotLoad").toInt(), 100);
  EXPECT_EQ(start().eTotLoad->text(), "100");
}

struct IndexCase {
  const char* name;
  const char* value;
  const char* combo;
  int index;         // expected selected index
  const char* text;  // expected field text
};

class StoredIndexTest : public AppTest, public ::testing::WithParamInterface<IndexCase> {};

TEST_P(StoredIndexTest, SelectsTheStoredItemOrNone) {
  const IndexCase& c = GetParam();
  const QString key = QString(c.combo) == "ComCB"        ? "COM"
                      : QString(c.combo) == "cbAccClass" ? "LoadClass"
                      : QString(c.combo) == "cbMethod"   ? "ABA"
                                                         : "GetInterval";
  storeValues({{key, QString(c.value)}});
  TMainForm& f = start();
  auto* combo = f.findChild<QComboBox*>(c.combo);
  ASSERT_NE(combo, nullptr);
  EXPECT_EQ(combo->currentIndex(), c.index);
  EXPECT_EQ(combo->currentText().toStdString(), c.text);
}

INSTANTIATE_TEST_SUITE_P(Cases, StoredIndexTest,
                         ::testing::Values(IndexCase{"ComTwo", "2", "ComCB", 2, "COM3"},
                                           IndexCase{"ComNone", "-1", "ComCB", -1, ""},
                                           IndexCase{"ComBeyond", "255", "ComCB", -1, ""},
                                           IndexCase{"ComGarbage", "COM3", "ComCB", 0, "COM1"},
                                           IndexCase{"ComHuge", "99999999999", "ComCB", 0, "COM1"},
                                           IndexCase{"ClassNone", "-1", "cbAccClass", -1, ""},
                                           IndexCase{"ClassBeyond", "9", "cbAccClass", -1, "F1"},
                                           IndexCase{"ClassLast", "8", "cbAccClass", 8, "4"},
                                           IndexCase{"IntervalBeyond", "6", "cbInterval", -1, ""},
                                           IndexCase{"IntervalNegative", "-7", "cbInterval", -1,
                                                     ""},
                                           IndexCase{"MethodABBA", "1", "cbMethod", 1, "ABBA"},
                                           IndexCase{"MethodBeyond", "2", "cbMethod", -1, ""}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(AppTest, StoredPortNoneStopsStartAtThePortMessage) {
  storeValues({{"COM", -1}});
  TMainForm& f = start();
  dialogs_.expect("Укажите COM порт", "Некорректное значение", kMsgOk);
  f.btnStart->click();
}

TEST_F(AppTest, TypedClassMatchingNoItemIsStoredAsNone) {
  {
    TMainForm& f = start();
    f.cbAccClass->setEditText("K5");
    exitYes();
  }
  EXPECT_EQ(storedSettings().value("Version 1.0.43C/LoadClass").toInt(), -1);
  EXPECT_TRUE(start().cbAccClass->currentText().isEmpty());
}

struct SpinCase {
  const char* name;
  QVariant cycles, load;
  int cyclesShown, loadShown;
};

class StoredSpinTest : public AppTest, public ::testing::WithParamInterface<SpinCase> {};

TEST_P(StoredSpinTest, ValuesOutsideTheRangeComeToTheNearestBound) {
  const SpinCase& c = GetParam();
  storeValues({{"CyclesToWeight", c.cycles}, {"LoadInCycle", c.load}});
  TMainForm& f = start();
  EXPECT_EQ(f.seCyclesToWeight->value(), c.cyclesShown);
  EXPECT_EQ(f.seLoadInCycle->value(), c.loadShown);
}

INSTANTIATE_TEST_SUITE_P(Cases, StoredSpinTest,
                         ::testing::Values(SpinCase{"Above", 20, 9, 10, 5},
                                           SpinCase{"Zero", 0, 0, 1, 1},
                                           SpinCase{"Negative", -3, -1, 1, 1},
                                           SpinCase{"Inside", 4, 3, 4, 3},
                                           SpinCase{"Garbage", "many", "1.5", 2, 2}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(AppTest, UnreadableValuesTakeTheirDefaults) {
  storeValues({{"TotLoad", "five"},
               {"Depend", "perhaps"},
               {"rbFirst", "0"},
               {"GetInterval", ""},
               {"Nominal", QStringList{"1", "5"}}});
  TMainForm& f = start();
  EXPECT_EQ(f.eTotLoad->text(), "1");
  EXPECT_TRUE(f.rbDepend->isChecked());
  EXPECT_TRUE(f.rbSecond->isChecked());  // "0" reads as false
  EXPECT_EQ(f.cbInterval->currentText(), "3");
  EXPECT_EQ(f.eW->text(), "1, 5");
}

TEST_F(AppTest, DamagedSettingsFileNeitherCrashesNorBlocksTheNextSave) {
  QDir().mkpath(config_.path() + "/Norvane");
  QFile file(settingsFile());
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(
      "\x01\x02\xff\xfe[[[\n=\n[Version 1.0.43C\nCOM=@Variant(\\0\\0\\0\\x7f\\0)\n"
      "[Version 1.0.43C]\nCOM=12\nTotLoad=\"unterminated\nCustomer=@ByteArray(\\xff\\xfe)\n"
      "LoadClass=-2147483649\nrbFirst=@Invalid()\n");
  file.close();
  {
    TMainForm& f = start();
    EXPECT_EQ(f.ComCB->currentText(), "COM13");
    EXPECT_EQ(f.eTotLoad->text(), "1");
    EXPECT_EQ(f.cbAccClass->currentText(), "E1");
    EXPECT_TRUE(f.rbFirst->isChecked());
    f.eTester->setText("Сидоров");
    exitYes();
  }
  TMainForm& f = start();
  EXPECT_EQ(f.eTester->text(), "Сидоров");
  EXPECT_EQ(f.ComCB->currentText(), "COM13");
}

TEST_F(AppTest, BinaryGarbageFileStartsLikeAFirstStart) {
  QDir().mkpath(config_.path() + "/Norvane");
  QFile file(settingsFile());
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  QByteArray junk;
  for (int i = 0; i < 4096; ++i) junk.append(static_cast<char>((i * 37 + 11) % 256));
  file.write(junk);
  file.close();
  start();
  exitYes();
  EXPECT_TRUE(storedSettings().childGroups().contains("Version 1.0.43C"));
}

}  // namespace
}  // namespace librato::app::testing
