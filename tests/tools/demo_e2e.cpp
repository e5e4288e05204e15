// Whole verification runs through librato-demo: the real window, serial
// channel, acquisition thread and step machine against the simulated balance
// on a pseudo-terminal, in real time. Each test is one short run; CTest may
// run them side by side (each demo has its own settings and port links).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "link/mass_text.h"
#include "link/trace.h"
#include "procedure/plan.h"
#include "protocol/docx_document.h"

extern char** environ;

namespace librato {
namespace {

namespace fs = std::filesystem;

struct Table {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
  std::string sko;
  std::string end;
};

struct DemoRun {
  int status = -1;
  Table table;
  std::string output;  // what the demo wrote on its standard error
};

std::vector<std::string> Split(const std::string& line, char sep) {
  std::vector<std::string> out;
  std::string cell;
  std::stringstream in(line);
  while (std::getline(in, cell, sep)) out.push_back(cell);
  if (!line.empty() && line.back() == sep) out.push_back("");
  return out;
}

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/librato-demo-test-XXXXXX";
    dir_ = ::mkdtemp(pattern);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  fs::path path(const std::string& name) const { return dir_ / name; }

 private:
  fs::path dir_;
};

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

DemoRun RunDemo(const TempDir& dir, std::vector<std::string> args) {
  const std::string results = dir.path("results.tsv").string();
  const std::string errors = dir.path("stderr.txt").string();
  args.insert(args.begin(), LIBRATO_DEMO_PROGRAM);
  args.push_back("--results");
  args.push_back(results);
  // A bound on the whole run; a demo that hangs ends as stopped.
  args.push_back("--time-limit");
  args.push_back("240");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  DemoRun run;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) return run;
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.status = WEXITSTATUS(status);
  run.output = ReadAll(errors);

  std::istringstream in(ReadAll(results));
  std::string line;
  bool first = true;
  while (std::getline(in, line)) {
    if (first) {
      run.table.header = Split(line, '\t');
      first = false;
    } else if (line.rfind("# lblSKO: ", 0) == 0) {
      run.table.sko = line.substr(10);
    } else if (line.rfind("# end: ", 0) == 0) {
      run.table.end = line.substr(7);
    } else {
      run.table.rows.push_back(Split(line, '\t'));
    }
  }
  return run;
}

enum Col { kNo = 0, kTime, kLabel, kWeightNo, kReading, kDiff, kMean, kMass, kDeviation };

// The A/B letters of the plan's measured steps, in order.
std::string PlanLetters(const PlanInputs& in) {
  Trace trace;
  const std::optional<Plan> plan = BuildPlan(in, trace);
  std::string letters;
  for (ProcedureStep s : plan.value()) {
    if (s == ProcedureStep::WaitForA) letters += 'A';
    if (s == ProcedureStep::WaitForB) letters += 'B';
  }
  return letters;
}

std::string RowLetters(const Table& t) {
  std::string letters;
  for (const auto& row : t.rows) letters += row.size() > kLabel ? row[kLabel].substr(0, 1) : "?";
  return letters;
}

// Every test weight's mass cell within `tolerance` of its true mass; returns
// the number of mass cells checked.
int CheckMasses(const Table& t, const PlanInputs& in, const std::vector<double>& truth,
                double tolerance) {
  int b = 0;
  int checked = 0;
  for (const auto& row : t.rows) {
    if (row.size() <= kMass || row[kLabel].empty() || row[kLabel][0] != 'B') continue;
    ++b;
    if (row[kMass].empty()) continue;
    // With several cycles per weight the cell also carries the mean's
    // standard deviation after the mass.
    double mass = 0;
    EXPECT_TRUE(ParseDecimal(row[kMass].substr(0, row[kMass].find(' ')), mass)) << row[kMass];
    const int w = TestWeightOfB(b, in);
    EXPECT_NEAR(mass, truth.at(w - 1), tolerance) << "B row " << b << ", weight " << w;
    ++checked;
  }
  return checked;
}

void ExpectFinishedAsPlanned(const DemoRun& run, const PlanInputs& in) {
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.table.end, "finished") << run.output;
  ASSERT_EQ(run.table.header.size(), 9u);
  EXPECT_EQ(run.table.header[kMass], "Масса, г");
  EXPECT_EQ(RowLetters(run.table), PlanLetters(in));
  for (std::size_t r = 0; r < run.table.rows.size(); ++r)
    EXPECT_EQ(run.table.rows[r][kNo], std::to_string(r + 1));
}

PlanInputs Plan(int weights, bool abba, bool group, int count, bool depend, bool sko = false) {
  PlanInputs in;
  in.WeightCount = weights;
  in.MethodABA = !abba;
  in.GroupCycle = group;
  in.LoadInCycle = group ? count : 1;
  in.CyclesToWeight = group ? 1 : count;
  in.Depend = depend;
  in.DetermineSKO = sko;
  return in;
}

constexpr double kTolerance = 0.0004;  // a few display steps of a 4-decimal balance

