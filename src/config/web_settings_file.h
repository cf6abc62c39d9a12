#pragma once

#include <QString>

#include "base/server_settings.h"

namespace corvane {

// "web.dat" in the program directory: one record holding the web access port, written like
// network.dat. Without the file, or with a port of 0, web access is off.
class WebSettingsFile {
 public:
  explicit WebSettingsFile(QString programDir);

  // Reads WebPort; true when the file exists, was read and the port is usable (1..65535).
  // A missing or unreadable file sets WebPort to 0.
  bool Load(ServerSettings& settings) const;
  // A port of 0 deletes web.dat.
  void Save(const ServerSettings& settings) const;

  QString FilePath() const;

 private:
  QString programDir_;
};

}  // namespace corvane
