#pragma once

#include <QDialog>
#include <functional>

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
  // Tests a connection text off the event loop and answers on it, unless the receiver is
  // gone by then (the server's ProbeServerDatabase).
  using Probe = std::function<void(const QString& location, QObject* receiver,
                                   std::function<void(const QString&)> answered)>;

  explicit ServerDatabaseDialog(Probe probe, QWidget* parent = nullptr);

  QString Name() const;
  QString Location() const;
  // What the last test (or a refused OK) said.
  QString Verdict() const;

  void accept() override;

 private:
  void Test();

  Probe probe_;
  QLineEdit* name_;
  QLineEdit* location_;
  QPushButton* test_;
  QLabel* verdict_;
};

}  // namespace corvane
