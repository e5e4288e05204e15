#pragma once
// What the operator entered for a run and its protocol, and the step codes of
// a run's plan.

#include <cstdint>
#include <string>
#include <vector>

namespace librato {

// Version text: window title, settings group, protocol.
inline constexpr const char* kProgramVersion = "Version 1.0.43C";

// One entry of a run's plan; stored as one byte.
enum class ProcedureStep : std::uint8_t {
  WaitForReading = 0,
  ReadInitWeight = 1,
  WaitForTare = 2,
  WaitForClear = 3,
  WaitForA = 4,
  WaitForB = 5,
  Finish = 6,
};
using Plan = std::vector<ProcedureStep>;

enum class PressureUnit : int { MmHg = 0, HPa = 1 };

struct SessionParameters {
  // Captured at Start by the validation.
  int PortNumber = 0;      // n of "COM" n
  int ReadoutTime = 3;     // seconds
  double RealMass = 0;     // conventional mass of the reference weight, g
  double NominalMass = 0;  // nominal mass of the reference weight, g
  int WeightCount = 0;     // weights under test
  // Captured at Start by the plan builder.
  bool DetermineSKO = false;
  bool GroupCycle = true;
  int LoadInCycle = 1;
  int CyclesToWeight = 1;
  bool MethodABA = true;
  bool Depend = true;
  // Read from the controls whenever needed (locked during a run).
  std::string NominalText;  // text of the nominal mass field
  std::string RealText;     // text of the conventional mass field
  std::string AccuracyClass;
  std::string ReferenceNumber;
  std::string CertifNum;
  std::string Customer;
  std::string Company;
  std::string Tester;
  std::string Temperature;
  std::string Humidity;
  std::string Pressure;
  PressureUnit PressureUnitIndex = PressureUnit::MmHg;
  std::string PressureUnitText = "мм рт.ст.";
  std::string ProtocolNumber;
  bool NumbersEntered = false;
};

}  // namespace librato
