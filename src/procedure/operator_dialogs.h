#pragma once
// Every message and question to the operator goes through this interface: the
// window answers it with message boxes, tests with a scripted answerer.

#include <optional>
#include <string>

namespace librato {

// Buttons and icon of a message, by the classic message-box flag values.
enum MessageFlags : int {
  kMsgOk = 0,                  // OK, no icon
  kMsgOkCancelQuestion = 33,   // OK and Cancel, question icon
  kMsgYesNoCancelQuestion = 35,
  kMsgYesNoQuestion = 36,
  kMsgOkWarning = 48,          // OK, exclamation icon
  kMsgYesNoWarning = 52,       // Yes and No, exclamation icon
};

enum class Answer { Ok, Cancel, Yes, No };

class OperatorDialogs {
 public:
  virtual ~OperatorDialogs() = default;
  // A modal message; returns the button pressed (closing the box counts as
  // Cancel, or No where there is no Cancel).
  virtual Answer message(const std::string& text, const std::string& caption, int flags) = 0;
  // The standard error box for an error that ended a handler (a failed
  // conversion, a failed protocol build).
  virtual void error(const std::string& text) = 0;
  // The desktop's save dialog; nothing when the operator cancels.
  virtual std::optional<std::string> saveFile(const std::string& caption,
                                              const std::string& defaultPath,
                                              const std::string& filter) = 0;
};

}  // namespace librato
