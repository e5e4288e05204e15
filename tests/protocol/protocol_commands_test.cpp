// Save, print and clear through scripted dialogs, a fake opener, printer and
// window.

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>

#include "protocol/process_runner.h"
#include "protocol/protocol_commands.h"
#include "protocol_test_support.h"
#include "results/results_table.h"

namespace librato {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

constexpr DateTime kToday = 46367.6;  // 11.12.2026

const char* kSaveQuestion = "Протокол не был сохранен. Сохранить?";
const char* kDeleteQuestion = "Вы уверены, что хотите удалить результаты?";
const char* kNumbersQuestion = "Очистить номера гирь?";

struct FakeDialogs : OperatorDialogs {
  struct Shown {
    std::string text, caption;
    int flags;
  };
  std::deque<Answer> answers;  // for message(), in order
  std::vector<Shown> messages;
  std::vector<std::string> errors;
  std::optional<std::string> save_answer;
  std::vector<std::string> save_defaults;

  Answer message(const std::string& text, const std::string& caption, int flags) override {
    messages.push_back({text, caption, flags});
    if (answers.empty()) return Answer::No;
    const Answer a = answers.front();
    answers.pop_front();
    return a;
  }
  void error(const std::string& text) override { errors.push_back(text); }
  std::optional<std::string> saveFile(const std::string&, const std::string& default_path,
                                      const std::string&) override {
    save_defaults.push_back(default_path);
    return save_answer;
  }
  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (const auto& m : messages) out.push_back(m.text);
    return out;
  }
};

struct FakeOpener : DocumentOpener {
  std::vector<std::string> opened;
  std::string fail_with;
  std::string open(const std::string& path) override {
    opened.push_back(path);
    return fail_with;
  }
};

struct FakePrinter : ProtocolPrinter {
  PrintOutcome outcome;
  std::vector<std::string> printed;
  bool file_was_a_document = false;
  std::string folder;
  PrintOutcome print(const std::string& docx, const std::string&) override {
    printed.push_back(docx);
    folder = fs::path(docx).parent_path().string();
    file_was_a_document = testing::ReadZip(docx).count("word/document.xml") == 1;
    return outcome;
  }
};

struct FakeHost : ProtocolHost {
  ResultsTable table;
  int stops = 0, notifies = 0, hint_clears = 0, count_resets = 0, number_clears = 0;
  bool numbers = false;
  std::string template_path = LIBRATO_TEST_BUILD_TEMPLATE;

  void StopRun() override { ++stops; }
  void PlayNotify() override { ++notifies; }
  ResultsTable& resultsTable() override { return table; }
  void clearHints() override { ++hint_clears; }
  void resetReadingCount() override { ++count_resets; }
  bool hasWeightNumbers() override { return numbers; }
  void clearWeightNumbers() override {
    ++number_clears;
    numbers = false;
  }
  ProtocolInputs protocolInputs() override {
    ProtocolInputs in;
    in.results = &table;
    in.templatePath = template_path;
    in.params.ProtocolNumber = "17/2";
    in.params.WeightCount = 1;
    in.params.GroupCycle = false;
    in.params.Customer = "Заказчик";
    in.balanceModel = "CP224S";
    in.balanceSerial = 7;
    in.decimals = 4;
    in.today = kToday;
    return in;
  }
};

class CommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_.table.setRowCount(3);
    const char* a[] = {"1", "10:00:00", "A1", "", "1,0000", "", "", "", ""};
    const char* b[] = {"2", "10:00:30", "B1", "", "1,0001", "", "", "", ""};
    for (int c = 0; c < 9; ++c) {
      host_.table.setCell(c, 1, a[c]);
      host_.table.setCell(c, 2, b[c]);
    }
    commands_.setSaveFolder(dir_.path.string());
    dialogs_.save_answer = dir_.file("saved.docx");
  }
  bool resultsIntact() const {
    return host_.table.rowCount() == 3 && host_.table.cell(4, 2) == "1,0001";
  }
  TempDir dir_;
  FakeHost host_;
  FakeDialogs dialogs_;
  FakeOpener opener_;
  FakePrinter printer_;
  ProtocolCommands commands_{host_, dialogs_, opener_, printer_};
};

