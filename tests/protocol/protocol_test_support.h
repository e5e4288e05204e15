#pragma once
// Reading packages back without the engine under test: libzip for the
// archive, pugixml with XPath for the parts.

#include <unistd.h>
#include <zip.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <pugixml.hpp>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace librato::testing {

inline std::map<std::string, std::string> ReadZip(const std::string& path) {
  int err = 0;
  zip_t* za = zip_open(path.c_str(), ZIP_RDONLY, &err);
  if (!za) throw std::runtime_error("not a zip: " + path);
  std::map<std::string, std::string> out;
  const zip_int64_t n = zip_get_num_entries(za, 0);
  for (zip_int64_t i = 0; i < n; ++i) {
    zip_stat_t st;
    zip_stat_index(za, static_cast<zip_uint64_t>(i), 0, &st);
    zip_file_t* f = zip_fopen_index(za, static_cast<zip_uint64_t>(i), 0);
    std::string data(static_cast<std::size_t>(st.size), '\0');
    zip_fread(f, data.data(), st.size);
    zip_fclose(f);
    out[st.name] = std::move(data);
  }
  zip_close(za);
  return out;
}

// Names of a package's entries in archive order.
inline std::vector<std::string> ZipNames(const std::string& path) {
  int err = 0;
  zip_t* za = zip_open(path.c_str(), ZIP_RDONLY, &err);
  if (!za) throw std::runtime_error("not a zip: " + path);
  std::vector<std::string> out;
  for (zip_int64_t i = 0; i < zip_get_num_entries(za, 0); ++i)
    out.push_back(zip_get_name(za, static_cast<zip_uint64_t>(i), 0));
  zip_close(za);
  return out;
}

inline void WriteZip(const std::string& path,
                     const std::vector<std::pair<std::string, std::string>>& parts) {
  int err = 0;
  zip_t* za = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  if (!za) throw std::runtime_error("cannot create " + path);
  for (const auto& [name, data] : parts) {
    zip_source_t* s = zip_source_buffer(za, data.data(), data.size(), 0);
    zip_file_add(za, name.c_str(), s, ZIP_FL_ENC_UTF_8);
  }
  if (zip_close(za) != 0) throw std::runtime_error("cannot write " + path);
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// A parsed part that keeps whitespace-only text.
struct Xml {
  pugi::xml_document doc;
  explicit Xml(const std::string& text) {
    if (!doc.load_string(text.c_str(), pugi::parse_default | pugi::parse_ws_pcdata_single))
      throw std::runtime_error("bad xml");
  }
  pugi::xpath_node_set all(const std::string& xpath) const {
    return doc.select_nodes(xpath.c_str());
  }
  pugi::xml_node one(const std::string& xpath) const {
    return doc.select_node(xpath.c_str()).node();
  }
};

// Text of a paragraph or a cell (paragraphs joined by line feeds).
inline std::string TextOf(pugi::xml_node n) {
  if (std::string(n.name()) == "w:p") {
    std::string s;
    for (auto t : n.select_nodes(".//w:t")) s += t.node().text().get();
    return s;
  }
  std::string s;
  bool first = true;
  for (auto p : n.select_nodes("w:p")) {
    if (!first) s += '\n';
    s += TextOf(p.node());
    first = false;
  }
  return s;
}

// The main part of a saved document, read back.
struct SavedDocument {
  std::map<std::string, std::string> parts;
  Xml body;
  explicit SavedDocument(const std::string& path)
      : parts(ReadZip(path)), body(parts.at("word/document.xml")) {}
  int tables() const { return static_cast<int>(body.all("/w:document/w:body/w:tbl").size()); }
  pugi::xml_node table(int t) const {
    return body.one("/w:document/w:body/w:tbl[" + std::to_string(t) + "]");
  }
  int rows(int t) const { return static_cast<int>(table(t).select_nodes("w:tr").size()); }
  pugi::xml_node cellNode(int t, int r, int c) const {
    return table(t)
        .select_node(("w:tr[" + std::to_string(r) + "]/w:tc[" + std::to_string(c) + "]").c_str())
        .node();
  }
  std::string cell(int t, int r, int c) const { return TextOf(cellNode(t, r, c)); }
  // Paragraphs in document order, those in tables included.
  std::string paragraph(int p) const {
    auto set = body.all("/w:document/w:body//w:p");
    return TextOf(set[static_cast<std::size_t>(p - 1)].node());
  }
};

// A scratch folder removed at the end of a test.
struct TempDir {
  std::filesystem::path path;
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "librato-test-XXXXXX").string();
    path = ::mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string file(const std::string& name) const { return (path / name).string(); }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (auto& e : std::filesystem::directory_iterator(path))
      out.push_back(e.path().filename().string());
    return out;
  }
};

}  // namespace librato::testing
