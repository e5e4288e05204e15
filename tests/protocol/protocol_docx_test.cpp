// The document engine on a small fixture template.

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "protocol/document_protection.h"
#include "protocol/docx_document.h"
#include "protocol_test_support.h"

namespace librato {
namespace {

using testing::ReadFile;
using testing::ReadZip;
using testing::TempDir;
using testing::TextOf;
using testing::Xml;

const char* kContentTypes =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">
<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>
<Default Extension="xml" ContentType="application/xml"/>
<Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.template.main+xml"/>
<Override PartName="/word/settings.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.settings+xml"/>
</Types>)";

const char* kRels = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">
<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/>
</Relationships>)";

const char* kDocRels = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">
<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/settings" Target="settings.xml"/>
</Relationships>)";

// Paragraph 1 has two runs in different formatting; paragraph 2 is a single
// blank; table 1 has a heading row with ids and a data row, table 2 a single
// heading row.
const char* kDocument = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main" xmlns:w14="http://schemas.microsoft.com/office/word/2010/wordml">
  <w:body>
    <w:p w14:paraId="11111111"><w:pPr><w:jc w:val="center"/></w:pPr><w:r><w:rPr><w:b/></w:rPr><w:t>Title</w:t></w:r><w:r><w:t xml:space="preserve"> extra</w:t></w:r></w:p>
    <w:p><w:r><w:t xml:space="preserve"> </w:t></w:r></w:p>
    <w:p><w:r><w:t>Third</w:t></w:r></w:p>
    <w:tbl>
      <w:tblPr/>
      <w:tblGrid><w:gridCol w:w="2000"/><w:gridCol w:w="2000"/></w:tblGrid>
      <w:tr w14:paraId="0A0A0A0A" w14:textId="77777777">
        <w:trPr><w:tblHeader/></w:trPr>
        <w:tc>
          <w:tcPr><w:tcW w:w="2000" w:type="dxa"/><w:shd w:val="clear" w:fill="FFFF00"/></w:tcPr>
          <w:p w14:paraId="22222222"><w:pPr><w:jc w:val="right"/></w:pPr><w:r><w:rPr><w:i/><w:color w:val="FF0000"/></w:rPr><w:t>Hea</w:t></w:r><w:r><w:rPr><w:b/></w:rPr><w:t>d</w:t></w:r></w:p>
          <w:p><w:r><w:t>second paragraph</w:t></w:r></w:p>
        </w:tc>
        <w:tc><w:tcPr><w:tcW w:w="2000" w:type="dxa"/></w:tcPr><w:p><w:r><w:t>H2</w:t></w:r></w:p></w:tc>
      </w:tr>
      <w:tr w14:paraId="0B0B0B0B">
        <w:tc><w:tcPr><w:tcW w:w="2000" w:type="dxa"/></w:tcPr><w:p w14:paraId="33333333"><w:pPr><w:jc w:val="left"/></w:pPr><w:r><w:rPr><w:sz w:val="18"/></w:rPr><w:t>a</w:t></w:r></w:p></w:tc>
        <w:tc><w:tcPr><w:tcW w:w="2000" w:type="dxa"/></w:tcPr><w:p><w:r><w:t xml:space="preserve"> </w:t></w:r></w:p></w:tc>
      </w:tr>
    </w:tbl>
    <w:p/>
    <w:tbl>
      <w:tblPr/>
      <w:tblGrid><w:gridCol w:w="2000"/></w:tblGrid>
      <w:tr w14:paraId="0C0C0C0C"><w:trPr><w:tblHeader/></w:trPr><w:tc><w:p w14:paraId="44444444"><w:r><w:t>only</w:t></w:r></w:p></w:tc></w:tr>
    </w:tbl>
    <w:sectPr/>
  </w:body>
</w:document>)";

const char* kSettings = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<w:settings xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main">
  <w:zoom w:percent="100"/>
  <w:documentProtection w:edit="readOnly" w:enforcement="0"/>
  <w:defaultTabStop w:val="720"/>
  <w:compat/>
</w:settings>)";

const char* kStyles =
    "<w:styles xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">  "
    "</w:styles>";

class DocxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fixture_ = dir_.file("fixture.dotx");
    testing::WriteZip(fixture_, {{"[Content_Types].xml", kContentTypes},
                                 {"_rels/.rels", kRels},
                                 {"word/_rels/document.xml.rels", kDocRels},
                                 {"word/document.xml", kDocument},
                                 {"word/settings.xml", kSettings},
                                 {"word/styles.xml", kStyles}});
  }
  // Saves and reads the main part back.
  Xml savedBody(const DocxDocument& doc) {
    const std::string out = dir_.file("out.docx");
    EXPECT_TRUE(doc.save(out).ok);
    parts_ = ReadZip(out);
    return Xml(parts_.at("word/document.xml"));
  }
  TempDir dir_;
  std::string fixture_;
  std::map<std::string, std::string> parts_;
};

TEST_F(DocxTest, TemplateBecomesDocumentAndOtherPartsStayByteForByte) {
  DocxDocument doc = DocxDocument::Open(fixture_);
  savedBody(doc);
  Xml types(parts_.at("[Content_Types].xml"));
  EXPECT_STREQ(types.one("//*[@PartName='/word/document.xml']").attribute("ContentType").value(),
               "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml");
  EXPECT_EQ(parts_.at("word/styles.xml"), kStyles);
  EXPECT_EQ(testing::ZipNames(dir_.file("out.docx")).front(), "[Content_Types].xml");
}

TEST_F(DocxTest, WhitespaceOnlyTextSurvivesARoundTrip) {
  DocxDocument doc = DocxDocument::Open(fixture_);
  EXPECT_EQ(doc.paragraphText(2), " ");
  Xml body = savedBody(doc);
  EXPECT_EQ(TextOf(body.all("//w:body/w:p")[1].node()), " ");
  EXPECT_EQ(TextOf(body.one("//w:tbl[1]/w:tr[2]/w:tc[2]")), " ");
}

TEST_F(DocxTest, CellTextKeepsCellParagraphAndFirstRunFormatting) {
  DocxDocument doc = DocxDocument::Open(fixture_);
  doc.setCellText(1, 1, 1, "New");
  Xml body = savedBody(doc);
  pugi::xml_node tc = body.one("//w:tbl[1]/w:tr[1]/w:tc[1]");
  EXPECT_STREQ(tc.select_node("w:tcPr/w:shd").node().attribute("w:fill").value(), "FFFF00");
  ASSERT_EQ(tc.select_nodes("w:p").size(), 1u);
  pugi::xml_node p = tc.child("w:p");
  EXPECT_STREQ(p.attribute("w14:paraId").value(), "22222222");
  EXPECT_STREQ(p.select_node("w:pPr/w:jc").node().attribute("w:val").value(), "right");
  ASSERT_EQ(p.select_nodes("w:r").size(), 1u);
  EXPECT_TRUE(p.select_node("w:r/w:rPr/w:i"));
  EXPECT_TRUE(p.select_node("w:r/w:rPr/w:color"));
  EXPECT_FALSE(p.select_node("w:r/w:rPr/w:b")) << "the second run's formatting must go";
  EXPECT_EQ(TextOf(tc), "New");
}

