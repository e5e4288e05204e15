#include "trace.h"

#include <algorithm>

namespace librato {

void Trace::add(std::string line) {
  lines_.push_back(std::move(line));
  if (listener_) listener_();
}

void Trace::clear() {
  lines_.clear();
  if (listener_) listener_();
}

int Trace::count(const std::string& line) const {
  return static_cast<int>(std::count(lines_.begin(), lines_.end(), line));
}

}  // namespace librato
