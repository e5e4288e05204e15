// The protocol built from the project's template, read back by unzipping it.

#include <gtest/gtest.h>

#include "link/clock.h"
#include "protocol/protocol_builder.h"
#include "protocol_test_support.h"
#include "results/results_table.h"

namespace librato {
namespace {

using testing::SavedDocument;
using testing::TempDir;

// 2026-12-11 as a day number.
constexpr DateTime kToday = 46367.6;

// Tables of the template as the program addresses them; after a build outside
// the standard-deviation mode table 7 is gone and table 8 is the 7th.
constexpr int kResults = 5;

void FillResults(ResultsTable& t) {
  const char* rows[][9] = {
      {"1", "10:00:01", "A1", "Э-1", "200,0001", "", "", "", ""},
      {"2", "10:00:31", "B1", "17", "200,0004", "", "", "", ""},
      {"3", "10:01:02", "A2", "Э-1", "200,0002", "0,00025", "0,00025", "200,00035", "0,00035"},
  };
  t.setRowCount(4);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 9; ++c) t.setCell(c, r + 1, rows[r][c]);
}

class BuildTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FillResults(results_);
    in_.results = &results_;
    in_.templatePath = LIBRATO_TEST_BUILD_TEMPLATE;
    in_.balanceModel = "CP224S";
    in_.balanceSerial = 21905123;
    in_.decimals = 4;
    in_.bCount = 1;
    in_.today = kToday;
    SessionParameters& s = in_.params;
    s.WeightCount = 1;
    s.GroupCycle = false;
    s.MethodABA = true;
    s.CyclesToWeight = 1;
    s.LoadInCycle = 1;
    s.NominalText = "200";
    s.RealText = "200,00012";
    s.AccuracyClass = "E2";
    s.CertifNum = "С-123/45";
    s.ReferenceNumber = "Э-1";
    s.Customer = "ООО «Весы и гири»";
    s.Company = "Лаборатория массы";
    s.Tester = "Иванов И. И.";
    s.Temperature = "20";
    s.Humidity = "50";
    s.Pressure = "1013,25";
    s.PressureUnitIndex = PressureUnit::HPa;
    s.PressureUnitText = "мбар (гПа)";
    s.ProtocolNumber = "17";
  }
  SavedDocument build() {
    BuildResult r = BuildProtocol(in_);
    EXPECT_TRUE(r.ok()) << r.error;
    if (!r.ok()) throw std::runtime_error(r.error);
    const std::string path = dir_.file("protocol.docx");
    EXPECT_TRUE(r.document->save(path).ok);
    return SavedDocument(path);
  }
  ResultsTable results_;
  ProtocolInputs in_;
  TempDir dir_;
};

TEST_F(BuildTest, ParametersLandInTheirCells) {
  SavedDocument d = build();
  EXPECT_EQ(d.paragraph(2), "Протокол № 17");
  EXPECT_EQ(d.cell(1, 1, 2), "ООО «Весы и гири»");
  EXPECT_EQ(d.cell(1, 2, 2), "Лаборатория массы");
  const char* reference[] = {"200", "200,00012", "E2", "С-123/45", "Э-1"};
  for (int c = 1; c <= 5; ++c) EXPECT_EQ(d.cell(2, 2, c), reference[c - 1]) << c;
  EXPECT_EQ(d.cell(3, 1, 2), "20");
  EXPECT_EQ(d.cell(3, 1, 5), "50");
  EXPECT_EQ(d.cell(3, 2, 2), "1013,25");
  EXPECT_EQ(d.cell(3, 2, 3), "мбар (гПа)");
  // Signatures: the 7th table once the standard-deviation line is gone.
  ASSERT_EQ(d.tables(), 7);
  EXPECT_EQ(d.cell(7, 1, 3), "Иванов И. И.");
  EXPECT_EQ(d.cell(7, 2, 1), "Version 1.0.43C");
  EXPECT_EQ(d.cell(7, 3, 2), "11.12.2026");
}

TEST_F(BuildTest, ResultsRowsFollowTheHeadingRowWithTheMethod) {
  SavedDocument d = build();
  ASSERT_EQ(d.rows(kResults), 4);
  EXPECT_EQ(d.cell(kResults, 1, 3), "Метод ABA");
  EXPECT_EQ(d.cell(kResults, 1, 5), "Показания, г");
  for (int i = 1; i <= 3; ++i)
    for (int c = 0; c < 9; ++c)
      EXPECT_EQ(d.cell(kResults, i + 1, c + 1), results_.cell(c, i)) << i << "," << c;
}