TEST_F(DocxTest, CellTextsWithBlanksLineFeedsTabsAndControlCharacters) {
  struct Case {
    const char* text;
    const char* read_back;  // paragraphs joined by '\n'
    bool preserve;          // first w:t carries xml:space="preserve"
  };
  const Case cases[] = {
      {"plain", "plain", false},
      {" lead", " lead", true},
      {"trail ", "trail ", true},
      {"two  blanks", "two  blanks", true},
      {"first\nsecond", "first\nsecond", false},
      {"crlf\r\nline", "crlf\nline", false},
      {"bell\x07gone", "bellgone", false},
      {"", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    DocxDocument doc = DocxDocument::Open(fixture_);
    doc.setCellText(1, 2, 1, c.text);
    EXPECT_EQ(doc.cellText(1, 2, 1), c.read_back);
    Xml body = savedBody(doc);
    pugi::xml_node tc = body.one("//w:tbl[1]/w:tr[2]/w:tc[1]");
    EXPECT_EQ(TextOf(tc), c.read_back);
    // Every paragraph of the cell in the first paragraph's formatting.
    for (auto p : tc.select_nodes("w:p")) {
      EXPECT_STREQ(p.node().select_node("w:pPr/w:jc").node().attribute("w:val").value(), "left");
      for (auto r : p.node().select_nodes("w:r")) EXPECT_TRUE(r.node().select_node("w:rPr/w:sz"));
    }
    pugi::xml_node t = tc.select_node(".//w:t").node();
    if (*c.read_back) {
      EXPECT_EQ(std::string(t.attribute("xml:space").value()) == "preserve", c.preserve);
    }
  }
  DocxDocument doc = DocxDocument::Open(fixture_);
  doc.setCellText(1, 2, 2, "a\tb");
  Xml body = savedBody(doc);
  EXPECT_TRUE(body.one("//w:tbl[1]/w:tr[2]/w:tc[2]//w:tab"));
}

TEST_F(DocxTest, AppendedRowIsAnEmptyCopyOfTheLastRow) {
  DocxDocument doc = DocxDocument::Open(fixture_);
  doc.setCellText(1, 2, 1, "row two");
  doc.appendRow(1);
  doc.appendRow(1);
  ASSERT_EQ(doc.rowCount(1), 4);
  doc.setCellText(1, 4, 2, "row four");
  doc.appendRow(2);  // a table of one heading row
  Xml body = savedBody(doc);

  ASSERT_EQ(body.all("//w:tbl[1]/w:tr").size(), 4u);
  for (int r = 3; r <= 4; ++r) {
    SCOPED_TRACE(r);
    pugi::xml_node tr = body.one("//w:tbl[1]/w:tr[" + std::to_string(r) + "]");
    EXPECT_FALSE(tr.attribute("w14:paraId"));
    EXPECT_EQ(tr.select_nodes("w:tc").size(), 2u);
    pugi::xml_node tc = tr.child("w:tc");
    EXPECT_TRUE(tc.select_node("w:tcPr/w:tcW"));
    EXPECT_FALSE(tc.child("w:p").attribute("w14:paraId"));
    EXPECT_STREQ(tc.select_node("w:p/w:pPr/w:jc").node().attribute("w:val").value(), "left");
    EXPECT_TRUE(tc.select_node("w:p/w:r/w:rPr/w:sz")) << "run formatting kept for later text";
  }
  EXPECT_EQ(TextOf(body.one("//w:tbl[1]/w:tr[3]")), "");
  EXPECT_EQ(TextOf(body.one("//w:tbl[1]/w:tr[2]/w:tc[1]")), "row two");
  EXPECT_EQ(TextOf(body.one("//w:tbl[1]/w:tr[4]/w:tc[2]")), "row four");

  ASSERT_EQ(body.all("//w:tbl[2]/w:tr").size(), 2u);
  EXPECT_TRUE(body.one("//w:tbl[2]/w:tr[1]/w:trPr/w:tblHeader"));
  EXPECT_FALSE(body.one("//w:tbl[2]/w:tr[2]/w:trPr/w:tblHeader"))
      << "a copied heading row must not repeat on every page";
  EXPECT_EQ(TextOf(body.one("//w:tbl[2]/w:tr[2]")), "");
}

TEST_F(DocxTest, ParagraphTextAndLineFeeds) {
  DocxDocument doc = DocxDocument::Open(fixture_);
  const int before = doc.paragraphCount();
  doc.setParagraphText(1, "Line one\n");
  EXPECT_EQ(doc.paragraphCount(), before);
  EXPECT_EQ(doc.paragraphText(1), "Line one");
  doc.setParagraphText(3, "upper\nlower\n");
  EXPECT_EQ(doc.paragraphCount(), before + 1);
  Xml body = savedBody(doc);
  auto ps = body.all("//w:body/w:p");
  pugi::xml_node p1 = ps[0].node();
  EXPECT_EQ(TextOf(p1), "Line one");
  EXPECT_STREQ(p1.attribute("w14:paraId").value(), "11111111");
  EXPECT_STREQ(p1.select_node("w:pPr/w:jc").node().attribute("w:val").value(), "center");
  EXPECT_EQ(p1.select_nodes("w:r").size(), 1u);
  EXPECT_TRUE(p1.select_node("w:r/w:rPr/w:b"));
  EXPECT_EQ(TextOf(ps[1].node()), " ");
  EXPECT_EQ(TextOf(ps[2].node()), "upper");
  EXPECT_EQ(TextOf(ps[3].node()), "lower");
  // Paragraphs inside tables count as the word processor counts them.
  EXPECT_EQ(doc.paragraphText(5),
            "Hea"
            "d");
}

TEST_F(DocxTest, RemovedTableRenumbersTheOthers) {
  DocxDocument doc = DocxDocument::Open(fixture_);
  doc.removeTable(1);
  ASSERT_EQ(doc.tableCount(), 1);
  EXPECT_EQ(doc.cellText(1, 1, 1), "only");
  Xml body = savedBody(doc);
  EXPECT_EQ(body.all("//w:tbl").size(), 1u);
}

TEST_F(DocxTest, AddressesTheDocumentLacksAreErrors) {
  DocxDocument doc = DocxDocument::Open(fixture_);
  EXPECT_THROW(doc.setCellText(3, 1, 1, "x"), DocxError);
  EXPECT_THROW(doc.setCellText(1, 3, 1, "x"), DocxError);
  EXPECT_THROW(doc.setCellText(1, 1, 3, "x"), DocxError);
  EXPECT_THROW(doc.setCellText(0, 1, 1, "x"), DocxError);
  EXPECT_THROW(doc.setParagraphText(0, "x"), DocxError);
  EXPECT_THROW(doc.setParagraphText(99, "x"), DocxError);
  EXPECT_THROW(doc.appendRow(5), DocxError);
}

TEST_F(DocxTest, MissingOrDamagedFilesAreErrorsNamingTheFile) {
  const std::string missing = dir_.file("none.dotx");
  try {
    DocxDocument::Open(missing);
    FAIL();
  } catch (const DocxError& e) {
    EXPECT_NE(std::string(e.what()).find(missing), std::string::npos);
  }
  const std::string garbage = dir_.file("garbage.dotx");
  ASSERT_TRUE(WriteFileAtomically(garbage, "this is not a zip archive").ok);
  EXPECT_THROW(DocxDocument::Open(garbage), DocxError);
  // A zip without the main part.
  const std::string empty = dir_.file("empty.dotx");
  testing::WriteZip(empty, {{"[Content_Types].xml", kContentTypes}});
  EXPECT_THROW(DocxDocument::Open(empty), DocxError);
  // A main part that is not XML.
  const std::string broken = dir_.file("broken.dotx");
  testing::WriteZip(broken, {{"[Content_Types].xml", kContentTypes},
                             {"_rels/.rels", kRels},
                             {"word/document.xml", "<w:document><w:body>"}});
  EXPECT_THROW(DocxDocument::Open(broken), DocxError);
}

TEST_F(DocxTest, FailedSaveLeavesTheOldFileAndNoTemporaryFile) {
  const std::string target = dir_.file("protocol.docx");
  ASSERT_TRUE(WriteFileAtomically(target, "old protocol").ok);
  DocxDocument doc = DocxDocument::Open(fixture_);

  struct Case {
    const char* name;
    FileOps ops;
  };
  int calls = 0;
  const Case cases[] = {
      {"disk full at once",
       {[](int, const void*, std::size_t) -> ssize_t {
          errno = ENOSPC;
          return -1;
        },
        nullptr}},
      {"disk full after a first part",
       {[&calls](int fd, const void* d, std::size_t n) -> ssize_t {
          if (calls++ == 0) return ::write(fd, d, n < 100 ? n : 100);
          errno = ENOSPC;
          return -1;
        },
        nullptr}},
      {"sync fails",
       {nullptr,
        [](int) {
          errno = EIO;
          return -1;
        }}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SaveResult r = doc.save(target, &c.ops);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find(target), std::string::npos) << r.error;
    EXPECT_EQ(ReadFile(target), "old protocol");
    EXPECT_EQ(dir_.names().size(), 2u) << "fixture and old file only";
  }
  const std::error_code full(ENOSPC, std::system_category());
  calls = 0;
  EXPECT_NE(doc.save(target, &cases[0].ops).error.find(full.message()), std::string::npos);
}

TEST_F(DocxTest, SaveFailuresOfTheFolderAreReported) {
  DocxDocument doc = DocxDocument::Open(fixture_);
  // A folder where the file should go, and a folder that does not exist.
  std::filesystem::create_directories(dir_.path / "taken" / "inside");
  for (const std::string& target : {dir_.file("taken"), dir_.file("nowhere/protocol.docx")}) {
    SCOPED_TRACE(target);
    const SaveResult r = doc.save(target);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());
  }
  EXPECT_TRUE(std::filesystem::is_directory(dir_.path / "taken" / "inside"));
  EXPECT_EQ(dir_.names().size(), 2u);
}

