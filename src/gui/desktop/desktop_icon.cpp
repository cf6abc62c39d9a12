#include "gui/desktop/desktop_icon.h"

// The resources of a static library are registered by hand; the macro must be called
// outside any namespace.
static void InitDesktopResources() { Q_INIT_RESOURCE(desktop); }

namespace corvane {

QIcon DesktopIcon() {
  InitDesktopResources();
  return QIcon(QStringLiteral(":/corvane/corvane-server-256.png"));
}

}  // namespace corvane
