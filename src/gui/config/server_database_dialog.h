#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace corvane {

// "Server Database": a name and a PostgreSQL connection text to publish, with "Test", which
// connects once and shows the server's version or why it cannot. OK checks the text (no
// password in it) before the dialog closes.
class ServerDatabaseDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ServerDatabaseDialog(QWidget* parent = nullptr);

  QString Name() const;
  QString Location() const;
  // What the last test (or a refused OK) said.
  QString Verdict() const;

  void accept() override;

 private:
  void Test();

  QLineEdit* name_;
  QLineEdit* location_;
  QPushButton* test_;
  QLabel* verdict_;
};

}  // namespace corvane
