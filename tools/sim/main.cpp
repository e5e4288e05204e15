// librato-balance-sim: a simulated balance of either protocol on a
// pseudo-terminal, linked as COM<n>, steered by commands on standard input.

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "link/clock.h"
#include "pty_balance.h"
#include "sim_cli.h"

namespace {

// The link to remove when a signal ends the program (unlink is async-signal-safe).
char g_link[4096];

void OnSignal(int sig) {
  if (g_link[0]) ::unlink(g_link);
  ::_exit(128 + sig);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace librato;
  using namespace librato::sim;
  SimOptions options;
  const std::string error = ParseOptions(std::vector<std::string>(argv + 1, argv + argc), options);
  if (options.help) {
    std::cout << kUsage;
    return 0;
  }
  if (!error.empty()) {
    std::cerr << "librato-balance-sim: " << error << "\n" << kUsage;
    return 2;
  }

  Clock& clock = RealClock();
  BalanceSimulator balance(options.config, clock.now());
  PtyBalance pty(balance, clock);
  std::string problem;
  if (!pty.open(problem) || !pty.linkAs(options.port, problem)) {
    std::cerr << "librato-balance-sim: " << problem << "\n";
    return 1;
  }
  std::strncpy(g_link, pty.linkPath().c_str(), sizeof g_link - 1);
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::cout << "port COM" << options.port << " -> " << pty.devicePath() << std::endl;
  pty.start();

  // This thread reads the commands; the pty has its own.
  std::string line;
  bool quit = false;
  while (!quit && std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::cout << RunCommand(line, balance, &pty, clock.now(), quit) << std::endl;
  }
  pty.stop();
  pty.unlink();
  g_link[0] = '\0';
  return 0;
}
