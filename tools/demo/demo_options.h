#pragma once
// The command line of librato-demo.

#include <optional>
#include <string>
#include <vector>

#include "balance_sim.h"

namespace librato::demo {

struct DemoOptions {
  sim::SimConfig balance;
  std::optional<double> reference;        // true mass of the reference weight, g
  std::vector<double> tests;              // true masses of the test weights, g
  std::optional<double> disconnectAfter;  // seconds after Start
  int port = 1;

  int weights = 2;
  bool abba = false;
  bool group = false;
  int perCycle = 1;  // --group L
  int cycles = 1;    // --individual C
  bool dependent = true;
  bool sko = false;
  int readout = 3;
  std::string nominal = "100";
  std::string real = "100";
  std::optional<std::string> accuracyClass;
  std::string referenceNumber, certificate, customer, company, tester, protocolNumber;
  std::string temperature, humidity, pressure;
  bool hpa = false;
  std::optional<std::vector<std::string>> numbers;
  bool voice = false;

  std::string results;      // empty: standard output
  std::string protocolOut;  // empty: no protocol
  std::string timing;       // empty: no step timing figures
  std::string trace;        // empty: the trace is not written out
  double timeLimit = 900;   // seconds; then Stop is pressed
  bool show = false;
  bool help = false;
};

extern const char* const kDemoUsage;

// Reads the arguments (without the program name); "" or a sentence.
std::string ParseDemoOptions(const std::vector<std::string>& args, DemoOptions& options);

// The true mass of test weight w (from 1).
double TrueTestMass(const DemoOptions& options, double nominal, int w);

}  // namespace librato::demo
