#pragma once

#include <QPointer>
#include <QSet>
#include <QWidget>

#include "server/operator_prompts.h"

class QMessageBox;

namespace corvane {

// The operator's questions and messages as modal message boxes. The core writes the
// original's carriage returns as "\r"; each becomes a line break here. A message that is
// still shown is not shown again meanwhile: the server's notices (a listener that keeps
// failing) do not pile up.
class MessageBoxPrompts : public OperatorPrompts {
 public:
  explicit MessageBoxPrompts(QWidget* parent = nullptr) : parent_(parent) {}

  // The window the boxes are centred on; may change once the main window exists.
  void SetParent(QWidget* parent) { parent_ = parent; }

  bool ConfirmOkCancel(const QString& text, const QString& title, Icon icon) override;
  void ShowMessage(const QString& text, const QString& title, Icon icon) override;

  // The text as a message box shows it.
  static QString DisplayText(const QString& text);

 private:
  // The window a box belongs to: the active dialog when it is kept above the others, the
  // parent otherwise.
  QWidget* Owner() const;
  void Prepare(QMessageBox& box) const;

  QPointer<QWidget> parent_;
  QSet<QString> shown_;
};

}  // namespace corvane
