#include "docx_document.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <pugixml.hpp>
#include <random>
#include <sstream>
#include <system_error>
#include <vector>

#include "document_protection.h"

namespace librato {

namespace {

constexpr const char* kTemplateMain =
    "application/vnd.openxmlformats-officedocument.wordprocessingml.template.main+xml";
constexpr const char* kDocumentMain =
    "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml";
constexpr const char* kOfficeDocumentRel =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument";
constexpr const char* kSettingsRel =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/settings";

// Whitespace-only text must survive (a blank run is content), indentation
// between elements of a readable source need not.
constexpr unsigned kParseOptions =
    pugi::parse_default | pugi::parse_declaration | pugi::parse_ws_pcdata_single;

std::string ErrnoText(int err) { return std::system_category().message(err); }

// Folder part of a part name ("word/document.xml" -> "word/").
std::string PartFolder(const std::string& part) {
  const auto slash = part.rfind('/');
  return slash == std::string::npos ? std::string() : part.substr(0, slash + 1);
}

// Relationship target relative to the source part's folder -> part name.
std::string ResolveTarget(const std::string& folder, std::string target) {
  if (!target.empty() && target[0] == '/') return target.substr(1);
  std::vector<std::string> parts;
  std::string path = folder + target;
  std::stringstream ss(path);
  std::string seg;
  while (std::getline(ss, seg, '/')) {
    if (seg.empty() || seg == ".") continue;
    if (seg == "..") {
      if (!parts.empty()) parts.pop_back();
    } else {
      parts.push_back(seg);
    }
  }
  std::string out;
  for (const auto& p : parts) out += (out.empty() ? "" : "/") + p;
  return out;
}

std::string RelsNameOf(const std::string& part) {
  const std::string folder = PartFolder(part);
  return folder + "_rels/" + part.substr(folder.size()) + ".rels";
}

// Characters XML 1.0 cannot carry; an operator's text never needs them.
bool IsForbiddenControl(unsigned char c) { return c < 0x20 && c != '\t' && c != '\n' && c != '\r'; }

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines(1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lines.emplace_back();
    } else if (c == '\n') {
      lines.emplace_back();
    } else if (!IsForbiddenControl(static_cast<unsigned char>(c))) {
      lines.back().push_back(c);
    }
  }
  return lines;
}

bool NeedsPreserve(const std::string& s) {
  if (s.empty()) return false;
  if (s.front() == ' ' || s.back() == ' ') return true;
  return s.find("  ") != std::string::npos;
}

bool Named(const pugi::xml_node& n, const char* name) {
  return n.type() == pugi::node_element && std::strcmp(n.name(), name) == 0;
}

pugi::xml_node FirstRun(pugi::xml_node p) {
  for (pugi::xml_node n = p.first_child(); n; n = n.next_sibling()) {
    if (Named(n, "w:r")) return n;
    if (Named(n, "w:pPr")) continue;
    // Runs inside hyperlinks, fields, smart tags and the like.
    if (pugi::xml_node r = n.find_node([](pugi::xml_node x) { return Named(x, "w:r"); })) return r;
  }
  return {};
}

// Empties a paragraph down to its properties and one run in the formatting
// of its first run; returns that run.
pugi::xml_node ResetParagraph(pugi::xml_node p) {
  pugi::xml_node r = FirstRun(p);
  if (r && r.parent() != p) {
    pugi::xml_node own = p.append_child("w:r");
    if (pugi::xml_node x = r.child("w:rPr")) own.append_copy(x);
    r = own;
  }
  if (!r) r = p.append_child("w:r");
  for (pugi::xml_node n = p.first_child(); n;) {
    pugi::xml_node next = n.next_sibling();
    if (n != r && !Named(n, "w:pPr")) p.remove_child(n);
    n = next;
  }
  for (pugi::xml_node n = r.first_child(); n;) {
    pugi::xml_node next = n.next_sibling();
    if (!Named(n, "w:rPr")) r.remove_child(n);
    n = next;
  }
  return r;
}

void AppendText(pugi::xml_node r, const std::string& piece) {
  pugi::xml_node t = r.append_child("w:t");
  if (NeedsPreserve(piece)) t.append_attribute("xml:space") = "preserve";
  t.append_child(pugi::node_pcdata).set_value(piece.c_str());
}

