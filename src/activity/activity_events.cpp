#include "activity/activity_events.h"

#include <array>

namespace corvane {
namespace {

using V = ActivityValue;

// "Retreived Database" is spelled as operators and their log readers know it.
constexpr std::array<ActivityEvent, 25> kEvents = {{
    {"ServerStart", "Server Started", false, V::kHostName, V::kHostAddress, V::kNone, V::kNone},
    {"ServerShutdown", "Server Shutdown", false, V::kHostName, V::kHostAddress, V::kNone, V::kNone},
    {"SetupRun", "Setup Run", false, V::kHostName, V::kUsersDisconnected, V::kNone, V::kNone},
    {"MultipleUsers", "Multiple Users", false, V::kUser, V::kRemoteAddress, V::kNone, V::kNone},
    {"UserDenied", "User Denied", false, V::kUser, V::kRemoteAddress, V::kNone, V::kNone},
    {"PassDenied", "Password Denied", false, V::kUser, V::kRemoteAddress, V::kNone, V::kNone},
    {"Logon", "New User", false, V::kUser, V::kRemoteAddress, V::kNone, V::kNone},
    {"Logoff", "User Logoff", false, V::kUser, V::kRemoteAddress, V::kNone, V::kNone},
    {"Database", "Retreived Database", false, V::kUser, V::kDatabase, V::kRecordset, V::kPosition},
    {"Query", "Query Created", false, V::kUser, V::kDatabase, V::kRecordset, V::kCount},
    {"Close", "Closed Database", false, V::kUser, V::kDatabase, V::kRecordset, V::kPosition},
    {"Sort", "Table Sorted", false, V::kUser, V::kDatabase, V::kRecordset, V::kCount},
    {"Update", "Updated Record", false, V::kUser, V::kDatabase, V::kRecordset, V::kPosition},
    {"Add", "Added Record", false, V::kUser, V::kDatabase, V::kRecordset, V::kPosition},
    {"Delete", "Deleted Record", false, V::kUser, V::kDatabase, V::kRecordset, V::kPosition},
    {"Retrieve", "Retrieve Record", false, V::kUser, V::kDatabase, V::kRecordset, V::kPosition},
    {"ErrorOpen", "Open Error: ", true, V::kUser, V::kDatabase, V::kNone, V::kNone},
    {"ErrorUpdate", "Update Error: ", true, V::kUser, V::kDatabase, V::kRecordset, V::kPosition},
    {"ErrorFind", "Find Error: ", true, V::kUser, V::kDatabase, V::kRecordset, V::kPosition},
    {"ErrorAdd", "Add Error: ", true, V::kUser, V::kDatabase, V::kRecordset, V::kPosition},
    {"ErrorDelete", "Delete Error: ", true, V::kUser, V::kDatabase, V::kRecordset, V::kPosition},
    {"ErrorQuery", "Query Error: ", true, V::kUser, V::kDatabase, V::kNone, V::kNone},
    {"ErrorCommand", "Receive Data Error: ", true, V::kUser, V::kDatabase, V::kNone, V::kNone},
    {"ErrorQueryCreate", "Query Create Error: ", true, V::kUser, V::kDatabase, V::kNone, V::kNone},
    {"ErrorSort", "Sort Error: ", true, V::kUser, V::kDatabase, V::kNone, V::kNone},
}};

}  // namespace

const ActivityEvent* FindActivityEvent(const QByteArray& code) {
  for (const ActivityEvent& event : kEvents) {
    if (code == event.code) return &event;
  }
  return nullptr;
}

}  // namespace corvane