TEST_F(CommandsTest, SaveStopsWritesOpensAndMarksSaved) {
  commands_.btnSaveClick();
  EXPECT_EQ(host_.stops, 1);
  ASSERT_EQ(dialogs_.save_defaults.size(), 1u);
  EXPECT_EQ(dialogs_.save_defaults[0], dir_.file("Протокол 17_2 11.12.2026.docx"));
  EXPECT_TRUE(dialogs_.errors.empty());
  ASSERT_EQ(opener_.opened, std::vector<std::string>{dir_.file("saved.docx")});
  EXPECT_EQ(testing::ReadZip(dir_.file("saved.docx")).count("word/document.xml"), 1u);
  EXPECT_TRUE(commands_.protocolSaved());

  // The next save starts in the folder of this one; a name without the
  // extension gets it.
  fs::create_directories(dir_.path / "sub");
  dialogs_.save_answer = dir_.file("sub/second");
  commands_.btnSaveClick();
  EXPECT_EQ(fs::path(dialogs_.save_defaults[1]).parent_path(), dir_.path);
  EXPECT_TRUE(fs::exists(dir_.path / "sub" / "second.docx"));
  EXPECT_EQ(commands_.saveFolder(), (dir_.path / "sub").string());
  commands_.runStarted();
  EXPECT_FALSE(commands_.protocolSaved());
}

TEST_F(CommandsTest, CancelledSaveDialogEndsQuietly) {
  dialogs_.save_answer.reset();
  commands_.btnSaveClick();
  EXPECT_TRUE(dialogs_.errors.empty());
  EXPECT_TRUE(opener_.opened.empty());
  EXPECT_FALSE(commands_.protocolSaved());
  EXPECT_EQ(dir_.names().size(), 0u);
}