// Writes one line into the empty run r: its text, and after each tab a tab
// run and a run for the text that follows, all in r's formatting.
void WriteLine(pugi::xml_node r, const std::string& line) {
  const pugi::xml_node rpr = r.child("w:rPr");
  pugi::xml_node p = r.parent();
  pugi::xml_node cur = r;
  auto next_run = [&] {
    cur = p.insert_child_after("w:r", cur);
    if (rpr) cur.append_copy(rpr);
    return cur;
  };
  std::size_t start = 0;
  for (bool first = true;; first = false) {
    const std::size_t tab = line.find('\t', start);
    const std::string piece =
        line.substr(start, tab == std::string::npos ? std::string::npos : tab - start);
    if (!piece.empty()) AppendText(first ? r : next_run(), piece);
    if (tab == std::string::npos) break;
    next_run().append_child("w:tab");
    start = tab + 1;
  }
}

// Replaces the content of paragraph p by the lines of `text`; the second and
// further lines become paragraphs after it with the same properties.
void FillParagraph(pugi::xml_node p, std::string_view text) {
  pugi::xml_node r = ResetParagraph(p);
  const bool simple = std::none_of(text.begin(), text.end(), [](char c) {
    return c == '\n' || c == '\r' || IsForbiddenControl(static_cast<unsigned char>(c));
  });
  if (simple) {
    WriteLine(r, std::string(text));
    return;
  }
  const std::vector<std::string> lines = SplitLines(text);
  WriteLine(r, lines[0]);
  const pugi::xml_node ppr = p.child("w:pPr");
  const pugi::xml_node rpr = r.child("w:rPr");
  pugi::xml_node after = p;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    pugi::xml_node np = after.parent().insert_child_after("w:p", after);
    if (ppr) np.append_copy(ppr);
    pugi::xml_node nr = np.append_child("w:r");
    if (rpr) nr.append_copy(rpr);
    WriteLine(nr, lines[i]);
    after = np;
  }
}

void RemoveEditorIds(pugi::xml_node n) {
  n.remove_attribute("w14:paraId");
  n.remove_attribute("w14:textId");
}

// Replaces the content of a cell (w:tc) by text in the formatting of its first
// paragraph and first run.
void FillCell(pugi::xml_node tc, std::string_view text) {
  pugi::xml_node p0 = tc.child("w:p");
  // The first paragraph element stays (with its ids); everything else but
  // the cell's own properties goes.
  for (pugi::xml_node n = tc.first_child(); n;) {
    pugi::xml_node next = n.next_sibling();
    if (!Named(n, "w:tcPr") && n != p0) tc.remove_child(n);
    n = next;
  }
  if (!p0) p0 = tc.append_child("w:p");
  FillParagraph(p0, text);
}

std::string NodeText(pugi::xml_node p) {
  std::string out;
  // Document order walk over text, tabs and breaks.
  struct Walker : pugi::xml_tree_walker {
    std::string* out;
    bool for_each(pugi::xml_node& n) override {
      if (Named(n, "w:t"))
        *out += n.text().get();
      else if (Named(n, "w:tab"))
        *out += '\t';
      else if (Named(n, "w:br") || Named(n, "w:cr"))
        *out += '\n';
      return true;
    }
  } walker;
  walker.out = &out;
  p.traverse(walker);
  return out;
}

// Element names of the settings part that come before the protection element,
// in schema order.
const char* const kBeforeProtection[] = {
    "w:writeProtection",
    "w:view",
    "w:zoom",
    "w:removePersonalInformation",
    "w:removeDateAndTime",
    "w:doNotDisplayPageBoundaries",
    "w:displayBackgroundShape",
    "w:printPostScriptOverText",
    "w:printFractionalCharacterWidth",
    "w:printFormsData",
    "w:embedTrueTypeFonts",
    "w:embedSystemFonts",
    "w:saveSubsetFonts",
    "w:saveFormsData",
    "w:mirrorMargins",
    "w:alignBordersAndEdges",
    "w:bordersDoNotSurroundHeader",
    "w:bordersDoNotSurroundFooter",
    "w:gutterAtTop",
    "w:hideSpellingErrors",
    "w:hideGrammaticalErrors",
    "w:activeWritingStyle",
    "w:proofState",
    "w:formsDesign",
    "w:attachedTemplate",
    "w:linkStyles",
    "w:stylePaneFormatFilter",
    "w:stylePaneSortMethod",
    "w:documentType",
    "w:mailMerge",
    "w:revisionView",
    "w:trackRevisions",
    "w:doNotTrackMoves",
    "w:doNotTrackFormatting",
};

