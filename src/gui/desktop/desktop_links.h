#pragma once

#include <QString>
#include <QUrl>
#include <functional>

namespace corvane {

// The vendor's web page, opened by "Contact Quillon Software" and the About window's link.
inline constexpr char kVendorAddress[] = "https://www.quillon.example/";

// Opens an address in the desktop's browser or viewer; true when the desktop took it.
// Tests pass a recorder instead of the desktop.
using UrlOpener = std::function<bool(const QUrl&)>;

// The desktop's own opener (QDesktopServices).
UrlOpener DesktopUrlOpener();

void OpenVendorPage(const UrlOpener& open);

// The operator's manual: help/index.html beside the executable, or in the installed
// share folder next to the executable's bin folder. Empty when neither exists.
QString HelpContentsPath(const QString& executableDir);

// Opens the manual; when it is missing nothing is shown. True when it was opened.
bool ShowHelpContents(const QString& executableDir, const UrlOpener& open);

}  // namespace corvane
