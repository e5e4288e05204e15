#pragma once
// The protocol of a run: a document made from the template Templates/ABA.dotx
// with the run's parameters and results written into numbered paragraphs and
// table cells, then protected so that only form fields stay editable.

#include <cstdint>
#include <optional>
#include <string>

#include "link/clock.h"
#include "procedure/session.h"
#include "protocol/docx_document.h"

namespace librato {

class ResultsTable;

inline constexpr const char* kProtocolPassword = "plainfields";

// Everything the protocol reads, as it stands when the operator asks for it.
struct ProtocolInputs {
  SessionParameters params;
  const ResultsTable* results = nullptr;
  int bCount = 0;  // test readings of the run
  std::string balanceModel;
  std::int64_t balanceSerial = 0;
  // The balance standard deviation, when the caller could compute it.
  std::optional<double> balanceSko;
  int decimals = -1;  // the balance's liveDecimals, for FormatMass
  // Spans of the placing and removal steps (days); as at the start of a run
  // when no step was timed.
  DateTime reportPlaceMax = 0;
  DateTime reportPlaceMin = 10000000;
  DateTime reportRemoveMax = 0;
  DateTime reportRemoveMin = 10000000;
  DateTime today = 0;
  std::string templatePath;
};

struct BuildResult {
  std::optional<DocxDocument> document;
  std::string error;  // why there is no document
  bool ok() const { return document.has_value(); }
};

// The template: Templates/ABA.dotx below the start folder, else the copy that
// comes with the program (build tree, installed data, source tree). When none
// exists, the path below the start folder, so that the error names it.
std::string ProtocolTemplatePath(const std::string& start_dir);

// "на весах <model> № <serial>" and a line feed.
std::string BalanceLine(const std::string& model, std::int64_t serial);
std::string ProtocolHeading(const SessionParameters& params, const std::string& model,
                            std::int64_t serial);
// Seconds of the time-of-day part of a span, in single precision.
float SpanSeconds(DateTime span);
// Spread max - min of two spans in seconds, rounded to tenths, as written.
std::string SpreadText(DateTime max, DateTime min);
// Air density in kg/m^3 from t in °C, h in %, p in the given unit.
double AirDensity(double t, double h, double p, PressureUnit unit);
// Fixed notation, 6 significant digits, 6 decimals, decimal comma.
std::string DensityText(double rho);

// Builds the whole protocol in memory; never throws. Nothing outside the
// returned document is changed.
BuildResult BuildProtocol(const ProtocolInputs& in);

}  // namespace librato
