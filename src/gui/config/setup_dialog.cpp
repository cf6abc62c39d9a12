#include "gui/config/setup_dialog.h"

#include "core/server/server_instance.h"

namespace corvane {

SetupDialog::SetupDialog(ServerInstance& server, QWidget* parent)
    : QDialog(parent), server_(server) {
  setObjectName(QStringLiteral("frmSetup"));
  setWindowTitle(QStringLiteral("Server Setup"));
}

void SetupDialog::SelectTab(int) {}

}  // namespace corvane
