#include "protocol_commands.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "process_runner.h"
#include "results/results_table.h"

namespace librato {

namespace fs = std::filesystem;

namespace {

constexpr const char* kClearCaption = "Очистка окна";
constexpr const char* kSaveCaption = "Сохранение протокола";

bool EndsWithDocx(const std::string& path) {
  if (path.size() < 5) return false;
  std::string tail = path.substr(path.size() - 5);
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == ".docx";
}

// A fresh private folder below the system's temporary folder.
std::string MakeTempFolder(const char* prefix) {
  std::error_code ec;
  fs::path base = fs::temp_directory_path(ec);
  if (ec) base = "/tmp";
  std::string pattern = (base / (std::string(prefix) + "XXXXXX")).string();
  if (!::mkdtemp(pattern.data()))
    throw DocxError("временная папка не создаётся: " + std::system_category().message(errno));
  return pattern;
}

// file:// address of a local path, with the bytes a URL cannot hold escaped.
std::string FileUrl(const std::string& path) {
  static const char* hex = "0123456789ABCDEF";
  std::string out = "file://";
  for (unsigned char c : path) {
    if (std::isalnum(c) || std::strchr("/-._~", c)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string FirstLine(const std::string& s) {
  std::string line = s.substr(0, s.find('\n'));
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  return line;
}

}  // namespace

PrintJob::PrintJob(std::string folder, std::string docx, std::string title)
    : folder_(std::move(folder)), docx_(std::move(docx)), title_(std::move(title)) {}

PrintJob::PrintJob(PrintJob&& o) noexcept
    : folder_(std::move(o.folder_)), docx_(std::move(o.docx_)), title_(std::move(o.title_)) {
  o.folder_.clear();
}

PrintJob& PrintJob::operator=(PrintJob&& o) noexcept {
  if (this != &o) {
    PrintJob old(std::move(o));  // takes the other's folder; ours goes with `old`
    std::swap(folder_, old.folder_);
    std::swap(docx_, old.docx_);
    std::swap(title_, old.title_);
  }
  return *this;
}

PrintJob::~PrintJob() {
  if (folder_.empty()) return;
  std::error_code ec;
  fs::remove_all(folder_, ec);
}

std::string DefaultProtocolFolder() {
  const char* home = std::getenv("HOME");
  fs::path docs = fs::path(home && *home ? home : ".") / "Documents";
  // The desktop may name the documents folder in the user's language.
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const fs::path dirs =
      (config && *config ? fs::path(config) : fs::path(home ? home : ".") / ".config") /
      "user-dirs.dirs";
  std::ifstream in(dirs);
  for (std::string line; std::getline(in, line);) {
    const std::string key = "XDG_DOCUMENTS_DIR=\"";
    if (line.rfind(key, 0) != 0) continue;
    std::string v = line.substr(key.size());
    if (!v.empty() && v.back() == '"') v.pop_back();
    if (v.rfind("$HOME", 0) == 0) v = std::string(home ? home : ".") + v.substr(5);
    if (!v.empty()) docs = v;
  }
  return (docs / "Librato").string();
}

ProtocolCommands::ProtocolCommands(ProtocolHost& host, OperatorDialogs& dialogs,
                                   DocumentOpener& opener, ProtocolPrinter& printer)
    : host_(host),
      dialogs_(dialogs),
      opener_(opener),
      printer_(printer),
      save_folder_(DefaultProtocolFolder()) {}

std::string ProtocolCommands::DefaultFileName(const std::string& protocol_number, DateTime today) {
  std::string number;
  for (unsigned char c : protocol_number)
    number += (c < 0x20 || std::strchr("/\\:*?\"<>|", c)) ? '_' : static_cast<char>(c);
  while (!number.empty() && (number.back() == ' ' || number.back() == '.')) number.pop_back();
  while (!number.empty() && number.front() == ' ') number.erase(0, 1);
  return "Протокол " + (number.empty() ? "" : number + " ") + ShortDateText(today) + ".docx";
}

std::optional<DocxDocument> ProtocolCommands::build(ProtocolInputs& inputs) {
  BuildResult built = BuildProtocol(inputs);
  if (!built.ok()) {
    dialogs_.error("Протокол не составлен: " + built.error);
    return std::nullopt;
  }
  return std::move(built.document);
}

bool ProtocolCommands::ShowProtocol() {
  ProtocolInputs inputs = host_.protocolInputs();
  std::optional<DocxDocument> doc = build(inputs);
  if (!doc) return false;

  std::error_code ec;
  fs::create_directories(save_folder_, ec);  // the dialog copes with a missing folder
  const std::string name = DefaultFileName(inputs.params.ProtocolNumber, inputs.today);
  std::optional<std::string> chosen = dialogs_.saveFile(
      "Сохранить протокол", (fs::path(save_folder_) / name).string(), "Документ Word (*.docx)");
  if (!chosen || chosen->empty()) return false;
  std::string path = *chosen;
  if (!EndsWithDocx(path)) path += ".docx";

  const SaveResult saved = doc->save(path);
  if (!saved) {
    dialogs_.error("Протокол не сохранён: " + saved.error);
    return false;
  }
  const fs::path parent = fs::path(path).parent_path();
  if (!parent.empty()) save_folder_ = parent.string();

  const std::string why = opener_.open(path);
  if (!why.empty())
    dialogs_.message("Протокол сохранён в файл «" + path + "», но открыть его не удалось: " + why,
                     kSaveCaption, kMsgOkWarning);
  return true;
}

void ProtocolCommands::btnSaveClick() {
  host_.StopRun();
  if (ShowProtocol()) protocol_saved_ = true;
}

std::optional<PrintJob> ProtocolCommands::beginPrint() {
  host_.StopRun();
  ProtocolInputs inputs = host_.protocolInputs();
  std::optional<DocxDocument> doc = build(inputs);
  if (!doc) return std::nullopt;
  std::string folder;
  try {
    folder = MakeTempFolder("librato-print-");
  } catch (const std::exception& e) {
    dialogs_.error(std::string("Протокол не напечатан: ") + e.what());
    return std::nullopt;
  }
  PrintJob job(folder, (fs::path(folder) / "protocol.docx").string(),
               "Протокол № " + inputs.params.ProtocolNumber);
  const SaveResult saved = doc->save(job.docxPath());
  if (!saved) {
    dialogs_.error("Протокол не напечатан: " + saved.error);
    return std::nullopt;
  }
  return job;
}

PrintOutcome ProtocolCommands::runPrint(ProtocolPrinter& printer, const PrintJob& job) {
  try {
    return printer.print(job.docxPath(), job.title());
  } catch (const std::exception& e) {
    PrintOutcome o;
    o.error = e.what();
    return o;
  }
}

void ProtocolCommands::endPrint(PrintJob job, const PrintOutcome& outcome) {
  if (!outcome.printed)
    dialogs_.error("Протокол не напечатан: " +
                   (outcome.error.empty() ? std::string("причина неизвестна") : outcome.error));
  // The job's folder goes with `job`; the spooler holds its own copy.
  (void)job;
}

void ProtocolCommands::btnPrintClick() {
  std::optional<PrintJob> job = beginPrint();
  if (!job) return;
  const PrintOutcome outcome = runPrint(printer_, *job);
  endPrint(std::move(*job), outcome);
}

void ProtocolCommands::btnClearClick() {
  ResultsTable& table = host_.resultsTable();
  if (table.rowCount() == 2 && table.cell(ResultsTable::kNumber, 1).empty()) return;
  host_.PlayNotify();
  if (!protocol_saved_ && dialogs_.message("Протокол не был сохранен. Сохранить?", kClearCaption,
                                           kMsgYesNoQuestion) == Answer::Yes) {
    if (!ShowProtocol()) return;
    protocol_saved_ = true;
  }
  if (dialogs_.message("Вы уверены, что хотите удалить результаты?", kClearCaption,
                       kMsgYesNoQuestion) != Answer::Yes)
    return;
  table.clear();
  host_.clearHints();
  host_.resetReadingCount();
  if (host_.hasWeightNumbers() && dialogs_.message("Очистить номера гирь?", "Удаление данных",
                                                   kMsgYesNoQuestion) == Answer::Yes)
    host_.clearWeightNumbers();
}

std::string DesktopOpener::open(const std::string& path) {
  // xdg-open returns once the application is started; some desktops keep it
  // until the application ends, so it is left running after the limit.
  const ProcessResult r = RunProcess({"xdg-open", path}, 10000, false);
  if (!r.started)
    return r.startErrno == ENOENT ? "не установлена программа xdg-open"
                                  : std::system_category().message(r.startErrno);
  if (r.timedOut || r.exitCode == 0) return {};
  const std::string why = FirstLine(r.err);
  return "xdg-open завершилась с кодом " + std::to_string(r.exitCode) +
         (why.empty() ? "" : ": " + why);
}

LibreOfficePrinter::Conversion LibreOfficePrinter::convertToPdf(const std::string& docx_path,
                                                                const std::string& out_dir) const {
  Conversion c;
  // A profile of its own: a shared one would collide with a LibreOffice the
  // operator has open.
  const std::string profile = (fs::path(out_dir) / "lo-profile").string();
  const fs::path pdf = fs::path(out_dir) / (fs::path(docx_path).stem().string() + ".pdf");
  std::error_code ec;
  fs::remove(pdf, ec);  // an older PDF must never pass for this one
  const ProcessResult r = RunProcess(
      {options_.soffice, "--headless", "--norestore", "-env:UserInstallation=" + FileUrl(profile),
       "--convert-to", "pdf", "--outdir", out_dir, docx_path},
      options_.convertTimeoutMs);
  fs::remove_all(profile, ec);
  if (!r.started) {
    c.error = r.startErrno == ENOENT
                  ? "не установлен LibreOffice (программа " + options_.soffice + " не найдена)"
                  : "LibreOffice не запускается: " + std::system_category().message(r.startErrno);
    return c;
  }
  if (r.timedOut) {
    c.error = "LibreOffice не преобразовал протокол в PDF за " +
              std::to_string(options_.convertTimeoutMs / 1000) + " с";
    return c;
  }
  if (r.exitCode != 0 || !fs::is_regular_file(pdf, ec) || fs::file_size(pdf, ec) == 0) {
    const std::string why = FirstLine(r.err.empty() ? r.out : r.err);
    c.error = "LibreOffice не создал PDF-файл протокола (код " + std::to_string(r.exitCode) + ")" +
              (why.empty() ? "" : ": " + why);
    return c;
  }
  c.pdf = pdf.string();
  return c;
}

PrintOutcome LibreOfficePrinter::print(const std::string& docx_path, const std::string& title) {
  PrintOutcome o;
  const Conversion c = convertToPdf(docx_path, fs::path(docx_path).parent_path().string());
  if (c.pdf.empty()) {
    o.error = c.error;
    return o;
  }
  std::vector<std::string> argv = {options_.lp};
  if (!options_.printer.empty()) argv.insert(argv.end(), {"-d", options_.printer});
  argv.insert(argv.end(), {"-t", title, c.pdf});
  const ProcessResult r = RunProcess(argv, options_.printTimeoutMs);
  if (!r.started) {
    o.error = r.startErrno == ENOENT ? "не установлена программа печати lp (CUPS)"
                                     : "программа печати не запускается: " +
                                           std::system_category().message(r.startErrno);
    return o;
  }
  if (r.timedOut) {
    o.error = "программа печати lp не ответила";
    return o;
  }
  const std::string why = FirstLine(r.err);
  if (r.exitCode != 0) {
    if (r.err.find("No default destination") != std::string::npos ||
        r.err.find("no default destination") != std::string::npos)
      o.error = "не задан принтер по умолчанию (" + why + ")";
    else
      o.error = "задание печати не принято" + (why.empty() ? "" : ": " + why);
    return o;
  }
  const std::string key = "request id is ";
  const auto at = r.out.find(key);
  if (at == std::string::npos) {
    o.error = "программа печати не подтвердила задание" + (why.empty() ? "" : ": " + why);
    return o;
  }
  std::string id = r.out.substr(at + key.size());
  id = id.substr(0, id.find_first_of(" \n"));
  o.printed = true;
  o.requestId = id;
  return o;
}

}  // namespace librato