bool ComesBeforeProtection(const pugi::xml_node& n) {
  for (const char* name : kBeforeProtection)
    if (Named(n, name)) return true;
  return false;
}

struct XmlWriter : pugi::xml_writer {
  std::string out;
  void write(const void* data, size_t size) override {
    out.append(static_cast<const char*>(data), size);
  }
};

}  // namespace

struct DocxDocument::Impl {
  struct Entry {
    std::string name;
    std::string bytes;                        // as read, when not parsed
    std::unique_ptr<pugi::xml_document> xml;  // parsed and possibly changed
  };
  std::string source;  // for error texts
  std::vector<Entry> entries;
  std::string main_part = "word/document.xml";
  pugi::xml_node body;
  std::vector<pugi::xml_node> tables;
  // Rows of each table, filled on first use and kept in step by appendRow.
  std::vector<std::vector<pugi::xml_node>> rows;

  Entry* find(const std::string& name) {
    for (auto& e : entries)
      if (e.name == name) return &e;
    return nullptr;
  }

  pugi::xml_document& xml(const std::string& name) {
    Entry* e = find(name);
    if (!e) throw DocxError("в документе «" + source + "» нет части " + name);
    if (!e->xml) {
      auto doc = std::make_unique<pugi::xml_document>();
      const pugi::xml_parse_result r =
          doc->load_buffer(e->bytes.data(), e->bytes.size(), kParseOptions, pugi::encoding_utf8);
      if (!r)
        throw DocxError("часть " + name + " документа «" + source +
                        "» повреждена: " + r.description());
      e->xml = std::move(doc);
      e->bytes.clear();
      e->bytes.shrink_to_fit();
    }
    return *e->xml;
  }

  std::string relTarget(const std::string& rels_name, const std::string& folder, const char* type) {
    if (!find(rels_name)) return {};
    for (pugi::xml_node rel : xml(rels_name).document_element().children("Relationship"))
      if (std::strcmp(rel.attribute("Type").value(), type) == 0 &&
          std::strcmp(rel.attribute("TargetMode").value(), "External") != 0)
        return ResolveTarget(folder, rel.attribute("Target").value());
    return {};
  }

  void indexTables() {
    tables.clear();
    rows.clear();
    for (pugi::xml_node n : body.children("w:tbl")) tables.push_back(n);
    rows.resize(tables.size());
  }

  pugi::xml_node table(int t) {
    if (t < 1 || t > static_cast<int>(tables.size()))
      throw DocxError("в документе нет таблицы " + std::to_string(t));
    return tables[static_cast<std::size_t>(t - 1)];
  }

  std::vector<pugi::xml_node>& rowsOf(int t) {
    pugi::xml_node tbl = table(t);
    auto& r = rows[static_cast<std::size_t>(t - 1)];
    if (r.empty())
      for (pugi::xml_node tr : tbl.children("w:tr")) r.push_back(tr);
    return r;
  }

  pugi::xml_node cell(int t, int r, int c) {
    auto& rs = rowsOf(t);
    if (r >= 1 && r <= static_cast<int>(rs.size())) {
      int k = 0;
      for (pugi::xml_node tc : rs[static_cast<std::size_t>(r - 1)].children("w:tc"))
        if (++k == c) return tc;
    }
    throw DocxError("в таблице " + std::to_string(t) + " нет ячейки (строка " + std::to_string(r) +
                    ", столбец " + std::to_string(c) + ")");
  }

  pugi::xml_node paragraph(int p) {
    int k = 0;
    pugi::xml_node found;
    struct Walker : pugi::xml_tree_walker {
      int want = 0;
      int* k = nullptr;
      pugi::xml_node* found = nullptr;
      bool for_each(pugi::xml_node& n) override {
        if (Named(n, "w:p") && ++*k == want) {
          *found = n;
          return false;
        }
        return true;
      }
    } walker;
    walker.want = p;
    walker.k = &k;
    walker.found = &found;
    if (p >= 1) body.traverse(walker);
    if (!found) throw DocxError("в документе нет абзаца " + std::to_string(p));
    return found;
  }
};

