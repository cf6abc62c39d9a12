#pragma once

#include <cstdint>
#include <optional>

namespace corvane {

// A setting that holds whatever its file gave it: a number, or nothing when the field
// was empty. Every reader takes nothing as 0.
using SettingNumber = std::optional<double>;

inline int SettingValue(const SettingNumber& number) {
  return number ? static_cast<int>(*number) : 0;
}

// The in-memory server settings; the settings files and the setup dialog read and write
// them. Field names are the settings' own names.
struct ServerSettings {
  int16_t ListenPort = 0;
  SettingNumber RunAtStartup;
  SettingNumber RunMinimized;
  int32_t RefreshRate = 5;
  SettingNumber KeepLogFile;
  int16_t EncryptionEnabled = 0;
  SettingNumber AllowMultipleLogons;
  int16_t InactivityLimit = 0;
  // The web access port of web.dat; 0 (or anything outside 1..65535) keeps web access off.
  int32_t WebPort = 0;
  // Main-window placement in twips; unset until User.dat is read or the window is placed.
  SettingNumber WindowTop;
  SettingNumber WindowLeft;
  std::optional<int32_t> WindowWidth;
  SettingNumber WindowHeight;
};

// True when the web port is one a listener can use.
inline bool WebPortUsable(int32_t port) { return port > 0 && port <= 65535; }

}  // namespace corvane