TEST_F(CommandsTest, FailedBuildOrSaveReportsAndMarksNothing) {
  struct Case {
    const char* name;
    std::string template_path, target;
    const char* cause;  // a part of the error text
  };
  const Case cases[] = {
      {"missing template", dir_.file("none.dotx"), dir_.file("a.docx"), "none.dotx"},
      {"folder missing", LIBRATO_TEST_BUILD_TEMPLATE, dir_.file("gone/a.docx"), "gone/a.docx"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dialogs_.errors.clear();
    host_.template_path = c.template_path;
    dialogs_.save_answer = c.target;
    commands_.btnSaveClick();
    ASSERT_EQ(dialogs_.errors.size(), 1u);
    EXPECT_NE(dialogs_.errors[0].find(c.cause), std::string::npos) << dialogs_.errors[0];
    EXPECT_FALSE(commands_.protocolSaved());
    EXPECT_TRUE(opener_.opened.empty());
    EXPECT_TRUE(resultsIntact());
    EXPECT_EQ(dir_.names().size(), 0u) << "no partial file";
  }
  // A failed build asks nowhere to save.
  EXPECT_EQ(dialogs_.save_defaults.size(), 1u);
}

TEST_F(CommandsTest, SavedFileThatCannotBeOpenedStillCountsAsSaved) {
  opener_.fail_with = "не установлена программа xdg-open";
  commands_.btnSaveClick();
  EXPECT_TRUE(commands_.protocolSaved());
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_NE(dialogs_.messages[0].text.find("xdg-open"), std::string::npos);
  EXPECT_EQ(dialogs_.messages[0].flags, kMsgOkWarning);
}

TEST_F(CommandsTest, PrintHandsABuiltDocumentToThePrinterAndCleansUp) {
  printer_.outcome = {true, "office-12", ""};
  commands_.btnPrintClick();
  EXPECT_EQ(host_.stops, 1);
  ASSERT_EQ(printer_.printed.size(), 1u);
  EXPECT_TRUE(printer_.file_was_a_document);
  EXPECT_FALSE(fs::exists(printer_.folder)) << "temporary folder removed";
  EXPECT_TRUE(dialogs_.errors.empty());
  EXPECT_TRUE(dialogs_.save_defaults.empty());
  EXPECT_FALSE(commands_.protocolSaved()) << "printing does not mark the protocol saved";
}

TEST_F(CommandsTest, PrintFailureNamesItsCause) {
  printer_.outcome = {false, "",
                      "не задан принтер по умолчанию (lp: Error - No default destination.)"};
  commands_.btnPrintClick();
  ASSERT_EQ(dialogs_.errors.size(), 1u);
  EXPECT_NE(dialogs_.errors[0].find("принтер по умолчанию"), std::string::npos);
  EXPECT_FALSE(fs::exists(printer_.folder));

  // A failed build never reaches the printer.
  dialogs_.errors.clear();
  host_.template_path = dir_.file("none.dotx");
  commands_.btnPrintClick();
  EXPECT_EQ(printer_.printed.size(), 1u);
  ASSERT_EQ(dialogs_.errors.size(), 1u);
  EXPECT_NE(dialogs_.errors[0].find("none.dotx"), std::string::npos);
}

TEST_F(CommandsTest, PrintInThreeStepsForAWorkerThread) {
  printer_.outcome = {true, "office-3", ""};
  std::optional<PrintJob> job = commands_.beginPrint();
  ASSERT_TRUE(job);
  EXPECT_TRUE(fs::exists(job->docxPath()));
  PrintOutcome outcome;
  std::thread worker([&] { outcome = ProtocolCommands::runPrint(printer_, *job); });
  worker.join();
  EXPECT_TRUE(outcome.printed);
  const std::string folder = job->folder();
  commands_.endPrint(std::move(*job), outcome);
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_TRUE(dialogs_.errors.empty());
}

TEST_F(CommandsTest, ClearOnAnEmptyTableDoesNothing) {
  host_.table.clear();
  commands_.btnClearClick();
  EXPECT_EQ(host_.notifies, 0);
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_EQ(host_.hint_clears + host_.count_resets, 0);
}

TEST_F(CommandsTest, ClearAfterSaveAsksOnlyTheDeleteAndNumbersQuestions) {
  commands_.btnSaveClick();
  host_.numbers = true;
  dialogs_.answers = {Answer::Yes, Answer::Yes};
  commands_.btnClearClick();
  EXPECT_EQ(host_.notifies, 1);
  EXPECT_EQ(dialogs_.texts(), (std::vector<std::string>{kDeleteQuestion, kNumbersQuestion}));
  EXPECT_EQ(dialogs_.messages[0].caption, "Очистка окна");
  EXPECT_EQ(dialogs_.messages[1].caption, "Удаление данных");
  for (const auto& m : dialogs_.messages) EXPECT_EQ(m.flags, kMsgYesNoQuestion);
  EXPECT_EQ(host_.table.rowCount(), 2);
  EXPECT_FALSE(host_.table.hasReading());
  EXPECT_EQ(host_.hint_clears, 1);
  EXPECT_EQ(host_.count_resets, 1);
  EXPECT_EQ(host_.number_clears, 1);
  EXPECT_TRUE(commands_.protocolSaved()) << "clearing keeps the mark";
}

TEST_F(CommandsTest, ClearAfterPrintOnlyOffersToSave) {
  printer_.outcome = {true, "office-1", ""};
  commands_.btnPrintClick();
  dialogs_.answers = {Answer::No, Answer::Yes};
  commands_.btnClearClick();
  EXPECT_EQ(dialogs_.texts(), (std::vector<std::string>{kSaveQuestion, kDeleteQuestion}));
  EXPECT_EQ(dialogs_.messages[0].caption, "Очистка окна");
  EXPECT_EQ(host_.table.rowCount(), 2);
  EXPECT_FALSE(commands_.protocolSaved());
  EXPECT_EQ(host_.number_clears, 0) << "no numbers, no numbers question";
}

TEST_F(CommandsTest, NoToDeleteAfterYesToSaveKeepsTheResultsButMarksSaved) {
  host_.numbers = true;
  dialogs_.answers = {Answer::Yes, Answer::No};
  commands_.btnClearClick();
  EXPECT_EQ(dialogs_.texts(), (std::vector<std::string>{kSaveQuestion, kDeleteQuestion}));
  EXPECT_EQ(opener_.opened.size(), 1u);
  EXPECT_TRUE(commands_.protocolSaved());
  EXPECT_TRUE(resultsIntact());
  EXPECT_EQ(host_.hint_clears + host_.count_resets + host_.number_clears, 0);
}

TEST_F(CommandsTest, ClearStopsWhenTheOfferedSaveFails) {
  host_.template_path = dir_.file("none.dotx");
  dialogs_.answers = {Answer::Yes, Answer::Yes};
  commands_.btnClearClick();
  EXPECT_EQ(dialogs_.texts(), std::vector<std::string>{kSaveQuestion});
  EXPECT_EQ(dialogs_.errors.size(), 1u);
  EXPECT_FALSE(commands_.protocolSaved());
  EXPECT_TRUE(resultsIntact());
}

TEST_F(CommandsTest, NumbersStayWhenTheOperatorSaysNo) {
  commands_.btnSaveClick();
  host_.numbers = true;
  dialogs_.answers = {Answer::Yes, Answer::No};
  commands_.btnClearClick();
  EXPECT_EQ(host_.table.rowCount(), 2);
  EXPECT_EQ(host_.number_clears, 0);
  EXPECT_TRUE(host_.numbers);
}

TEST(DefaultFileName, NumberAndDateWithUnsafeCharactersReplaced) {
  EXPECT_EQ(ProtocolCommands::DefaultFileName("12", kToday), "Протокол 12 11.12.2026.docx");
  EXPECT_EQ(ProtocolCommands::DefaultFileName("", kToday), "Протокол 11.12.2026.docx");
  EXPECT_EQ(ProtocolCommands::DefaultFileName(" a/b:c* ", kToday),
            "Протокол a_b_c_ 11.12.2026.docx");
}

// ---- the real printer with stand-in programs -------------------------------

// A shell script under `dir` named `name`.
std::string Script(const TempDir& dir, const std::string& name, const std::string& body) {
  const std::string path = dir.file(name);
  std::ofstream(path) << "#!/bin/sh\n" << body;
  fs::permissions(path, fs::perms::owner_all);
  return path;
}

// Converts like the office suite does: <outdir>/<stem>.pdf.
const char* kFakeConvert =
    "while [ $# -gt 1 ]; do [ \"$1\" = --outdir ] && out=$2; shift; done\n"
    "f=$(basename \"$1\" .docx); echo '%PDF-1.4' > \"$out/$f.pdf\"\n";

class PrinterTest : public ::testing::Test {
 protected:
  std::string document() {
    const std::string path = dir_.file("protocol.docx");
    std::ofstream(path) << "docx";
    return path;
  }
  TempDir dir_, bin_;
};

TEST_F(PrinterTest, OutcomesOfTheConverterAndTheSpooler) {
  struct Case {
    const char* name;
    std::string soffice, lp;
    bool printed;
    const char* text;  // in the error, or the request id
  };
  const Case cases[] = {
      {"printed", Script(bin_, "so1", kFakeConvert),
       Script(bin_, "lp1", "echo 'request id is office-42 (1 file(s))'\n"), true, "office-42"},
      {"no printer", Script(bin_, "so2", kFakeConvert),
       Script(bin_, "lp2", "echo 'lp: Error - No default destination.' >&2; exit 1\n"), false,
       "не задан принтер по умолчанию"},
      {"job refused", Script(bin_, "so3", kFakeConvert),
       Script(bin_, "lp3", "echo 'lp: The printer or class does not exist.' >&2; exit 1\n"), false,
       "задание печати не принято: lp: The printer or class does not exist."},
      {"no LibreOffice", bin_.file("missing-soffice"), Script(bin_, "lp4", "exit 0\n"), false,
       "не установлен LibreOffice"},
      {"no lp", Script(bin_, "so5", kFakeConvert), bin_.file("missing-lp"), false,
       "не установлена программа печати lp"},
      {"no PDF", Script(bin_, "so6", "exit 0\n"), Script(bin_, "lp6", "exit 0\n"), false,
       "не создал PDF"},
      {"converter fails",
       Script(bin_, "so7", "echo 'Error: source file could not be loaded' >&2; exit 1\n"),
       Script(bin_, "lp7", "exit 0\n"), false, "source file could not be loaded"},
      {"spooler silent", Script(bin_, "so8", kFakeConvert), Script(bin_, "lp8", "exit 0\n"), false,
       "не подтвердила"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LibreOfficePrinter::Options o;
    o.soffice = c.soffice;
    o.lp = c.lp;
    LibreOfficePrinter printer(o);
    const PrintOutcome out = printer.print(document(), "Протокол № 1");
    EXPECT_EQ(out.printed, c.printed);
    EXPECT_NE((c.printed ? out.requestId : out.error).find(c.text), std::string::npos)
        << out.error << out.requestId;
  }
}

TEST_F(PrinterTest, ConverterThatHangsIsStoppedAtTheLimit) {
  LibreOfficePrinter::Options o;
  o.soffice = Script(bin_, "hang", "sleep 30\n");
  o.convertTimeoutMs = 300;
  const PrintOutcome out = LibreOfficePrinter(o).print(document(), "t");
  EXPECT_FALSE(out.printed);
  EXPECT_NE(out.error.find("не преобразовал"), std::string::npos) << out.error;
}

TEST_F(PrinterTest, RealSpoolerWithoutADefaultPrinter) {
  const ProcessResult lpstat = RunProcess({"lpstat", "-d"}, 10000);
  if (!lpstat.started || lpstat.out.find("no system default destination") == std::string::npos)
    GTEST_SKIP() << "needs lp with no default printer (so that nothing really prints)";
  LibreOfficePrinter::Options o;
  o.soffice = Script(bin_, "so", kFakeConvert);
  const PrintOutcome out = LibreOfficePrinter(o).print(document(), "t");
  EXPECT_FALSE(out.printed);
  EXPECT_NE(out.error.find("принтер"), std::string::npos) << out.error;
}

}  // namespace
}  // namespace librato

