// Field reading: a message text read field by field, each field also read as a number.
// Fields written with LeadField and AddField must read back unchanged.
#include <QList>

#include "protocol/command_error.h"
#include "wire/control_chars.h"
#include "base/leading_number.h"
#include "wire/message_fields.h"
#include "harness.h"

using namespace corvane;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::EnsureApplication();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::InputReader input(data, size);
  const QByteArray text = input.Rest();

  // As received, with the end marker the unwrapping adds.
  FieldCursor cursor(text + kEtx + kEot);
  QList<QByteArray> read;
  try {
    for (int i = 0; i < 100000; ++i) {
      read.append(cursor.Next());
      LeadingNumber(read.back());
      try {
        FieldNumber(read.back());
      } catch (const CommandError&) {
      }
    }
    fuzz::Fail("a message without end gave endless fields");
  } catch (const CommandError&) {
  }

  // Round trip of fields that hold no EOT and do not begin with ETX.
  QList<QByteArray> fields = text.split('\x04');
  QByteArray message;
  for (qsizetype i = 0; i < fields.size(); ++i) {
    while (fields[i].startsWith('\x03')) fields[i].remove(0, 1);
    message += i == 0 ? LeadField(fields[i]) : AddField(fields[i]);
  }
  FieldCursor back(message + kEtx + kEot);
  for (const QByteArray& field : fields) {
    try {
      fuzz::Expect(back.Next() == field, "a written field reads back unchanged");
    } catch (const CommandError&) {
      fuzz::Fail("a written field could not be read back");
    }
  }
  return 0;
}
