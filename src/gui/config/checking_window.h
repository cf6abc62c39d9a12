#pragma once

#include <QDialog>

class QLabel;
class QMovie;

namespace corvane {

// The database check's progress window (frmChecking): what is being checked, always on
// top, without a close command. The check drives it through the setters.
class CheckingWindow : public QDialog {
  Q_OBJECT

 public:
  // The animation plays only when `animationFile` exists (an animated GIF).
  explicit CheckingWindow(const QString& animationFile, QWidget* parent = nullptr);

  // The animation file the program directory may hold.
  static QString AnimationFileIn(const QString& programDir);

  // "Table: " or "Query: ".
  void SetHeading(const QString& text);
  void SetDatabaseLabel(const QString& text);
  void SetObjectLabel(const QString& text);

  // Shows the window centred, on top, animation running.
  void ShowChecking();
  // Stops the animation and closes the window.
  void Unload();

  bool AnimationPlaying() const;
  QString Heading() const;
  QString DatabaseLabel() const;
  QString ObjectLabel() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QLabel* heading_;
  QLabel* database_;
  QLabel* object_;
  QLabel* animationLabel_;
  QMovie* animation_ = nullptr;
  bool unloading_ = false;
};

}  // namespace corvane