namespace librato {
namespace {

// The desktop opener with stand-ins for xdg-open found through PATH.
TEST(DesktopOpenerTest, HandsTheFileOverOrSaysWhyNot) {
  TempDir bin;
  const std::string saved_path = std::getenv("PATH") ? std::getenv("PATH") : "";
  struct Case {
    const char* script;  // nullptr: no xdg-open at all
    const char* error;   // part of the error; empty: handed over
  };
  const Case cases[] = {
      {"echo \"$1\" > \"${0%/*}/opened\"\n", ""},  // no other programs on PATH
      {"echo 'no method available for opening' >&2; exit 3\n",
       "кодом 3: no method available for opening"},
      {nullptr, "не установлена программа xdg-open"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    fs::remove(bin.path / "xdg-open");
    if (c.script) Script(bin, "xdg-open", c.script);
    setenv("PATH", bin.path.c_str(), 1);
    const std::string why = DesktopOpener().open("/tmp/protocol.docx");
    setenv("PATH", saved_path.c_str(), 1);
    if (*c.error) {
      EXPECT_NE(why.find(c.error), std::string::npos) << why;
    } else {
      EXPECT_EQ(why, "");
      EXPECT_EQ(testing::ReadFile(bin.file("opened")), "/tmp/protocol.docx\n");
    }
  }
}

}  // namespace
}  // namespace librato
