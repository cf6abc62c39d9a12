#pragma once

#include <QByteArray>
#include <QString>

namespace corvane {

// Wire texts, settings files and the user store hold one byte per character in
// Windows-1252. The five bytes that code page leaves undefined map to the C1 control
// characters of the same value, so every byte round-trips.
QString FromWindows1252(const QByteArray& bytes);

// Characters outside Windows-1252 become '?'.
QByteArray ToWindows1252(const QString& text);
// The same, with the `uncarried` bytes (those a transport cannot carry) as '?' too.
QByteArray ToWindows1252(const QString& text, const QByteArray& uncarried);

// The text as a Windows-1252 reader sees it: characters outside the code page as '?'.
QString Windows1252Form(const QString& text);
// The text as a reader of ToWindows1252(text, uncarried) sees it.
QString Windows1252Form(const QString& text, const QByteArray& uncarried);
// True when every character of the text has a Windows-1252 form.
bool FitsWindows1252(const QString& text);

}  // namespace corvane
