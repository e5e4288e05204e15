#include "protocol_builder.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <new>

#include "link/mass_text.h"
#include "protocol/document_protection.h"
#include "results/results_table.h"

namespace librato {

namespace {

// Table numbers of the template.
constexpr int kCustomerTable = 1;
constexpr int kReferenceTable = 2;
constexpr int kAmbientTable = 3;
constexpr int kSchemeTable = 4;
constexpr int kResultsTable = 5;
constexpr int kSpreadTable = 6;
constexpr int kSkoTable = 7;
constexpr int kSignatureTable = 8;

std::string Trimmed(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

// The text of an ambient field as a single-precision number.
float FieldValue(const std::string& text, const char* field) {
  double v = 0;
  if (!ParseDecimal(text, v))
    throw ConversionError("в поле «" + std::string(field) + "» не число: «" + text + "»");
  return static_cast<float>(v);
}

// The results grid copied row by row: results row i lands in document row
// i + 1, column c in document column c + 1.
void CopyResultsTable(DocxDocument& doc, int t, const ResultsTable& results, int last) {
  for (int i = 1; i <= last; ++i) {
    if (i > 1) doc.appendRow(t);
    for (int c = 0; c < ResultsTable::kColumns; ++c)
      doc.setCellText(t, i + 1, c + 1, results.cell(c, i));
  }
}

}  // namespace

std::string ProtocolTemplatePath(const std::string& start_dir) {
  namespace fs = std::filesystem;
  const fs::path own = fs::path(start_dir.empty() ? "." : start_dir) / "Templates" / "ABA.dotx";
  std::error_code ec;
  for (const fs::path& p :
       {own, fs::path(LIBRATO_BUILD_TEMPLATE), fs::path(LIBRATO_INSTALLED_TEMPLATE),
        fs::path(LIBRATO_SOURCE_TEMPLATE)})
    if (fs::is_regular_file(p, ec)) return p.string();
  return own.string();
}

std::string BalanceLine(const std::string& model, std::int64_t serial) {
  return "на весах " + model + " № " + std::to_string(serial) + "\n";
}

std::string ProtocolHeading(const SessionParameters& params, const std::string& model,
                            std::int64_t serial) {
  if (params.DetermineSKO)
    return "определение СКО весов " + model + " № " + std::to_string(serial) + "\n";
  return std::string("определения массы при поверке/калибровке ") +
         (params.WeightCount > 1 ? "гирь " : "гири ") + "\n" + BalanceLine(model, serial);
}

float SpanSeconds(DateTime span) {
  const TimeOfDay d = TimeOfDayOf(span);
  return static_cast<float>(d.hours * 3600 + d.minutes * 60 + d.seconds + d.milliseconds * 0.001);
}

std::string SpreadText(DateTime max, DateTime min) {
  const double v = static_cast<double>(SpanSeconds(max)) - static_cast<double>(SpanSeconds(min));
  const double r = std::trunc(10 * v + 0.5) / 10;
  return MassText(-1, nullptr).FormatMass(false, r);
}

double AirDensity(double t, double h, double p, PressureUnit unit) {
  const double P = unit == PressureUnit::MmHg ? p * 0.0013332213635703772 * 1000 : p;
  return (0.34848 * P - 0.009024 * h * std::exp(0.0612 * t)) / (273.15 + t);
}

std::string DensityText(double rho) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.5e", rho);
  return FormatFixed(6, std::strtod(buf, nullptr));
}

BuildResult BuildProtocol(const ProtocolInputs& in) {
  BuildResult out;
  try {
    // The password hash takes as long as the rest of the build; it runs
    // beside it.
    std::future<ProtectionValues> protection =
        std::async(std::launch::async, [] { return MakeProtection(kProtocolPassword); });
    if (!in.results) throw DocxError("нет таблицы результатов");
    const SessionParameters& s = in.params;
    const ResultsTable& results = *in.results;
    DocxDocument doc = DocxDocument::Open(in.templatePath);
    const int last = results.rowCount() - 1;

    doc.setCellText(kResultsTable, 1, 3, s.MethodABA || s.GroupCycle ? "Метод ABA" : "Метод ABBA");
    CopyResultsTable(doc, kResultsTable, results, last);

    doc.setCellText(kCustomerTable, 1, 2, s.Customer);
    doc.setCellText(kCustomerTable, 2, 2, s.Company);

    doc.setCellText(kReferenceTable, 2, 1, s.NominalText);
    doc.setCellText(kReferenceTable, 2, 2, s.RealText);
    doc.setCellText(kReferenceTable, 2, 3, s.AccuracyClass);
    doc.setCellText(kReferenceTable, 2, 4, s.CertifNum);
    doc.setCellText(kReferenceTable, 2, 5, s.ReferenceNumber);

    // Paragraph 3 first: its heading may grow into two paragraphs.
    doc.setParagraphText(3, ProtocolHeading(s, in.balanceModel, in.balanceSerial));
    doc.setParagraphText(2, "Протокол № " + s.ProtocolNumber + "\n");

    // A field holding only blanks counts as empty.
    float t = 0, h = 0, p = 0;
    if (!Trimmed(s.Temperature).empty()) {
      doc.setCellText(kAmbientTable, 1, 2, s.Temperature);
      t = FieldValue(s.Temperature, "Температура");
    }
    if (!Trimmed(s.Humidity).empty()) {
      doc.setCellText(kAmbientTable, 1, 5, s.Humidity);
      h = FieldValue(s.Humidity, "Влажность");
    }
    if (!Trimmed(s.Pressure).empty()) {
      doc.setCellText(kAmbientTable, 2, 2, s.Pressure);
      doc.setCellText(kAmbientTable, 2, 3, s.PressureUnitText);
      p = FieldValue(s.Pressure, "Давление");
      if (t != 0 && h != 0)
        doc.setCellText(kAmbientTable, 2, 5, DensityText(AirDensity(t, h, p, s.PressureUnitIndex)));
    }

    doc.setCellText(kSchemeTable, 1, 3, std::to_string(s.WeightCount));
    doc.setCellText(
        kSchemeTable, 2, 3,
        s.GroupCycle ? "A" + std::to_string(s.LoadInCycle) + "BA" : (s.MethodABA ? "ABA" : "ABBA"));
    doc.setCellText(kSchemeTable, 3, 3, s.GroupCycle ? "1" : std::to_string(s.CyclesToWeight));

    const bool sko = s.DetermineSKO && in.bCount > 1;
    if (sko) {
      const MassText mass(in.decimals, nullptr);
      doc.setCellText(kSkoTable, 1, 2, in.balanceSko ? mass.FormatMass(true, *in.balanceSko) : "");
      doc.setCellText(kSkoTable, 1, 1, "СКО =");
      doc.setCellText(kSkoTable, 1, 3, "г");
      for (int i = 1; i <= last; ++i)
        for (int c = 7; c <= 9; ++c) doc.setCellText(kResultsTable, i + 1, c, "");
    }

    doc.setCellText(kSpreadTable, 1, 2, SpreadText(in.reportPlaceMax, in.reportPlaceMin));
    doc.setCellText(kSpreadTable, 2, 2, SpreadText(in.reportRemoveMax, in.reportRemoveMin));

    doc.setCellText(kSignatureTable, 3, 2, ShortDateText(in.today));
    doc.setCellText(kSignatureTable, 1, 3, s.Tester);
    doc.setCellText(kSignatureTable, 2, 1, kProgramVersion);

    // The template's finishing touch: in the standard-deviation mode the
    // results columns that stay blank say so under their headings; otherwise the
    // empty standard-deviation line is taken out. Table 8 was filled above,
    // so its number no longer matters.
    if (sko) {
      for (int c = 7; c <= 9; ++c)
        doc.setCellText(
            kResultsTable, 1, c,
            ResultsTable::Headers()[static_cast<std::size_t>(c - 1)] + "\n(не определяется)");
    } else {
      doc.removeTable(kSkoTable);
    }

    doc.protect(protection.get());
    out.document.emplace(std::move(doc));
  } catch (const std::bad_alloc&) {
    out.error = "недостаточно памяти";
  } catch (const std::exception& e) {
    out.error = e.what();
  }
  return out;
}

}  // namespace librato
