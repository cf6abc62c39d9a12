#pragma once

class QWidget;

namespace corvane {

// Keeps a dialog above every other window, or lets it go back among them (the setup dialog
// does for the manual, which opens in another program). Message boxes and the user editor
// stack above a topmost dialog as its own windows, so it never steps down for them.
// A shown window stays shown and keeps the activation; a hidden one stays hidden.
void SetDialogTopmost(QWidget* window, bool topmost);
bool IsDialogTopmost(const QWidget* window);

// Frames a dialog of fixed size with a title and a close button but no maximize button,
// which window managers would offer otherwise; whether it stays on top is kept.
void UseFixedSizeFrame(QWidget* window);

// Places the window in the middle of its screen.
void CenterDialog(QWidget* window);

}  // namespace corvane
