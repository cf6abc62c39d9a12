#pragma once

#include <QString>

namespace corvane {

// How the server tells the operator something (a database that cannot be read, a listener
// that failed): a message it never waits for. The desktop shows it in a message box on the
// windows' thread, the headless mode writes it to the error stream.
class OperatorNotices {
 public:
  enum class Icon { Critical, Question, Exclamation, Information };

  virtual ~OperatorNotices() = default;
  // An OK-only message.
  virtual void ShowMessage(const QString& text, const QString& title, Icon icon) = 0;
};

// The message boxes through which the windows ask or tell the operator something; only the
// windows ask questions, before they call the server. Tests answer them.
class OperatorPrompts : public OperatorNotices {
 public:
  // OK/Cancel with Cancel as the default button; true for OK.
  virtual bool ConfirmOkCancel(const QString& text, const QString& title, Icon icon) = 0;
};

}  // namespace corvane
