#include "trace.h"

#include <algorithm>

namespace librato {

void Trace::add(std::string line) {
  if (lines_.size() >= kKeep) {
    lines_.pop_front();
    ++dropped_;
  }
  lines_.push_back(std::move(line));
  if (listener_) listener_();
}

void Trace::clear() {
  lines_.clear();
  dropped_ = 0;
  if (listener_) listener_();
}

int Trace::count(const std::string& line) const {
  return static_cast<int>(std::count(lines_.begin(), lines_.end(), line));
}

}  // namespace librato
