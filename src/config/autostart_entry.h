#pragma once

#include <QByteArray>
#include <QString>

namespace corvane {

// Where the run-at-startup entry points and where it lives.
struct AutostartPlaces {
  QString executablePath;     // full path of the server executable
  QString defaultProgramDir;  // the folder used when no --dir is given
  QString autostartDir;       // the desktop's autostart folder

  // This executable, and $XDG_CONFIG_HOME/autostart (by default ~/.config/autostart).
  static AutostartPlaces ForThisProgram();
};

// The desktop's "run on computer startup" entry for the server: a desktop entry file
// "corvane-server.desktop" in the autostart folder that starts the executable, with
// --dir when the program directory is not the default one.
class AutostartEntry {
 public:
  AutostartEntry(const QString& programDir, const AutostartPlaces& places);

  QString FilePath() const;
  bool IsPresent() const;
  // The entry's contents as they are written.
  QByteArray EntryText() const;

  // Adds the entry when enabled and absent, removes it when disabled and present. An
  // existing entry is never rewritten, even when the program has moved since.
  void SetRunAtStartup(bool enable);

 private:
  QString programDir_;
  AutostartPlaces places_;
};

}  // namespace corvane