DocxDocument::DocxDocument(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
DocxDocument::DocxDocument(DocxDocument&&) noexcept = default;
DocxDocument& DocxDocument::operator=(DocxDocument&&) noexcept = default;
DocxDocument::~DocxDocument() = default;

DocxDocument DocxDocument::Open(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec))
    throw DocxError("файл шаблона «" + path + "» не найден");
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) throw DocxError("файл шаблона «" + path + "» не открывается: " + ErrnoText(errno));
  std::string bytes;
  char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) throw DocxError("файл шаблона «" + path + "» не читается");
  return FromBytes(std::move(bytes), path);
}

DocxDocument DocxDocument::FromBytes(std::string bytes, const std::string& name) {
  auto impl = std::make_unique<Impl>();
  impl->source = name;
  zip_error_t ze;
  zip_error_init(&ze);
  zip_source_t* src = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &ze);
  if (!src) throw DocxError("нет памяти для документа «" + name + "»");
  zip_t* za = zip_open_from_source(src, ZIP_RDONLY, &ze);
  if (!za) {
    const std::string why = zip_error_strerror(&ze);
    zip_source_free(src);
    zip_error_fini(&ze);
    throw DocxError("файл «" + name + "» повреждён или не является документом (" + why + ")");
  }
  const zip_int64_t count = zip_get_num_entries(za, 0);
  std::string failure;
  for (zip_int64_t i = 0; i < count && failure.empty(); ++i) {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(za, static_cast<zip_uint64_t>(i), 0, &st) != 0) {
      failure = zip_strerror(za);
      break;
    }
    Impl::Entry e;
    e.name = st.name;
    if (!e.name.empty() && e.name.back() == '/') continue;  // folder entry
    zip_file_t* zf = zip_fopen_index(za, static_cast<zip_uint64_t>(i), 0);
    if (!zf) {
      failure = zip_strerror(za);
      break;
    }
    e.bytes.resize(static_cast<std::size_t>(st.size));
    const zip_int64_t got = zip_fread(zf, e.bytes.data(), st.size);
    if (got < 0 || static_cast<zip_uint64_t>(got) != st.size) failure = zip_file_strerror(zf);
    zip_fclose(zf);
    impl->entries.push_back(std::move(e));
  }
  zip_discard(za);  // also frees the source
  zip_error_fini(&ze);
  if (!failure.empty()) throw DocxError("файл «" + name + "» повреждён: " + failure);
  if (!impl->find("[Content_Types].xml"))
    throw DocxError("файл «" + name + "» не является документом OOXML");

  if (impl->find("_rels/.rels")) {
    const std::string main = impl->relTarget("_rels/.rels", "", kOfficeDocumentRel);
    if (!main.empty()) impl->main_part = main;
  }
  // A template becomes a document.
  for (pugi::xml_node o : impl->xml("[Content_Types].xml").document_element().children("Override"))
    if (ResolveTarget("", o.attribute("PartName").value()) == impl->main_part &&
        std::strcmp(o.attribute("ContentType").value(), kTemplateMain) == 0)
      o.attribute("ContentType").set_value(kDocumentMain);

  pugi::xml_node root = impl->xml(impl->main_part).document_element();
  impl->body = root.child("w:body");
  if (!Named(root, "w:document") || !impl->body)
    throw DocxError("в файле «" + name + "» нет текста документа");
  impl->indexTables();
  return DocxDocument(std::move(impl));
}

int DocxDocument::paragraphCount() const {
  return static_cast<int>(impl_->body.select_nodes(".//w:p").size());
}

void DocxDocument::setParagraphText(int p, std::string_view text) {
  pugi::xml_node para = impl_->paragraph(p);
  // The trailing line feed is the paragraph's own end.
  if (!text.empty() && text.back() == '\n') {
    text.remove_suffix(1);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  }
  FillParagraph(para, text);
}

std::string DocxDocument::paragraphText(int p) const { return NodeText(impl_->paragraph(p)); }

int DocxDocument::tableCount() const { return static_cast<int>(impl_->tables.size()); }

int DocxDocument::rowCount(int t) const { return static_cast<int>(impl_->rowsOf(t).size()); }

int DocxDocument::cellCount(int t, int r) const {
  auto& rs = impl_->rowsOf(t);
  if (r < 1 || r > static_cast<int>(rs.size()))
    throw DocxError("в таблице " + std::to_string(t) + " нет строки " + std::to_string(r));
  int k = 0;
  for (pugi::xml_node tc : rs[static_cast<std::size_t>(r - 1)].children("w:tc")) {
    (void)tc;
    ++k;
  }
  return k;
}

