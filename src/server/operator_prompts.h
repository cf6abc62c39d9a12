#pragma once

#include <QString>

namespace corvane {

// The message boxes through which the server asks or tells the operator something. The
// desktop shows real boxes; the headless mode and the tests answer them.
class OperatorPrompts {
 public:
  enum class Icon { Critical, Question, Exclamation, Information };

  virtual ~OperatorPrompts() = default;
  // OK/Cancel with Cancel as the default button; true for OK.
  virtual bool ConfirmOkCancel(const QString& text, const QString& title, Icon icon) = 0;
  // An OK-only message.
  virtual void ShowMessage(const QString& text, const QString& title, Icon icon) = 0;
};

}  // namespace corvane