TEST_F(DocxTest, SavedFileReplacesTheOldOneAndOpensAgain) {
  const std::string target = dir_.file("protocol.docx");
  ASSERT_TRUE(WriteFileAtomically(target, "old protocol").ok);
  DocxDocument doc = DocxDocument::Open(fixture_);
  doc.setCellText(1, 2, 1, "saved");
  ASSERT_TRUE(doc.save(target).ok);
  EXPECT_EQ(DocxDocument::Open(target).cellText(1, 2, 1), "saved");
  EXPECT_EQ(dir_.names().size(), 2u);
}

// ---- protection -----------------------------------------------------------

// The legacy key as the binary-format description words it: one running
// index into the matrix from its last entry downwards, characters last first.
std::uint32_t ReferenceLegacyKey(const std::string& ascii) {
  static const std::uint16_t initial[15] = {0xE1F0, 0x1D0F, 0xCC9C, 0x84C0, 0x110C,
                                            0x0E10, 0xF1CE, 0x313E, 0x1872, 0xE139,
                                            0xD40F, 0x84F9, 0x280C, 0xA96A, 0x4EC3};
  static const std::uint16_t matrix[105] = {
      0xAEFC, 0x4DD9, 0x9BB2, 0x2745, 0x4E8A, 0x9D14, 0x2A09, 0x7B61, 0xF6C2, 0xFDA5, 0xEB6B,
      0xC6F7, 0x9DCF, 0x2BBF, 0x4563, 0x8AC6, 0x05AD, 0x0B5A, 0x16B4, 0x2D68, 0x5AD0, 0x0375,
      0x06EA, 0x0DD4, 0x1BA8, 0x3750, 0x6EA0, 0xDD40, 0xD849, 0xA0B3, 0x5147, 0xA28E, 0x553D,
      0xAA7A, 0x44D5, 0x6F45, 0xDE8A, 0xAD35, 0x4A4B, 0x9496, 0x390D, 0x721A, 0xEB23, 0xC667,
      0x9CEF, 0x29FF, 0x53FE, 0xA7FC, 0x5FD9, 0x47D3, 0x8FA6, 0x0F6D, 0x1EDA, 0x3DB4, 0x7B68,
      0xF6D0, 0xB861, 0x60E3, 0xC1C6, 0x93AD, 0x377B, 0x6EF6, 0xDDEC, 0x45A0, 0x8B40, 0x06A1,
      0x0D42, 0x1A84, 0x3508, 0x6A10, 0xAA51, 0x4483, 0x8906, 0x022D, 0x045A, 0x08B4, 0x1168,
      0x76B4, 0xED68, 0xCAF1, 0x85C3, 0x1BA7, 0x374E, 0x6E9C, 0x3730, 0x6E60, 0xDCC0, 0xA9A1,
      0x4363, 0x86C6, 0x1DAD, 0x3331, 0x6662, 0xCCC4, 0x89A9, 0x0373, 0x06E6, 0x0DCC, 0x1021,
      0x2042, 0x4084, 0x8108, 0x1231, 0x2462, 0x48C4};
  if (ascii.empty()) return 0;
  std::uint32_t high = initial[ascii.size() - 1];
  int element = 104;
  for (auto it = ascii.rbegin(); it != ascii.rend(); ++it) {
    unsigned ch = static_cast<unsigned char>(*it);
    for (int k = 0; k < 7; ++k) {
      if (ch & 0x40) high ^= matrix[element];
      ch <<= 1;
      --element;
    }
  }
  std::uint32_t low = 0;
  for (auto it = ascii.rbegin(); it != ascii.rend(); ++it)
    low = ((((low >> 14) & 1) | ((low << 1) & 0x7FFF)) ^ static_cast<unsigned char>(*it));
  low = ((((low >> 14) & 1) | ((low << 1) & 0x7FFF)) ^ ascii.size() ^ 0xCE4B);
  return (high << 16) | (low & 0xFFFF);
}

