// Builds and saves the protocol of the largest run (4000 results rows) from
// the project's template and prints the median time. Also writes the peer's
// input: the same template with a table loop in the results table, and the
// same rows as JSON.
//
//   bench_protocol <work dir> [rows] [repetitions]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "link/clock.h"
#include "protocol/protocol_builder.h"
#include "results/results_table.h"

using namespace librato;

namespace {

// Rows as a long individual ABA run writes them: A, B, A, B, ...
void FillRun(ResultsTable& t, int rows) {
  t.setRowCount(rows + 1);
  int a = 0, b = 0;
  for (int i = 1; i <= rows; ++i) {
    const bool is_a = i % 2 == 1;
    const int secs = 36000 + 31 * i;
    char time[16], value[32];
    std::snprintf(time, sizeof time, "%d:%02d:%02d", secs / 3600, secs / 60 % 60, secs % 60);
    std::snprintf(value, sizeof value, "200,%04d", (i * 37) % 10000);
    t.setCell(0, i, std::to_string(i));
    t.setCell(1, i, time);
    t.setCell(2, i, (is_a ? "A" : "B") + std::to_string(is_a ? ++a : ++b));
    t.setCell(3, i, is_a ? "Э-1" : std::to_string(b));
    t.setCell(4, i, value);
    if (is_a && i > 1) {
      t.setCell(5, i, "0,00025");
      t.setCell(6, i, "0,000250");
      t.setCell(7, i, "200,00037");
      t.setCell(8, i, "0,00037");
    }
  }
}

std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <work dir> [rows] [repetitions]\n", argv[0]);
    return 2;
  }
  const std::string work = argv[1];
  const int rows = argc > 2 ? std::atoi(argv[2]) : 4000;
  const int reps = argc > 3 ? std::atoi(argv[3]) : 7;

  ResultsTable results;
  FillRun(results, rows);
  ProtocolInputs in;
  in.results = &results;
  in.templatePath = LIBRATO_BENCH_TEMPLATE;
  in.params.WeightCount = rows / 2;
  in.params.GroupCycle = false;
  in.params.Customer = "ООО «Весы и гири»";
  in.params.Company = "Лаборатория массы";
  in.params.Tester = "Иванов И. И.";
  in.params.ProtocolNumber = "4000";
  in.params.Temperature = "20";
  in.params.Humidity = "50";
  in.params.Pressure = "760";
  in.balanceModel = "CP224S";
  in.balanceSerial = 1234;
  in.decimals = 4;
  in.today = 46367.5;

  const std::string out = work + "/protocol-4000.docx";
  std::vector<double> ms;
  for (int r = 0; r <= reps; ++r) {
    const auto t0 = std::chrono::steady_clock::now();
    BuildResult built = BuildProtocol(in);
    if (!built.ok()) {
      std::fprintf(stderr, "build failed: %s\n", built.error.c_str());
      return 1;
    }
    const SaveResult saved = built.document->save(out);
    if (!saved) {
      std::fprintf(stderr, "save failed: %s\n", saved.error.c_str());
      return 1;
    }
    const auto t1 = std::chrono::steady_clock::now();
    if (r > 0) ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
  }
  std::sort(ms.begin(), ms.end());
  std::printf("protocol rows=%d runs=%d min=%.1f ms median=%.1f ms max=%.1f ms\n", rows, reps,
              ms.front(), ms[ms.size() / 2], ms.back());
  std::printf("protocol_ms %.1f\n", ms[ms.size() / 2]);

  // The peer's template: the same document with tags instead of values.
  DocxDocument peer = DocxDocument::Open(LIBRATO_BENCH_TEMPLATE);
  peer.setParagraphText(2, "Протокол № {number}\n");
  peer.setCellText(1, 1, 2, "{customer}");
  peer.setCellText(1, 2, 2, "{company}");
  for (int c = 1; c <= ResultsTable::kColumns; ++c)
    peer.setCellText(5, 2, c,
                     (c == 1 ? "{#rows}" : "") + std::string("{c") + std::to_string(c - 1) + "}" +
                         (c == ResultsTable::kColumns ? "{/rows}" : ""));
  peer.setCellText(8, 1, 3, "{tester}");
  if (!peer.save(work + "/peer-template.docx")) return 1;
  std::ofstream json(work + "/peer-data.json");
  json << "{\"number\":\"4000\",\"customer\":" << JsonString(in.params.Customer)
       << ",\"company\":" << JsonString(in.params.Company)
       << ",\"tester\":" << JsonString(in.params.Tester) << ",\"rows\":[";
  for (int i = 1; i <= rows; ++i) {
    json << (i > 1 ? "," : "") << "{";
    for (int c = 0; c < ResultsTable::kColumns; ++c)
      json << (c ? "," : "") << "\"c" << c << "\":" << JsonString(results.cell(c, i));
    json << "}";
  }
  json << "]}\n";
  return json ? 0 : 1;
}
