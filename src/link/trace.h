#pragma once
// The run's diagnostic trace: plain lines, appended by the procedure and the
// computations on the user-interface thread. The window mirrors it in its
// hidden memo; tests read it directly.

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace librato {

class Trace {
 public:
  // Called after every change (a line added, or the trace emptied).
  using Listener = std::function<void()>;

  // A long run writes millions of lines; only the latest kKeep are kept, so
  // the trace never grows without bound. A deque: adding never moves the
  // lines already there, so no tick pays for a reallocation.
  static constexpr std::size_t kKeep = 200000;

  void add(std::string line);
  void clear();
  // The lines kept, oldest first.
  const std::deque<std::string>& lines() const { return lines_; }
  // How many older lines were dropped since the last clear(): lines()[i] is
  // line number dropped() + i of the trace.
  std::size_t dropped() const { return dropped_; }
  // The kept lines as a vector, for comparisons.
  std::vector<std::string> copyLines() const { return {lines_.begin(), lines_.end()}; }
  // Number of lines equal to `line`.
  int count(const std::string& line) const;
  void setListener(Listener listener) { listener_ = std::move(listener); }

 private:
  std::deque<std::string> lines_;
  std::size_t dropped_ = 0;
  Listener listener_;
};

}  // namespace librato