std::vector<unsigned char> Sha512(const std::vector<unsigned char>& in) {
  std::vector<unsigned char> out(64);
  unsigned int n = 0;
  EVP_Digest(in.data(), in.size(), out.data(), &n, EVP_sha512(), nullptr);
  return out;
}

// The hash from the documented procedure, with the key text spelled out.
std::vector<unsigned char> ReferenceHash(const std::string& key_text,
                                         const std::vector<unsigned char>& salt, int spins) {
  std::vector<unsigned char> in(salt);
  for (char c : key_text) {
    in.push_back(static_cast<unsigned char>(c));
    in.push_back(0);
  }
  std::vector<unsigned char> h = Sha512(in);
  for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(spins); ++i) {
    std::vector<unsigned char> next(h);
    for (int b = 0; b < 4; ++b) next.push_back(static_cast<unsigned char>(i >> (8 * b)));
    h = Sha512(next);
  }
  return h;
}

std::vector<unsigned char> Unbase64(const std::string& s) {
  std::vector<unsigned char> out(s.size());
  const int n = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(s.data()),
                                static_cast<int>(s.size()));
  if (n < 0) return {};
  // The decoder counts padding as zero bytes.
  std::size_t pad = 0;
  if (!s.empty() && s.end()[-1] == '=') ++pad;
  if (s.size() > 1 && s.end()[-2] == '=') ++pad;
  out.resize(static_cast<std::size_t>(n) - pad);
  return out;
}

