#pragma once
// The run's diagnostic trace: plain lines, appended by the procedure and the
// computations on the user-interface thread. The window mirrors it in its
// hidden memo; tests read it directly.

#include <functional>
#include <string>
#include <vector>

namespace librato {

class Trace {
 public:
  // Called after every change (a line added, or the trace emptied).
  using Listener = std::function<void()>;

  void add(std::string line);
  void clear();
  const std::vector<std::string>& lines() const { return lines_; }
  // Number of lines equal to `line`.
  int count(const std::string& line) const;
  void setListener(Listener listener) { listener_ = std::move(listener); }

 private:
  std::vector<std::string> lines_;
  Listener listener_;
};

}  // namespace librato
