#pragma once

#include <QIcon>

namespace corvane {

// The program's picture: window icon of every window and the tray icon.
QIcon DesktopIcon();

}  // namespace corvane
