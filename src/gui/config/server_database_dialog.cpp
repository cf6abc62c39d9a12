#include "gui/config/server_database_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

#include "base/database_location.h"

namespace corvane {

ServerDatabaseDialog::ServerDatabaseDialog(Probe probe, QWidget* parent)
    : QDialog(parent), probe_(std::move(probe)) {
  setWindowTitle(QStringLiteral("Server Database"));
  name_ = new QLineEdit(this);
  name_->setObjectName(QStringLiteral("txtServerName"));
  location_ = new QLineEdit(this);
  location_->setObjectName(QStringLiteral("txtConnection"));
  location_->setPlaceholderText(QStringLiteral("postgresql://host/database or service=NAME"));
  test_ = new QPushButton(QStringLiteral("Test"), this);
  test_->setObjectName(QStringLiteral("cmdTest"));
  verdict_ = new QLabel(this);
  verdict_->setObjectName(QStringLiteral("lblVerdict"));
  verdict_->setWordWrap(true);
  verdict_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Name"), name_);
  form->addRow(QStringLiteral("Connection"), location_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(test_, 0, Qt::AlignLeft);
  layout->addWidget(verdict_);
  layout->addWidget(buttons);
  connect(test_, &QPushButton::clicked, this, &ServerDatabaseDialog::Test);
  connect(buttons, &QDialogButtonBox::accepted, this, &ServerDatabaseDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &ServerDatabaseDialog::reject);
  resize(460, sizeHint().height());
}

QString ServerDatabaseDialog::Name() const { return name_->text().trimmed(); }
QString ServerDatabaseDialog::Location() const { return location_->text().trimmed(); }
QString ServerDatabaseDialog::Verdict() const { return verdict_->text(); }

void ServerDatabaseDialog::accept() {
  QString problem;
  if (Name().isEmpty()) {
    problem = QStringLiteral("Give the database a name.");
  } else if (!IsServerDatabaseLocation(Location())) {
    problem = QStringLiteral(
        "The connection text begins with postgresql://, postgres:// or "
        "service=.");
  } else {
    problem = ServerLocationProblem(Location());
  }
  if (!problem.isEmpty()) {
    verdict_->setText(problem);
    return;
  }
  QDialog::accept();
}

void ServerDatabaseDialog::Test() {
  // Connecting may take the whole connect timeout, so the server does it on a worker.
  test_->setEnabled(false);
  verdict_->setText(QStringLiteral("Connecting..."));
  probe_(Location(), this, [this](const QString& answer) {
    verdict_->setText(answer);
    test_->setEnabled(true);
  });
}

}  // namespace corvane
