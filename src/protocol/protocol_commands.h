#pragma once
// The three commands on the results of the last run: "Сохранить" (the
// protocol written where the operator chooses and opened in the desktop's
// word processor), "Печать" (converted to PDF and sent to the default printer)
// and "Очистить окно" (the results emptied, guarded by questions).
//
// The window provides the host, the dialogs, the opener and the printer; tests
// provide fakes, so no command here shows a window or launches a program by
// itself.

#include <memory>
#include <optional>
#include <string>

#include "procedure/operator_dialogs.h"
#include "protocol/protocol_builder.h"

namespace librato {

class ResultsTable;

// Opens a saved file with the desktop's default application.
class DocumentOpener {
 public:
  virtual ~DocumentOpener() = default;
  // Empty when the file was handed over, else why not.
  virtual std::string open(const std::string& path) = 0;
};

struct PrintOutcome {
  bool printed = false;   // the spooler accepted the job
  std::string requestId;  // its job name, e.g. "office-12"
  std::string error;      // why nothing was printed
};

// Prints a protocol file on the default printer. Slow (the office suite
// starts): the window calls it from a worker thread.
class ProtocolPrinter {
 public:
  virtual ~ProtocolPrinter() = default;
  virtual PrintOutcome print(const std::string& docx_path, const std::string& title) = 0;
};

// What the commands need of the main window.
class ProtocolHost {
 public:
  virtual ~ProtocolHost() = default;
  virtual void StopRun() = 0;
  virtual void PlayNotify() = 0;
  virtual ResultsTable& resultsTable() = 0;
  // labHintSmall and lblSKO emptied.
  virtual void clearHints() = 0;
  // readingCount = 0.
  virtual void resetReadingCount() = 0;
  // The first number of the weight numbers dialog is not empty.
  virtual bool hasWeightNumbers() = 0;
  // Every weight number emptied and cbAddNames unticked.
  virtual void clearWeightNumbers() = 0;
  // The run's parameters, results and balance data as they stand now.
  virtual ProtocolInputs protocolInputs() = 0;
};

// A protocol built for printing, in a temporary folder of its own that goes
// when the job is dropped.
class PrintJob {
 public:
  PrintJob(std::string folder, std::string docx, std::string title);
  PrintJob(PrintJob&&) noexcept;
  PrintJob& operator=(PrintJob&&) noexcept;
  PrintJob(const PrintJob&) = delete;
  PrintJob& operator=(const PrintJob&) = delete;
  ~PrintJob();
  const std::string& folder() const { return folder_; }
  const std::string& docxPath() const { return docx_; }
  const std::string& title() const { return title_; }

 private:
  std::string folder_, docx_, title_;
};

class ProtocolCommands {
 public:
  ProtocolCommands(ProtocolHost& host, OperatorDialogs& dialogs, DocumentOpener& opener,
                   ProtocolPrinter& printer);

  bool protocolSaved() const { return protocol_saved_; }
  // A run has started (after its parameters were validated).
  void runStarted() { protocol_saved_ = false; }

  // Where the save dialog opens: the user's Documents/Librato at first, then
  // the folder of the last save, for the life of the program.
  const std::string& saveFolder() const { return save_folder_; }
  void setSaveFolder(std::string folder) { save_folder_ = std::move(folder); }
  // "Протокол <number> <date>.docx", with characters that file names cannot
  // hold replaced.
  static std::string DefaultFileName(const std::string& protocol_number, DateTime today);

  // The protocol built, saved where the operator chooses and opened. False
  // when the build or the save failed (the cause was shown) or the operator
  // cancelled; protocolSaved is not touched. Also the save offered by Start.
  bool ShowProtocol();

  void btnSaveClick();
  void btnClearClick();

  // "Печать" in the calling thread.
  void btnPrintClick();
  // The same in three steps, so that the window can run the slow middle one
  // in a worker thread (busy cursor, window kept responsive):
  // on the UI thread: stop the run, build into a temporary folder; nothing
  // when the build failed (the cause was shown).
  std::optional<PrintJob> beginPrint();
  // on any thread: convert and spool; touches nothing of the window.
  static PrintOutcome runPrint(ProtocolPrinter& printer, const PrintJob& job);
  // on the UI thread: the outcome shown when it failed; the temporary folder
  // goes with the job.
  void endPrint(PrintJob job, const PrintOutcome& outcome);

 private:
  std::optional<DocxDocument> build(ProtocolInputs& inputs);

  ProtocolHost& host_;
  OperatorDialogs& dialogs_;
  DocumentOpener& opener_;
  ProtocolPrinter& printer_;
  bool protocol_saved_ = false;
  std::string save_folder_;
};

// The user's documents folder followed by "Librato".
std::string DefaultProtocolFolder();

// Opens files with xdg-open.
class DesktopOpener final : public DocumentOpener {
 public:
  std::string open(const std::string& path) override;
};

// Converts with LibreOffice in headless mode (a profile of its own, a time
// limit) and prints the PDF with lp on the default printer.
class LibreOfficePrinter final : public ProtocolPrinter {
 public:
  struct Options {
    std::string soffice = "soffice";
    std::string lp = "lp";
    std::string printer;  // empty: the default printer
    int convertTimeoutMs = 180000;
    int printTimeoutMs = 30000;
  };
  LibreOfficePrinter() = default;
  explicit LibreOfficePrinter(Options options) : options_(std::move(options)) {}
  PrintOutcome print(const std::string& docx_path, const std::string& title) override;
  // The PDF conversion alone, into `out_dir`; the PDF's path or an error.
  struct Conversion {
    std::string pdf;
    std::string error;
  };
  Conversion convertToPdf(const std::string& docx_path, const std::string& out_dir) const;

 private:
  Options options_;
};

}  // namespace librato