TEST_F(BuildTest, MethodCellAndSchemeTexts) {
  struct Case {
    bool group, aba;
    int load, cycles, weights;
    const char *method, *scheme, *cycles_text;
  };
  const Case cases[] = {
      {false, true, 1, 2, 3, "Метод ABA", "ABA", "2"},
      {false, false, 1, 3, 2, "Метод ABBA", "ABBA", "3"},
      {true, false, 3, 4, 5, "Метод ABA", "A3BA", "1"},
      {true, true, 10, 1, 10, "Метод ABA", "A10BA", "1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scheme);
    in_.params.GroupCycle = c.group;
    in_.params.MethodABA = c.aba;
    in_.params.LoadInCycle = c.load;
    in_.params.CyclesToWeight = c.cycles;
    in_.params.WeightCount = c.weights;
    SavedDocument d = build();
    EXPECT_EQ(d.cell(kResults, 1, 3), c.method);
    EXPECT_EQ(d.cell(4, 1, 3), std::to_string(c.weights));
    EXPECT_EQ(d.cell(4, 2, 3), c.scheme);
    EXPECT_EQ(d.cell(4, 3, 3), c.cycles_text);
  }
}

TEST_F(BuildTest, HeadingNamesOneWeightOrSeveralAndTheBalance) {
  for (int weights : {1, 2}) {
    in_.params.WeightCount = weights;
    SavedDocument d = build();
    EXPECT_EQ(d.paragraph(3), std::string("определения массы при поверке/калибровке ") +
                                  (weights > 1 ? "гирь " : "гири "));
    EXPECT_EQ(d.paragraph(4), "на весах CP224S № 21905123");
  }
}

TEST_F(BuildTest, AirDensityWithEitherPressureUnit) {
  struct Case {
    const char *t, *h, *p;
    PressureUnit unit;
    const char* unit_text;
    const char* density;
  };
  // Expected values computed apart from the program, from the single
  // precision readings of the fields.
  const Case cases[] = {
      {"20", "50", "1013,25", PressureUnit::HPa, "мбар (гПа)", "1,199260"},
      {"20", "50", "760", PressureUnit::MmHg, "мм рт.ст.", "1,199260"},
      {"21,3", "45.5", "755,2", PressureUnit::MmHg, "мм рт.ст.", "1,186470"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.p);
    in_.params.Temperature = c.t;
    in_.params.Humidity = c.h;
    in_.params.Pressure = c.p;
    in_.params.PressureUnitIndex = c.unit;
    in_.params.PressureUnitText = c.unit_text;
    SavedDocument d = build();
    EXPECT_EQ(d.cell(3, 2, 3), c.unit_text);
    EXPECT_EQ(d.cell(3, 2, 5), c.density);
  }
  EXPECT_EQ(DensityText(1.19925954), "1,199260");
  EXPECT_EQ(DensityText(0.0123456789), "0,012346");
}

TEST_F(BuildTest, EmptyAmbientFieldsLeaveTheTemplateCells) {
  struct Case {
    const char *t, *h, *p;
    bool pressure_written, density_written;
  };
  const Case cases[] = {
      {"", "50", "1013", true, false},   {"20", "", "1013", true, false},
      {"0", "50", "1013", true, false},  {"20", "0,0", "1013", true, false},
      {"20", "50", "", false, false},    {"", "", "", false, false},
      {"  ", "50", "1013", true, false}, {"20", "50", "1013", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.t) + "|" + c.h + "|" + c.p);
    in_.params.Temperature = c.t;
    in_.params.Humidity = c.h;
    in_.params.Pressure = c.p;
    SavedDocument d = build();
    EXPECT_EQ(d.cell(3, 1, 2),
              std::string(c.t).find_first_not_of(' ') == std::string::npos ? "" : c.t);
    EXPECT_EQ(d.cell(3, 1, 5), c.h);
    EXPECT_EQ(d.cell(3, 2, 2), c.pressure_written ? c.p : "");
    EXPECT_EQ(d.cell(3, 2, 3), c.pressure_written ? "мбар (гПа)" : "");
    EXPECT_EQ(d.cell(3, 2, 5).empty(), !c.density_written);
  }
}

TEST_F(BuildTest, FieldThatIsNoNumberFailsTheBuild) {
  in_.params.Humidity = "влажно";
  const BuildResult r = BuildProtocol(in_);
  EXPECT_FALSE(r.ok());
  EXPECT_NE(r.error.find("Влажность"), std::string::npos) << r.error;
}