TEST(ProtectionKey, PublishedVectorAndAnIndependentFormulation) {
  EXPECT_EQ(LegacyPasswordKey("password"), 0x147A83AFu);
  EXPECT_EQ(ReferenceLegacyKey("password"), 0x147A83AFu);
  EXPECT_EQ(LegacyPasswordKey(""), 0u);
  for (const std::string pw : {"plainfields", "a", "Z9", "fifteen-chars!!", "0123456789abcde"})
    EXPECT_EQ(LegacyPasswordKey(pw), ReferenceLegacyKey(pw)) << pw;
  // Only the first 15 characters count.
  EXPECT_EQ(LegacyPasswordKey("0123456789abcdeXYZ"), ReferenceLegacyKey("0123456789abcde"));
  // Cyrillic letters: the low byte of the UTF-16 unit (п = U+043F -> 0x3F).
  EXPECT_EQ(LegacyPasswordKey("пароль"), ReferenceLegacyKey("\x3f\x30\x40\x3e\x3b\x4c"));
}

TEST(ProtectionKey, KeyTextIsByteReversedUpperHexInUtf16) {
  const std::vector<unsigned char> bytes = LegacyKeyBytes(0x147A83AF);
  const std::string expect = "AF837A14";
  ASSERT_EQ(bytes.size(), 16u);
  for (std::size_t i = 0; i < expect.size(); ++i) {
    EXPECT_EQ(bytes[2 * i], static_cast<unsigned char>(expect[i]));
    EXPECT_EQ(bytes[2 * i + 1], 0);
  }
}

TEST(ProtectionKey, HashMatchesTheDocumentedIteration) {
  const std::vector<unsigned char> salt = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  for (int spins : {0, 1, 3}) {
    const auto h = ProtectionHash("password", salt, spins);
    EXPECT_EQ(std::vector<unsigned char>(h.begin(), h.end()),
              ReferenceHash("AF837A14", salt, spins))
        << spins;
  }
}

TEST_F(DocxTest, ProtectionElementAtItsPlaceWithAVerifiableHash) {
  DocxDocument doc = DocxDocument::Open(fixture_);
  doc.protect("plainfields");
  savedBody(doc);
  Xml settings(parts_.at("word/settings.xml"));
  ASSERT_EQ(settings.all("//w:documentProtection").size(), 1u) << "the old element is replaced";
  std::vector<std::string> order;
  for (pugi::xml_node n : settings.doc.document_element().children()) order.push_back(n.name());
  EXPECT_EQ(order, (std::vector<std::string>{"w:zoom", "w:documentProtection", "w:defaultTabStop",
                                             "w:compat"}));
  pugi::xml_node dp = settings.one("//w:documentProtection");
  const std::map<std::string, std::string> fixed = {{"w:edit", "forms"},
                                                    {"w:enforcement", "1"},
                                                    {"w:cryptProviderType", "rsaAES"},
                                                    {"w:cryptAlgorithmClass", "hash"},
                                                    {"w:cryptAlgorithmType", "typeAny"},
                                                    {"w:cryptAlgorithmSid", "14"},
                                                    {"w:cryptSpinCount", "100000"}};
  for (const auto& [name, value] : fixed) EXPECT_EQ(dp.attribute(name.c_str()).value(), value);
  const std::vector<unsigned char> salt = Unbase64(dp.attribute("w:salt").value());
  ASSERT_EQ(salt.size(), 16u);
  char key_text[9];
  const std::uint32_t key = ReferenceLegacyKey("plainfields");
  std::snprintf(key_text, sizeof key_text, "%02X%02X%02X%02X", key & 0xFF, (key >> 8) & 0xFF,
                (key >> 16) & 0xFF, key >> 24);
  EXPECT_EQ(Unbase64(dp.attribute("w:hash").value()), ReferenceHash(key_text, salt, 100000));

  // A new salt every time.
  DocxDocument again = DocxDocument::Open(fixture_);
  again.protect("plainfields");
  Xml other(again.partXml("word/settings.xml"));
  EXPECT_STRNE(other.one("//w:documentProtection").attribute("w:salt").value(),
               dp.attribute("w:salt").value());
}

}  // namespace
}  // namespace librato
