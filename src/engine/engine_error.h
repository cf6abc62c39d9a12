#pragma once

#include <QString>
#include <cstdint>
#include <exception>

namespace corvane {

// Error numbers that callers test or that the activity log shows; they keep the
// numbers handheld clients and operators already know.
namespace engine_error {
constexpr int32_t kGeneric = 3000;
constexpr int32_t kInvalidArgument = 3001;
constexpr int32_t kNoCurrentRecord = 3021;
constexpr int32_t kDuplicateKey = 3022;
constexpr int32_t kFileNotFound = 3024;
constexpr int32_t kReadOnly = 3027;
constexpr int32_t kAlreadyExists = 3012;
constexpr int32_t kUnknownName = 3070;
constexpr int32_t kSyntaxError = 3075;
constexpr int32_t kNoSuchObject = 3078;
constexpr int32_t kUnknownFunction = 3085;
constexpr int32_t kFieldTooSmall = 3163;
constexpr int32_t kNotUpdatableField = 3164;
constexpr int32_t kRecordDeleted = 3167;
constexpr int32_t kChangedByOther = 3197;
constexpr int32_t kLocked = 3260;
constexpr int32_t kRequired = 3314;
constexpr int32_t kNotADatabase = 3343;
constexpr int32_t kOverflow = 3349;
constexpr int32_t kNoEditInProgress = 3020;
constexpr int32_t kTypeMismatch = 3421;
constexpr int32_t kClosed = 3420;
constexpr int32_t kItemNotFound = 3265;
constexpr int32_t kConnectionFailed = 3151;  // a server database does not answer
constexpr int32_t kNotSupported = 3251;      // not available for this kind of database
}  // namespace engine_error

// An engine failure: a number and a description that goes to the client verbatim.
class EngineError : public std::exception {
 public:
  EngineError(int32_t number, QString description);

  int32_t number() const { return number_; }
  const QString& description() const { return description_; }
  const char* what() const noexcept override { return what_.constData(); }

 private:
  int32_t number_;
  QString description_;
  QByteArray what_;
};

// The write of a set found its record gone (3167) or changed since it was read (3197).
EngineError DeletedByOther();
EngineError ChangedByOther();

}  // namespace corvane