void DocxDocument::setCellText(int t, int r, int c, std::string_view text) {
  FillCell(impl_->cell(t, r, c), text);
}

std::string DocxDocument::cellText(int t, int r, int c) const {
  std::string out;
  bool first = true;
  for (pugi::xml_node p : impl_->cell(t, r, c).children("w:p")) {
    if (!first) out += '\n';
    out += NodeText(p);
    first = false;
  }
  return out;
}

void DocxDocument::appendRow(int t) {
  auto& rs = impl_->rowsOf(t);
  if (rs.empty()) throw DocxError("в таблице " + std::to_string(t) + " нет строк");
  pugi::xml_node last = rs.back();
  pugi::xml_node row = last.parent().insert_copy_after(last, last);
  RemoveEditorIds(row);
  if (pugi::xml_node trpr = row.child("w:trPr"))
    while (pugi::xml_node h = trpr.child("w:tblHeader")) trpr.remove_child(h);
  for (pugi::xml_node tc : row.children("w:tc")) {
    FillCell(tc, {});
    for (pugi::xml_node p : tc.children("w:p")) RemoveEditorIds(p);
  }
  rs.push_back(row);
}

void DocxDocument::removeTable(int t) {
  pugi::xml_node tbl = impl_->table(t);
  // Two tables that meet would merge into one; a paragraph keeps them apart.
  pugi::xml_node prev = tbl.previous_sibling();
  pugi::xml_node next = tbl.next_sibling();
  const bool joins = Named(prev, "w:tbl") && Named(next, "w:tbl");
  if (joins) tbl.parent().insert_child_before("w:p", tbl);
  tbl.parent().remove_child(tbl);
  impl_->indexTables();
}

void DocxDocument::protect(std::string_view password) { protect(MakeProtection(password)); }

void DocxDocument::protect(const ProtectionValues& values) {
  const std::string rels = RelsNameOf(impl_->main_part);
  std::string settings = impl_->relTarget(rels, PartFolder(impl_->main_part), kSettingsRel);
  if (settings.empty() || !impl_->find(settings))
    throw DocxError("в документе нет части настроек для защиты");
  pugi::xml_node root = impl_->xml(settings).document_element();
  while (pugi::xml_node old = root.child("w:documentProtection")) root.remove_child(old);
  pugi::xml_node at;
  for (pugi::xml_node n = root.first_child(); n; n = n.next_sibling())
    if (n.type() == pugi::node_element && !ComesBeforeProtection(n)) {
      at = n;
      break;
    }
  pugi::xml_node dp = at ? root.insert_child_before("w:documentProtection", at)
                         : root.append_child("w:documentProtection");
  const std::vector<unsigned char>& salt = values.salt;
  const auto& hash = values.hash;
  dp.append_attribute("w:edit") = "forms";
  dp.append_attribute("w:enforcement") = "1";
  dp.append_attribute("w:cryptProviderType") = "rsaAES";
  dp.append_attribute("w:cryptAlgorithmClass") = "hash";
  dp.append_attribute("w:cryptAlgorithmType") = "typeAny";
  dp.append_attribute("w:cryptAlgorithmSid") = "14";
  dp.append_attribute("w:cryptSpinCount") = std::to_string(kProtectionSpinCount).c_str();
  dp.append_attribute("w:hash") = Base64(hash.data(), hash.size()).c_str();
  dp.append_attribute("w:salt") = Base64(salt.data(), salt.size()).c_str();
}

std::string DocxDocument::partXml(const std::string& name) const {
  Impl::Entry* e = impl_->find(name);
  if (!e) throw DocxError("в документе нет части " + name);
  if (!e->xml) return e->bytes;
  XmlWriter w;
  e->xml->save(w, "", pugi::format_raw, pugi::encoding_utf8);
  return std::move(w.out);
}

