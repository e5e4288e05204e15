#pragma once
// The command line and the stdin commands of librato-balance-sim, apart from
// the program so they can be tested.

#include <string>
#include <vector>

#include "balance_sim.h"
#include "link/clock.h"

namespace librato::sim {

class PtyBalance;

struct SimOptions {
  SimConfig config;
  int port = 0;
  bool help = false;
};

extern const char* const kUsage;

// Reads the arguments (without the program name). Returns "" or a sentence.
std::string ParseOptions(const std::vector<std::string>& args, SimOptions& options);

// Runs one command line; returns "ok" or "error: <reason>". `quit` becomes
// true for "quit". `pty` may be null (in-process use): "disconnect" then only
// disconnects the balance.
std::string RunCommand(const std::string& line, BalanceSimulator& balance, PtyBalance* pty,
                       DateTime now, bool& quit);

// Whole-text number readers for command-line values.
bool ReadNumber(const std::string& text, double& value);
bool ReadInteger(const std::string& text, long long& value);

}  // namespace librato::sim
