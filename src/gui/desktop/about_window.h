#pragma once

#include <QDialog>

#include "gui/desktop/desktop_links.h"

class QLabel;
class QPushButton;

namespace corvane {

// "About Corvane Database" (frmAbout): shown modeless; closes on OK and as soon as it
// loses the focus.
class AboutWindow : public QDialog {
  Q_OBJECT

 public:
  AboutWindow(const QString& computerName, UrlOpener open, QWidget* parent = nullptr);

  // This computer's host name, whole.
  static QString ComputerName();

 Q_SIGNALS:
  // "OK" was pressed: the main window is to be shown.
  void OkPressed();

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  UrlOpener open_;
};

}  // namespace corvane
