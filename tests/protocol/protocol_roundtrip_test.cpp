// A generated protocol through a real word processor: LibreOffice converts it
// to PDF and the PDF's text holds what the protocol should show.

#include <gtest/gtest.h>

#include "protocol/process_runner.h"
#include "protocol/protocol_builder.h"
#include "protocol/protocol_commands.h"
#include "protocol_test_support.h"
#include "results/results_table.h"

namespace librato {
namespace {

bool Installed(const char* program) {
  return RunProcess({"sh", "-c", std::string("command -v ") + program}, 10000).succeeded();
}

TEST(RoundTrip, LibreOfficeShowsCustomerResultsAndVersion) {
  if (!Installed("soffice") || !Installed("pdftotext"))
    GTEST_SKIP() << "LibreOffice (soffice) or pdftotext is not installed";
  ResultsTable results;
  results.setRowCount(4);
  const char* rows[][9] = {
      {"1", "10:00:01", "A1", "Э-1", "200,0001", "", "", "", ""},
      {"2", "10:00:31", "B1", "17", "200,0004", "", "", "", ""},
      {"3", "10:01:02", "A2", "Э-1", "200,0002", "0,00025", "0,00025", "200,98765", "0,00035"},
  };
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 9; ++c) results.setCell(c, r + 1, rows[r][c]);
  ProtocolInputs in;
  in.results = &results;
  in.templatePath = LIBRATO_TEST_BUILD_TEMPLATE;
  in.params.WeightCount = 1;
  in.params.GroupCycle = false;
  in.params.Customer = "Заказчик Круглов";
  in.params.ProtocolNumber = "451";
  in.balanceModel = "CP224S";
  in.balanceSerial = 1234;
  in.decimals = 4;
  in.today = 46367.5;
  BuildResult built = BuildProtocol(in);
  ASSERT_TRUE(built.ok()) << built.error;
  testing::TempDir dir;
  const std::string docx = dir.file("protocol.docx");
  ASSERT_TRUE(built.document->save(docx).ok);

  LibreOfficePrinter::Options o;
  o.convertTimeoutMs = 300000;  // a cold start of the office suite on a busy machine
  const auto pdf = LibreOfficePrinter(o).convertToPdf(docx, dir.path.string());
  ASSERT_FALSE(pdf.pdf.empty()) << pdf.error;
  const ProcessResult text = RunProcess({"pdftotext", "-layout", pdf.pdf, "-"}, 60000);
  ASSERT_TRUE(text.succeeded()) << text.err;
  for (const char* expect : {"Заказчик Круглов", "200,98765", "Version 1.0.43C", "Метод ABA",
                             "на весах CP224S № 1234", "451", "11.12.2026"})
    EXPECT_NE(text.out.find(expect), std::string::npos) << expect << "\n" << text.out;
}

}  // namespace
}  // namespace librato
