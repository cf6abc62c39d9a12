#pragma once

#include <QString>

#include "base/catalogue.h"
#include "base/server_settings.h"

namespace corvane {

// The four settings files in the program's directory: "User.dat" (main-window
// placement), "database.dat" (published databases), "general.dat" (general options)
// and "network.dat" (listening port). Each operation opens, reads or writes, and closes
// its file before it returns. Saves replace a file atomically, so a crash leaves the
// previous file whole; a save that fails leaves the previous file as it was.
class SettingsFiles {
 public:
  explicit SettingsFiles(QString programDir);

  // True when User.dat exists and was read whole. A User.dat that cannot be opened or
  // read changes nothing and gives false, so the window is centred instead.
  bool LoadWindowPlacement(ServerSettings& settings);
  void SaveWindowPlacement(const ServerSettings& settings);

  // True when database.dat exists and was read to its end. Entries whose file no longer
  // exists are dropped. On a read error the entries read so far stay and it gives false.
  bool LoadDatabaseList(PublishedList& published);
  // An empty list deletes database.dat.
  void SaveDatabaseList(const PublishedList& published);

  // Without general.dat only RefreshRate changes, to 5. A field that cannot be read
  // leaves it and the rest of its line as they were; a file cut short reads the fields
  // it lacks as nothing (0 for the integers).
  void LoadGeneralSettings(ServerSettings& settings);
  void SaveGeneralSettings(const ServerSettings& settings);

  // True when network.dat exists, was read, and ListenPort is not 0 (a negative port
  // counts as set). A read error, such as a port beyond the 16-bit range, gives false.
  bool LoadNetworkSettings(ServerSettings& settings);
  // A port of 0 deletes network.dat.
  void SaveNetworkSettings(const ServerSettings& settings);

  QString UserFilePath() const;
  QString DatabaseFilePath() const;
  QString GeneralFilePath() const;
  QString NetworkFilePath() const;

 private:
  QString FilePath(const char* name) const;

  QString programDir_;
};

}  // namespace corvane