TEST(DemoEndToEnd, IndividualAbaDependentWithNumbersVoicedAndProtocol) {
  TempDir dir;
  const std::string docx = dir.path("protocol.docx").string();
  const DemoRun run =
      RunDemo(dir, {"--port", "11", "--weights", "2", "--individual", "1", "--tests",
                    "100.0012,99.9991", "--numbers", "N-17,Z5", "--voice", "--customer",
                    "Лаборатория массы", "--protocol-number", "42", "--protocol-out", docx});
  const PlanInputs in = Plan(2, false, false, 1, true);
  ExpectFinishedAsPlanned(run, in);
  EXPECT_EQ(CheckMasses(run.table, in, {100.0012, 99.9991}, kTolerance), 2);
  // The numbers typed into the numbers dialog stand beside their B rows.
  std::vector<std::string> numbers;
  for (const auto& row : run.table.rows)
    if (row[kLabel][0] == 'B') numbers.push_back(row[kWeightNo]);
  EXPECT_EQ(numbers, (std::vector<std::string>{"N-17", "Z5"}));

  ASSERT_TRUE(fs::is_regular_file(docx));
  DocxDocument doc = DocxDocument::Open(docx);
  const std::string body = doc.partXml("word/document.xml");
  EXPECT_NE(body.find("Лаборатория массы"), std::string::npos);
  for (const auto& row : run.table.rows) {
    if (row[kMass].empty()) continue;
    EXPECT_NE(body.find(row[kMass]), std::string::npos) << row[kMass];
  }
}

TEST(DemoEndToEnd, GroupAbbaIndependentOnProtocol2) {
  TempDir dir;
  const DemoRun run =
      RunDemo(dir, {"--port", "12", "--protocol", "2", "--weights", "2", "--method", "ABBA",
                    "--group", "2", "--independent", "--tests", "100.0021,99.9987"});
  const PlanInputs in = Plan(2, true, true, 2, false);
  ExpectFinishedAsPlanned(run, in);
  EXPECT_GT(CheckMasses(run.table, in, {100.0021, 99.9987}, kTolerance), 0);
}

// Corrupted and junk lines on protocol 2 and lost bytes on protocol 1 cost
// time, never a row or a wrong mass.
TEST(DemoEndToEnd, LineFaultsKeepTheRowsAndMasses) {
  TempDir dir;
  const DemoRun run = RunDemo(
      dir, {"--port", "13", "--protocol", "2", "--corrupt-rate", "0.05", "--garbage-rate", "0.05",
            "--weights", "2", "--group", "2", "--tests", "100.0008,99.9995", "--seed", "7"});
  const PlanInputs in = Plan(2, false, true, 2, true);
  ExpectFinishedAsPlanned(run, in);
  EXPECT_GT(CheckMasses(run.table, in, {100.0008, 99.9995}, kTolerance), 0);
}

TEST(DemoEndToEnd, DroppedBytesOnProtocol1KeepTheRowsAndMasses) {
  TempDir dir;
  const DemoRun run =
      RunDemo(dir, {"--port", "14", "--drop-rate", "0.02", "--weights", "1", "--individual", "2",
                    "--method", "ABBA", "--tests", "99.9982", "--seed", "3"});
  const PlanInputs in = Plan(1, true, false, 2, true);
  ExpectFinishedAsPlanned(run, in);
  EXPECT_EQ(CheckMasses(run.table, in, {99.9982}, kTolerance), 1);
}

TEST(DemoEndToEnd, StandardDeviationModeWeighsTheReferenceAgainstItself) {
  TempDir dir;
  const DemoRun run = RunDemo(dir, {"--port", "15", "--sko", "--weights", "2", "--noise", "1"});
  const PlanInputs in = Plan(2, false, false, 1, true, true);
  ExpectFinishedAsPlanned(run, in);
  EXPECT_FALSE(run.table.sko.empty());
  // The reference against itself: every difference within the noise.
  for (const auto& row : run.table.rows) {
    if (row[kLabel][0] != 'B' || row[kDiff].empty()) continue;
    double d = 1;
    ASSERT_TRUE(ParseDecimal(row[kDiff], d)) << row[kDiff];
    EXPECT_LT(std::fabs(d), kTolerance);
  }
}

TEST(DemoEndToEnd, DisconnectEndsWithTheLostLinkAndKeepsTheRows) {
  TempDir dir;
  const DemoRun run = RunDemo(dir, {"--port", "16", "--weights", "3", "--disconnect-after", "20"});
  EXPECT_NE(run.status, 0);
  EXPECT_EQ(run.table.end, "link-lost") << run.output;
  EXPECT_NE(run.output.find("Нет связи с весами"), std::string::npos);
  const std::string planned = PlanLetters(Plan(3, false, false, 1, true));
  const std::string got = RowLetters(run.table);
  EXPECT_FALSE(got.empty());
  EXPECT_LT(got.size(), planned.size());
  EXPECT_EQ(planned.substr(0, got.size()), got);
}

}  // namespace
}  // namespace librato
