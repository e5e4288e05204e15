#include "sim_cli.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "pty_balance.h"

namespace librato::sim {

const char* const kUsage =
    "usage: librato-balance-sim --protocol 1|2 --port <n> [--model <designation>]\n"
    "         [--serial <number>] [--decimals <d>] [--noise <display steps>]\n"
    "         [--settle <seconds>] [--seed <n>] [--corrupt-rate <0..1>]\n"
    "         [--garbage-rate <0..1>] [--drop-rate <0..1>]\n"
    "Commands on standard input, one per line: put <grams>, remove, zero,\n"
    "silence <seconds>, disconnect, quit.\n";

bool ReadNumber(const std::string& text, double& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return errno == 0 && end && *end == '\0' && std::isfinite(value);
}

bool ReadInteger(const std::string& text, long long& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtoll(text.c_str(), &end, 10);
  return errno == 0 && end && *end == '\0';
}

namespace {}  // namespace

std::string ParseOptions(const std::vector<std::string>& args, SimOptions& o) {
  bool haveProtocol = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& name = args[i];
    if (name == "--help" || name == "-h") {
      o.help = true;
      return "";
    }
    if (name.rfind("--", 0) != 0) return "Unexpected argument \"" + name + "\".";
    if (i + 1 >= args.size()) return "The option " + name + " needs a value.";
    const std::string& v = args[++i];
    long long n = 0;
    double x = 0;
    const auto bad = [&](const char* what) {
      return "The option " + name + " needs " + what + ", not \"" + v + "\".";
    };
    if (name == "--protocol") {
      if (v != "1" && v != "2") return bad("1 or 2");
      o.config.protocol = v == "1" ? 1 : 2;
      haveProtocol = true;
    } else if (name == "--port") {
      if (!ReadInteger(v, n) || n < 1 || n > 255) return bad("a port number from 1 to 255");
      o.port = static_cast<int>(n);
    } else if (name == "--model") {
      if (v.empty()) return bad("a designation");
      o.config.model = v;
    } else if (name == "--serial") {
      if (!ReadInteger(v, n) || n < 0) return bad("a serial number (digits)");
      o.config.serial = n;
    } else if (name == "--decimals") {
      if (!ReadInteger(v, n) || n < 0 || n > 6) return bad("a number of decimals from 0 to 6");
      o.config.decimals = static_cast<int>(n);
    } else if (name == "--noise") {
      if (!ReadNumber(v, x) || x < 0) return bad("a number of display steps (0 or more)");
      o.config.noiseSteps = x;
    } else if (name == "--settle") {
      if (!ReadNumber(v, x) || x < 0) return bad("a number of seconds (0 or more)");
      o.config.settleSeconds = x;
    } else if (name == "--seed") {
      if (!ReadInteger(v, n) || n < 0) return bad("a whole number (0 or more)");
      o.config.seed = static_cast<std::uint64_t>(n);
    } else if (name == "--corrupt-rate" || name == "--garbage-rate" || name == "--drop-rate") {
      if (!ReadNumber(v, x) || x < 0 || x > 1) return bad("a fraction from 0 to 1");
      (name == "--corrupt-rate"   ? o.config.corruptRate
       : name == "--garbage-rate" ? o.config.garbageRate
                                  : o.config.dropRate) = x;
    } else {
      return "Unknown option " + name + ".";
    }
  }
  if (!haveProtocol) return "Say which protocol the balance speaks: --protocol 1 or --protocol 2.";
  if (o.port == 0) return "Say which port to offer the balance on: --port <n> (COM<n>).";
  return CheckConfig(o.config);
}

std::string RunCommand(const std::string& line, BalanceSimulator& balance, PtyBalance* pty,
                       DateTime now, bool& quit) {
  std::istringstream in(line);
  std::string command, argument, extra;
  in >> command >> argument >> extra;
  if (!extra.empty()) return "error: too many words; one command per line";
  double x = 0;
  if (command == "put") {
    if (!ReadNumber(argument, x)) return "error: put needs a mass in grams, e.g. put 100.0002";
    if (x < 0) return "error: a load cannot be negative";
    balance.put(x, now);
    return "ok";
  }
  if (command == "silence") {
    if (!ReadNumber(argument, x) || x < 0) {
      return "error: silence needs a number of seconds, e.g. silence 1";
    }
    balance.silence(x, now);
    return "ok";
  }
  if (!argument.empty()) return "error: " + command + " takes no argument";
  if (command == "remove") {
    balance.remove(now);
    return "ok";
  }
  if (command == "zero") {
    balance.zero(now);
    return "ok";
  }
  if (command == "disconnect") {
    if (!balance.connected()) return "error: already disconnected";
    if (pty) {
      pty->disconnect();
    } else {
      balance.disconnect();
    }
    return "ok";
  }
  if (command == "quit") {
    quit = true;
    return "ok";
  }
  if (command.empty())
    return "error: empty line; commands are put, remove, zero, silence, "
           "disconnect, quit";
  return "error: unknown command \"" + command +
         "\"; commands are put, remove, zero, silence, disconnect, quit";
}

}  // namespace librato::sim
