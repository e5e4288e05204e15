#pragma once
// A word-processing document (OOXML, .docx) opened from a template and filled
// by position: paragraphs and table cells are addressed by number, never by
// searching placeholder text, because editors split visible text across runs
// at will.
//
// Addressing (all 1-based, as a word processor's object model counts):
// - paragraph p: the p-th paragraph of the body in document order, paragraphs
//   inside table cells included;
// - table t: the t-th table at the top level of the body;
// - cell (t, r, c): row r, cell c of table t. The project's template keeps the
//   filled tables regular (no merged cells), so this is also column c.
//
// Every operation that cannot be done throws DocxError with a text for the
// operator; save() reports instead of throwing.

#include <sys/types.h>
#include <cstddef>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace librato {

struct ProtectionValues;

class DocxError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Outcome of writing a file: ok, or why not.
struct SaveResult {
  bool ok = false;
  std::string error;
  explicit operator bool() const { return ok; }
};

// The system calls of a file write; tests replace them to make a write fail.
struct FileOps {
  std::function<ssize_t(int fd, const void* data, std::size_t size)> write;
  std::function<int(int fd)> fsync;
};

// Writes `bytes` to `path` so that the name only ever shows a complete file:
// a temporary file in the same folder, fsync, rename over `path`, fsync of the
// folder. On failure the temporary file is removed and an existing file under
// `path` is left as it was.
SaveResult WriteFileAtomically(const std::string& path, std::string_view bytes,
                               const FileOps* ops = nullptr);

class DocxDocument {
 public:
  // Opens a .docx or a .dotx; a template becomes a document (its main part's
  // content type is switched to the document type).
  static DocxDocument Open(const std::string& path);
  // The same from the bytes of a package; `name` only appears in errors.
  static DocxDocument FromBytes(std::string bytes, const std::string& name);

  DocxDocument(DocxDocument&&) noexcept;
  DocxDocument& operator=(DocxDocument&&) noexcept;
  ~DocxDocument();

  int paragraphCount() const;
  // Replaces the whole content of paragraph p, keeping its paragraph
  // properties and the run properties of its first run. A line feed at the end
  // is the paragraph's own end; every other line feed starts a new paragraph
  // with the same properties, as the word processor shows typed line feeds.
  void setParagraphText(int p, std::string_view text);
  std::string paragraphText(int p) const;

  int tableCount() const;
  int rowCount(int t) const;
  int cellCount(int t, int r) const;
  // Replaces the content of the cell by `text` in the formatting of the cell's
  // first paragraph and first run; further runs and paragraphs are dropped,
  // line feeds start new paragraphs inside the cell.
  void setCellText(int t, int r, int c, std::string_view text);
  // Visible text of a cell; its paragraphs joined by line feeds.
  std::string cellText(int t, int r, int c) const;
  // Adds an empty copy of the last row below it (cell and run formatting kept,
  // text removed, editor ids dropped, never a repeated heading row).
  void appendRow(int t);
  // Removes table t; the tables after it move up by one.
  void removeTable(int t);

  // Forms-only protection with a password, as the word processor writes it.
  void protect(std::string_view password);
  // The same with salt and hash computed beforehand (they take a while).
  void protect(const ProtectionValues& values);

  // The package as bytes and as a file.
  std::string toBytes() const;
  SaveResult save(const std::string& path, const FileOps* ops = nullptr) const;

  // The XML of a part as it would be saved (tests and diagnostics).
  std::string partXml(const std::string& name) const;

 private:
  struct Impl;
  explicit DocxDocument(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace librato
