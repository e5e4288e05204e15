// The project's template: the committed package is its readable source
// zipped, and it offers every address the protocol writes to.

#include <gtest/gtest.h>

#include <filesystem>

#include "protocol/docx_document.h"
#include "protocol_test_support.h"

namespace librato {
namespace {

namespace fs = std::filesystem;

std::map<std::string, std::string> SourceParts() {
  std::map<std::string, std::string> out;
  const fs::path root = LIBRATO_TEST_TEMPLATE_SOURCE;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file())
      out[fs::relative(e.path(), root).generic_string()] = testing::ReadFile(e.path().string());
  return out;
}

TEST(Template, PackagesMatchTheReadableSource) {
  const auto source = SourceParts();
  ASSERT_FALSE(source.empty());
  for (const char* package : {LIBRATO_TEST_COMMITTED_TEMPLATE, LIBRATO_TEST_BUILD_TEMPLATE}) {
    SCOPED_TRACE(package);
    EXPECT_EQ(testing::ReadZip(package), source)
        << "repack: cmake -DSRC=data/templates/ABA -DOUT=data/templates/ABA.dotx -P "
           "data/templates/pack.cmake";
    EXPECT_EQ(testing::ZipNames(package).front(), "[Content_Types].xml");
  }
}

TEST(Template, OffersEveryAddressTheProtocolFills) {
  DocxDocument doc = DocxDocument::Open(LIBRATO_TEST_COMMITTED_TEMPLATE);
  ASSERT_GE(doc.paragraphCount(), 3);
  ASSERT_EQ(doc.tableCount(), 8);
  struct Cell {
    int t, r, c;
  };
  const Cell cells[] = {{1, 1, 2}, {1, 2, 2}, {2, 2, 1}, {2, 2, 5}, {3, 1, 2}, {3, 1, 5},
                        {3, 2, 2}, {3, 2, 3}, {3, 2, 5}, {4, 1, 3}, {4, 2, 3}, {4, 3, 3},
                        {5, 1, 3}, {5, 2, 9}, {6, 1, 2}, {6, 2, 2}, {7, 1, 1}, {7, 1, 3},
                        {8, 1, 3}, {8, 2, 1}, {8, 3, 2}};
  for (const Cell& c : cells)
    EXPECT_NO_THROW(doc.setCellText(c.t, c.r, c.c, "x")) << c.t << "," << c.r << "," << c.c;
  // The results table: the headings of the results grid and one empty row.
  EXPECT_EQ(doc.rowCount(5), 2);
  const char* headings[] = {"№",          "Время",     "A/B",      "№ гири",       "Показания, г",
                            "Xi (Xj), г", "Ср.зн., г", "Масса, г", "Отклонение, г"};
  DocxDocument fresh = DocxDocument::Open(LIBRATO_TEST_COMMITTED_TEMPLATE);
  for (int c = 1; c <= 9; ++c) {
    EXPECT_EQ(fresh.cellText(5, 1, c), headings[c - 1]);
    EXPECT_EQ(fresh.cellText(5, 2, c), "");
  }
}

TEST(Template, RegularTablesOnA4) {
  testing::Xml body(testing::ReadZip(LIBRATO_TEST_COMMITTED_TEMPLATE).at("word/document.xml"));
  // Cell c of row r is column c only without merged cells.
  EXPECT_EQ(body.all("//w:gridSpan | //w:vMerge | //w:hMerge").size(), 0u);
  for (auto tbl : body.all("//w:body/w:tbl")) {
    const std::size_t columns = tbl.node().select_nodes("w:tblGrid/w:gridCol").size();
    for (auto tr : tbl.node().select_nodes("w:tr"))
      EXPECT_EQ(tr.node().select_nodes("w:tc").size(), columns);
  }
  pugi::xml_node size = body.one("//w:sectPr/w:pgSz");
  EXPECT_STREQ(size.attribute("w:w").value(), "11906");
  EXPECT_STREQ(size.attribute("w:h").value(), "16838");
}

}  // namespace
}  // namespace librato