std::string DocxDocument::toBytes() const {
  // Serialised parts must outlive the archive until it is closed.
  std::vector<std::string> serialised;
  serialised.reserve(impl_->entries.size());
  std::vector<const std::string*> data;
  // The content types part first, as readers that stream the package expect.
  std::vector<Impl::Entry*> order;
  for (auto& e : impl_->entries)
    if (e.name == "[Content_Types].xml") order.push_back(&e);
  for (auto& e : impl_->entries)
    if (e.name != "[Content_Types].xml") order.push_back(&e);
  for (Impl::Entry* e : order) {
    if (e->xml) {
      XmlWriter w;
      e->xml->save(w, "", pugi::format_raw, pugi::encoding_utf8);
      serialised.push_back(std::move(w.out));
      data.push_back(&serialised.back());
    } else {
      data.push_back(&e->bytes);
    }
  }

  zip_error_t ze;
  zip_error_init(&ze);
  zip_source_t* out = zip_source_buffer_create(nullptr, 0, 0, &ze);
  if (!out) throw DocxError("нет памяти для документа");
  zip_source_keep(out);
  zip_t* za = zip_open_from_source(out, ZIP_TRUNCATE, &ze);
  if (!za) {
    zip_source_free(out);
    throw DocxError(std::string("документ не упаковывается: ") + zip_error_strerror(&ze));
  }
  auto fail = [&](const std::string& why) {
    zip_discard(za);
    zip_source_free(out);
    zip_error_fini(&ze);
    throw DocxError("документ не упаковывается: " + why);
  };
  for (std::size_t i = 0; i < order.size(); ++i) {
    zip_source_t* s = zip_source_buffer(za, data[i]->data(), data[i]->size(), 0);
    if (!s) fail(zip_strerror(za));
    const zip_int64_t idx = zip_file_add(za, order[i]->name.c_str(), s, ZIP_FL_ENC_UTF_8);
    if (idx < 0) {
      zip_source_free(s);
      fail(zip_strerror(za));
    }
    // Fast deflate: the results table makes the main part large, and level 1
    // costs a few per cent in size against several times the time.
    zip_set_file_compression(za, static_cast<zip_uint64_t>(idx), ZIP_CM_DEFLATE, 1);
  }
  if (zip_close(za) != 0) fail(zip_strerror(za));

  std::string bytes;
  if (zip_source_open(out) != 0) {
    zip_source_free(out);
    throw DocxError("документ не упаковывается");
  }
  zip_source_seek(out, 0, SEEK_END);
  const zip_int64_t size = zip_source_tell(out);
  zip_source_seek(out, 0, SEEK_SET);
  bytes.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
  const zip_int64_t got = zip_source_read(out, bytes.data(), bytes.size());
  zip_source_close(out);
  zip_source_free(out);
  zip_error_fini(&ze);
  if (got != size) throw DocxError("документ не упаковывается");
  return bytes;
}

SaveResult DocxDocument::save(const std::string& path, const FileOps* ops) const {
  std::string bytes;
  try {
    bytes = toBytes();
  } catch (const std::exception& e) {
    return {false, e.what()};
  }
  return WriteFileAtomically(path, bytes, ops);
}

SaveResult WriteFileAtomically(const std::string& path, std::string_view bytes,
                               const FileOps* ops) {
  namespace fs = std::filesystem;
  const fs::path target(path);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  const std::string name = target.filename().string();
  auto failed = [&](const std::string& why) {
    return SaveResult{false, "файл «" + path + "» не записан: " + why};
  };
  if (name.empty()) return failed("не задано имя файла");

  std::random_device rd;
  int fd = -1;
  std::string tmp;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%08x", rd());
    tmp = (folder / ("." + name + "." + suffix + ".tmp")).string();
    fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return failed(ErrnoText(errno));
  }
  if (fd < 0) return failed("не удалось создать временный файл");

  auto abandon = [&](int err) {
    ::close(fd);
    ::unlink(tmp.c_str());
    return failed(ErrnoText(err));
  };
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ops && ops->write ? ops->write(fd, p, left) : ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return abandon(errno);
    }
    if (n == 0) return abandon(EIO);
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  if ((ops && ops->fsync ? ops->fsync(fd) : ::fsync(fd)) != 0) return abandon(errno);
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(tmp.c_str());
    return failed(ErrnoText(err));
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(tmp.c_str());
    return failed(ErrnoText(err));
  }
  // The rename itself is durable only once the folder is synced.
  const int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    const int r = ::fsync(dfd);
    const int err = errno;
    ::close(dfd);
    if (r != 0 && err != EINVAL && err != ENOTSUP && err != EROFS)
      return failed("папка не сохранена на диске: " + ErrnoText(err));
  }
  return {true, {}};
}

}  // namespace librato