TEST_F(BuildTest, StepTimeSpreadsRoundedToTenths) {
  struct Case {
    double place_max, place_min, remove_max, remove_min;  // seconds
    const char *place, *remove;
  };
  const Case cases[] = {
      {12.34, 10.0, 5.06, 5.0, "2,3", "0,1"},
      {20.25, 10.0, 7.04, 7.0, "10,3", "0"},
      {3.0, 3.0, 61.5, 1.0, "0", "60,5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.place);
    in_.reportPlaceMax = Seconds(c.place_max);
    in_.reportPlaceMin = Seconds(c.place_min);
    in_.reportRemoveMax = Seconds(c.remove_max);
    in_.reportRemoveMin = Seconds(c.remove_min);
    SavedDocument d = build();
    EXPECT_EQ(d.cell(6, 1, 2), c.place);
    EXPECT_EQ(d.cell(6, 2, 2), c.remove);
  }
  // No step timed: the start values give a spread of 0.
  in_ = ProtocolInputs{in_.params,
                       &results_,
                       1,
                       "CP224S",
                       1,
                       {},
                       4,
                       0,
                       10000000,
                       0,
                       10000000,
                       kToday,
                       LIBRATO_TEST_BUILD_TEMPLATE};
  SavedDocument d = build();
  EXPECT_EQ(d.cell(6, 1, 2), "0");
  EXPECT_EQ(d.cell(6, 2, 2), "0");
  EXPECT_FLOAT_EQ(SpanSeconds(Seconds(3723.5)), 3723.5f);
}

TEST_F(BuildTest, StandardDeviationModeBlanksTheMassColumnsAndFillsTable7) {
  in_.params.DetermineSKO = true;
  in_.params.WeightCount = 10;
  in_.bCount = 2;
  in_.balanceSko = 0.000123;
  SavedDocument d = build();
  EXPECT_EQ(d.paragraph(3), "определение СКО весов CP224S № 21905123");
  EXPECT_EQ(d.paragraph(4), "Заказчик:") << "no balance line in this mode";
  ASSERT_EQ(d.tables(), 8);
  EXPECT_EQ(d.cell(7, 1, 1), "СКО =");
  EXPECT_EQ(d.cell(7, 1, 2), "0,00012");
  EXPECT_EQ(d.cell(7, 1, 3), "г");
  for (int i = 1; i <= 3; ++i) {
    for (int c = 1; c <= 6; ++c) EXPECT_EQ(d.cell(kResults, i + 1, c), results_.cell(c - 1, i));
    for (int c = 7; c <= 9; ++c) EXPECT_EQ(d.cell(kResults, i + 1, c), "") << i << "," << c;
  }
  EXPECT_EQ(d.cell(kResults, 1, 8), "Масса, г\n(не определяется)");
  EXPECT_EQ(d.cell(kResults, 1, 6), "Xi (Xj), г");
  EXPECT_EQ(d.cell(8, 1, 3), "Иванов И. И.");
  EXPECT_EQ(d.cell(8, 2, 1), "Version 1.0.43C");
}

TEST_F(BuildTest, StandardDeviationModeWithTooFewReadingsKeepsTheColumns) {
  in_.params.DetermineSKO = true;
  in_.bCount = 1;
  in_.balanceSko = 0.5;
  SavedDocument d = build();
  EXPECT_EQ(d.tables(), 7);
  EXPECT_EQ(d.cell(kResults, 4, 8), "200,00035");
  EXPECT_EQ(d.cell(kResults, 1, 8), "Масса, г");
}

TEST_F(BuildTest, EmptyResultsTableStillGivesOneEmptyRow) {
  ResultsTable empty;
  in_.results = &empty;
  SavedDocument d = build();
  ASSERT_EQ(d.rows(kResults), 2);
  for (int c = 1; c <= 9; ++c) EXPECT_EQ(d.cell(kResults, 2, c), "");
}

TEST_F(BuildTest, DocumentIsProtectedAndNoLongerATemplate) {
  SavedDocument d = build();
  testing::Xml settings(d.parts.at("word/settings.xml"));
  pugi::xml_node dp = settings.one("//w:documentProtection");
  ASSERT_TRUE(dp);
  EXPECT_STREQ(dp.attribute("w:edit").value(), "forms");
  EXPECT_STREQ(dp.next_sibling().name(), "w:defaultTabStop");
  EXPECT_NE(d.parts.at("[Content_Types].xml").find("document.main+xml"), std::string::npos);
  EXPECT_EQ(d.parts.at("[Content_Types].xml").find("template.main+xml"), std::string::npos);
}

TEST_F(BuildTest, MissingOrDamagedTemplateReportsItsCauseAndLeavesTheResults) {
  const std::string damaged = dir_.file("ABA.dotx");
  ASSERT_TRUE(WriteFileAtomically(damaged, "PK\x03\x04 truncated").ok);
  for (const std::string& path : {dir_.file("missing.dotx"), damaged}) {
    SCOPED_TRACE(path);
    in_.templatePath = path;
    const BuildResult r = BuildProtocol(in_);
    EXPECT_FALSE(r.ok());
    EXPECT_NE(r.error.find(path), std::string::npos) << r.error;
  }
  EXPECT_EQ(results_.rowCount(), 4);
  EXPECT_EQ(results_.cell(4, 3), "200,0002");
}

TEST(TemplateLookup, StartFolderFirstThenTheProgramsCopy) {
  TempDir dir;
  EXPECT_NE(ProtocolTemplatePath(dir.path.string()), (dir.path / "Templates/ABA.dotx").string());
  std::filesystem::create_directories(dir.path / "Templates");
  ASSERT_TRUE(WriteFileAtomically(dir.file("Templates/ABA.dotx"), "x").ok);
  EXPECT_EQ(ProtocolTemplatePath(dir.path.string()), (dir.path / "Templates/ABA.dotx").string());
}

}  // namespace
}  // namespace librato
