#include "demo_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "link/mass_text.h"
#include "sim_cli.h"

namespace librato::demo {

const char* const kDemoUsage =
    "usage: librato-demo [options]\n"
    "balance: --protocol 1|2  --model <designation>  --serial <n>  --decimals <d>\n"
    "  --reference <g>  --tests <g1,g2,...>  --noise <steps>  --settle <s>  --seed <n>\n"
    "  --corrupt-rate <0..1>  --garbage-rate <0..1>  --drop-rate <0..1>\n"
    "  --disconnect-after <s>  --port <n>\n"
    "run: --weights <n>  --method ABA|ABBA  --group <L> | --individual <C>\n"
    "  --dependent | --independent  --sko  --readout <3|4|5|10|15|20>\n"
    "  --nominal <text>  --real <text>  --class <text>  --reference-number <text>\n"
    "  --certificate <text>  --customer <text>  --company <text>  --tester <text>\n"
    "  --protocol-number <text>  --temperature <text>  --humidity <text>\n"
    "  --pressure <text>  --pressure-unit mmhg|hpa  --numbers <n1,n2,...>  --voice\n"
    "output: --results <file>  --protocol-out <file.docx>  --timing <file>\n"
    "  --trace <file>"
    "  --time-limit <s>  --show\n";

namespace {

using sim::ReadInteger;
using sim::ReadNumber;

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) out.push_back(item);
  return out;
}

}  // namespace

std::string ParseDemoOptions(const std::vector<std::string>& args, DemoOptions& o) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& name = args[i];
    if (name == "--help" || name == "-h") {
      o.help = true;
      return "";
    }
    // Flags without a value.
    if (name == "--dependent" || name == "--independent") {
      o.dependent = name == "--dependent";
      continue;
    }
    if (name == "--sko") {
      o.sko = true;
      continue;
    }
    if (name == "--voice") {
      o.voice = true;
      continue;
    }
    if (name == "--show") {
      o.show = true;
      continue;
    }
    if (name.rfind("--", 0) != 0) return "Unexpected argument \"" + name + "\".";
    if (i + 1 >= args.size()) return "The option " + name + " needs a value.";
    const std::string& v = args[++i];
    long long n = 0;
    double x = 0;
    const auto bad = [&](const char* what) {
      return "The option " + name + " needs " + what + ", not \"" + v + "\".";
    };
    const auto rate = [&](double& into) {
      if (!ReadNumber(v, x) || x < 0 || x > 1) return false;
      into = x;
      return true;
    };
    if (name == "--protocol") {
      if (v != "1" && v != "2") return bad("1 or 2");
      o.balance.protocol = v == "1" ? 1 : 2;
    } else if (name == "--model") {
      o.balance.model = v;
    } else if (name == "--serial") {
      if (!ReadInteger(v, n) || n < 0) return bad("a serial number");
      o.balance.serial = n;
    } else if (name == "--decimals") {
      if (!ReadInteger(v, n) || n < 0 || n > 6) return bad("0 to 6");
      o.balance.decimals = static_cast<int>(n);
    } else if (name == "--reference") {
      if (!ReadNumber(v, x) || x <= 0) return bad("a mass in grams");
      o.reference = x;
    } else if (name == "--tests") {
      o.tests.clear();
      for (const std::string& item : SplitList(v)) {
        if (!ReadNumber(item, x) || x <= 0) return bad("masses in grams");
        o.tests.push_back(x);
      }
    } else if (name == "--noise") {
      if (!ReadNumber(v, x) || x < 0) return bad("display steps");
      o.balance.noiseSteps = x;
    } else if (name == "--settle") {
      if (!ReadNumber(v, x) || x < 0) return bad("seconds");
      o.balance.settleSeconds = x;
    } else if (name == "--seed") {
      if (!ReadInteger(v, n) || n < 0) return bad("a number");
      o.balance.seed = static_cast<std::uint64_t>(n);
    } else if (name == "--corrupt-rate") {
      if (!rate(o.balance.corruptRate)) return bad("a rate from 0 to 1");
    } else if (name == "--garbage-rate") {
      if (!rate(o.balance.garbageRate)) return bad("a rate from 0 to 1");
    } else if (name == "--drop-rate") {
      if (!rate(o.balance.dropRate)) return bad("a rate from 0 to 1");
    } else if (name == "--disconnect-after") {
      if (!ReadNumber(v, x) || x < 0) return bad("seconds");
      o.disconnectAfter = x;
    } else if (name == "--port") {
      if (!ReadInteger(v, n) || n < 1 || n > 255) return bad("1 to 255");
      o.port = static_cast<int>(n);
    } else if (name == "--weights") {
      if (!ReadInteger(v, n) || n < 1 || n > 100) return bad("1 to 100");
      o.weights = static_cast<int>(n);
    } else if (name == "--method") {
      if (v != "ABA" && v != "ABBA") return bad("ABA or ABBA");
      o.abba = v == "ABBA";
    } else if (name == "--group" || name == "--individual") {
      if (!ReadInteger(v, n) || n < 1 || n > 100) return bad("a count from 1");
      o.group = name == "--group";
      (o.group ? o.perCycle : o.cycles) = static_cast<int>(n);
    } else if (name == "--readout") {
      if (v != "3" && v != "4" && v != "5" && v != "10" && v != "15" && v != "20")
        return bad("3, 4, 5, 10, 15 or 20");
      o.readout = std::atoi(v.c_str());
    } else if (name == "--nominal") {
      o.nominal = v;
    } else if (name == "--real") {
      o.real = v;
    } else if (name == "--class") {
      o.accuracyClass = v;
    } else if (name == "--reference-number") {
      o.referenceNumber = v;
    } else if (name == "--certificate") {
      o.certificate = v;
    } else if (name == "--customer") {
      o.customer = v;
    } else if (name == "--company") {
      o.company = v;
    } else if (name == "--tester") {
      o.tester = v;
    } else if (name == "--protocol-number") {
      o.protocolNumber = v;
    } else if (name == "--temperature") {
      o.temperature = v;
    } else if (name == "--humidity") {
      o.humidity = v;
    } else if (name == "--pressure") {
      o.pressure = v;
    } else if (name == "--pressure-unit") {
      if (v != "mmhg" && v != "hpa") return bad("mmhg or hpa");
      o.hpa = v == "hpa";
    } else if (name == "--numbers") {
      o.numbers = SplitList(v);
    } else if (name == "--results") {
      o.results = v;
    } else if (name == "--protocol-out") {
      o.protocolOut = v;
    } else if (name == "--timing") {
      o.timing = v;
    } else if (name == "--trace") {
      o.trace = v;
    } else if (name == "--time-limit") {
      if (!ReadNumber(v, x) || x <= 0) return bad("seconds");
      o.timeLimit = x;
    } else {
      return "Unknown option " + name + ".";
    }
  }
  return "";
}

double TrueTestMass(const DemoOptions& o, double nominal, int w) {
  if (w >= 1 && static_cast<std::size_t>(w) <= o.tests.size()) return o.tests[w - 1];
  return nominal;
}

}  // namespace librato::demo
