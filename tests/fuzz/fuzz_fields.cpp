// Field reading: a message text read field by field, each field also read as a number.
// Fields written with LeadField and AddField must read back unchanged.
#include <QList>

#include "base/leading_number.h"
#include "base/windows1252.h"
#include "harness.h"
#include "protocol/command_error.h"
#include "protocol/field_reader.h"
#include "wire/control_chars.h"
#include "wire/message_fields.h"
#include "wire/request_codec.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::InputReader input(data, size);
  const QByteArray text = input.Rest();

  // As received, with the end marker the unwrapping adds.
  const std::optional<QList<QByteArray>> read = SplitMessage(text + kEtx + kEot);
  if (read) {
    fuzz::Expect(read->size() <= text.size() + 1, "no more fields than end marks");
    for (const QByteArray& field : *read) {
      LeadingNumber(field);
      try {
        FieldNumber(FromWindows1252(field));
      } catch (const CommandError&) {
      }
    }
  }

  // Round trip of fields that hold no EOT and do not begin with ETX.
  QList<QByteArray> fields = text.split('\x04');
  QByteArray message;
  for (qsizetype i = 0; i < fields.size(); ++i) {
    while (fields[i].startsWith('\x03')) fields[i].remove(0, 1);
    message += i == 0 ? LeadField(fields[i]) : AddField(fields[i]);
  }
  fuzz::Expect(SplitMessage(message + kEtx + kEot) == fields, "written fields read back unchanged");
  return 0;
}
