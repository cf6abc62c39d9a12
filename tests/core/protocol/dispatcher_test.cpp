#include <gtest/gtest.h>

#include "base/text_scramble.h"
#include "support/slot_harness.h"
#include "support/wire_text.h"
#include "wire/cipher.h"

namespace corvane::test {
namespace {

const QByteArray kEnd("\x03\x03\x03");

// The wire bytes of every reply, compared as the clients read them.
class DispatcherTest : public ::testing::Test {
 protected:
  DispatcherTest() {
    users_.Add("BOB", "SECRET:12345678");
    users_.Add("ANN", "pw:23456789");
    users_.Add("ODD", "pw:notanumber");
  }

  const SlotSession& session(int slot) { return harness_.Slot(slot).session(); }
  void IdleFor(int slot, int minutes) {
    for (int i = 0; i < minutes; ++i) harness_.Slot(slot).CountIdleMinute();
  }

  // A connection was just accepted on the slot.
  void Accept(int slot) { harness_.Accept(slot); }

  // Sends a request the way a client does with encryption off: the first one with the logon
  // keys, later ones plain.
  void Send(int slot, std::initializer_list<QByteArray> fields) {
    const QByteArray text = Message(fields);
    harness_.Receive(slot, session(slot).FreshConnection
                               ? EncryptPayload(text, 48, LogonKey) + kEnd + "\x01\x02\x03\x04"
                               : PlainFrame(text));
  }

  void Logon(int slot, const QByteArray& user, const QByteArray& password) {
    Accept(slot);
    Send(slot, {"Logon", user, MirrorText(password), "10.0.0." + QByteArray::number(slot)});
  }

  // The last frame sent, deciphered with the given keys.
  QByteArray LastReply(int32_t k1, int32_t k2) {
    if (sent_.empty()) return {};
    const QByteArray frame = sent_.back().second;
    return *DecryptPayload(frame.left(frame.size() - 7), k1, k2);
  }
  QByteArray LastPlainReply() {
    if (sent_.empty()) return {};
    const QByteArray frame = sent_.back().second;
    EXPECT_TRUE(frame.endsWith(QByteArray("\x03\x03\x03\x04")));
    return frame.left(frame.size() - 4);
  }
  std::vector<int> UsersListSlots() const {
    std::vector<int> slots;
    for (const CurrentUserRow& row : harness_.usersList.Rows()) slots.push_back(row.slot);
    return slots;
  }
  int32_t LastErrorNumber() const { return activity_.entries.back().errorNumber; }

  SlotHarness harness_;
  ServerSettings& settings_ = harness_.settings;
  SharedCatalogue& catalogue_ = harness_.catalogue;
  FakeUserDirectory& users_ = harness_.users;
  RecordingActivity& activity_ = harness_.activity;
  int16_t& keySeed_ = harness_.keySeed;
  std::vector<std::pair<int, QByteArray>>& sent_ = harness_.sent;
};

TEST_F(DispatcherTest, AcceptedLogonWithEncryptionOffAndOn) {
  // The password sent is compared without its blanks and its case.
  Logon(3, "bob", "  SeCrEt ");
  EXPECT_EQ(LastReply(ReplyKey, 12345678), Message({"Accepted", "000"}));
  const SlotSession& session = this->session(3);
  EXPECT_EQ(session.SlotUserName, "bob");
  EXPECT_EQ(session.SlotRemoteAddress, "10.0.0.3");
  EXPECT_EQ(session.SlotKey, 12345678);
  EXPECT_EQ(session.SessionKey, 0);
  EXPECT_TRUE(session.LogonAccepted);
  EXPECT_FALSE(session.FreshConnection);
  EXPECT_EQ(UsersListSlots(), std::vector<int>{3});
  EXPECT_EQ(activity_.events.back(), std::make_pair(3, QByteArray("Logon")));
  EXPECT_EQ(users_.lookups.back(), "bob");
  // With encryption on, the session key is handed out padded to three digits.
  settings_.AllowMultipleLogons = 1;
  settings_.EncryptionEnabled = 1;
  keySeed_ = 7;
  Logon(0, "bob", "secret");
  EXPECT_EQ(LastReply(ReplyKey, 12345678), Message({"Accepted", "007"}));
  EXPECT_EQ(this->session(0).SessionKey, 7);
  keySeed_ = 157;
  Logon(1, "ann", "pw");
  EXPECT_EQ(LastReply(ReplyKey, 23456789), Message({"Accepted", "157"}));
}

TEST_F(DispatcherTest, UnknownUserIsDeniedWithTheLogonKeyWrongPasswordWithTheUsers) {
  Logon(5, "carl", "x");
  EXPECT_EQ(LastReply(ReplyKey, LogonKey), Message({"UserDenied"}));
  EXPECT_EQ(session(5).SlotUserName, "");
  EXPECT_EQ(session(5).SlotRemoteAddress, "10.0.0.5");
  EXPECT_TRUE(UsersListSlots().empty());
  EXPECT_EQ(activity_.events.back(), std::make_pair(5, QByteArray("UserDenied")));
  // A wrong password keeps the key; the name is shown in the row but leaves the slot.
  Logon(2, "bob", "wrong");
  EXPECT_EQ(LastReply(ReplyKey, 12345678), Message({"PassDenied"}));
  EXPECT_EQ(session(2).SlotUserName, "");
  EXPECT_EQ(session(2).SlotKey, 12345678);
  EXPECT_FALSE(session(2).LogonAccepted);
  EXPECT_EQ(activity_.Count("PassDenied"), 1);
}

TEST_F(DispatcherTest, MultipleLogonRuleComparesNamesExactly) {
  settings_.AllowMultipleLogons = 0;
  Logon(3, "bob", "secret");
  Logon(4, "BOB", "secret");
  EXPECT_EQ(LastReply(ReplyKey, 12345678), Message({"Accepted", "000"}));
  Logon(5, "bob", "secret");
  EXPECT_EQ(LastReply(ReplyKey, 12345678), Message({"MultipleUsers"}));
  EXPECT_EQ(session(5).SlotUserName, "");
  EXPECT_EQ(activity_.Count("MultipleUsers"), 1);
  settings_.AllowMultipleLogons = 1;
  Logon(6, "bob", "secret");
  EXPECT_EQ(LastReply(ReplyKey, 12345678), Message({"Accepted", "000"}));
}

TEST_F(DispatcherTest, LoggingOnAgainOnTheSameConnection) {
  settings_.AllowMultipleLogons = 0;
  Logon(3, "bob", "secret");
  // A refused logon ends the accepted one...
  Send(3, {"Logon", "bbo", MirrorText("secret"), "a"});
  EXPECT_EQ(LastReply(ReplyKey, 12345678), Message({"UserDenied"}));
  EXPECT_FALSE(session(3).LogonAccepted);
  sent_.clear();
  Send(3, {"ThankYou"});
  EXPECT_EQ(LastReply(ReplyKey, 12345678), Message({"UserDenied"}));
  // ...and the slot's own name does not stand in the way of logging on again.
  Logon(3, "bob", "secret");
  Send(3, {"Logon", "bob", MirrorText("secret"), "a"});
  EXPECT_EQ(LastReply(ReplyKey, 12345678), Message({"Accepted", "000"}));
  EXPECT_TRUE(session(3).LogonAccepted);
}

TEST_F(DispatcherTest, CommandsBeforeAnAcceptedLogonAreRefused) {
  catalogue_.Replace({{{"a.mdb", "/x/a.mdb"}}, {}, {}});
  Accept(8);
  Send(8, {"ThankYou"});
  EXPECT_EQ(LastReply(ReplyKey, LogonKey), Message({"UserDenied"}));
  // What else the client sent with it is dropped.
  EXPECT_EQ(harness_.Discarded(8), 1);
  EXPECT_EQ(activity_.events.back(), std::make_pair(8, QByteArray("UserDenied")));
  // Not fresh any more, still not logged on: refused again, with the slot's key.
  sent_.clear();
  Send(8, {"Bogus"});
  ASSERT_EQ(sent_.size(), 1u);
  EXPECT_EQ(LastReply(ReplyKey, LogonKey), Message({"UserDenied"}));
  Send(8, {"RegionalFormats"});
  EXPECT_EQ(LastReply(ReplyKey, LogonKey), Message({"UserDenied"}));
}

TEST_F(DispatcherTest, AfterLogonAnUnknownWordCountsAsActivityAndAnErrorClearsTheSlotTexts) {
  Logon(1, "bob", "secret");
  IdleFor(1, 4);
  sent_.clear();
  activity_.events.clear();
  Send(1, {"NoSuchCommand", "x"});
  EXPECT_TRUE(sent_.empty());
  EXPECT_TRUE(activity_.events.empty());
  EXPECT_EQ(session(1).IdleMinutes, 0);
  IdleFor(1, 3);
  Send(1, {"RequestTables"});
  EXPECT_EQ(LastPlainReply(), Message({"ErrorDB", "Invalid procedure call or argument"}));
  EXPECT_EQ(session(1).SlotUserName, "");
  EXPECT_FALSE(session(1).LogonAccepted);
  // No end-of-dispatch step on the error path.
  EXPECT_EQ(session(1).IdleMinutes, 3);
}

TEST_F(DispatcherTest, ErrorIsAnsweredAndLeavesTheFirstMessageFresh) {
  Accept(4);
  Send(4, {"Logon", "bob"});
  EXPECT_EQ(LastPlainReply(), Message({"ErrorDB", "Invalid procedure call or argument"}));
  EXPECT_TRUE(session(4).FreshConnection);
  EXPECT_EQ(LastErrorNumber(), 5);
  EXPECT_EQ(activity_.events.back(), std::make_pair(4, QByteArray("ErrorCommand")));
  // The stored key that is no number.
  Logon(5, "odd", "pw");
  EXPECT_EQ(LastPlainReply(), Message({"ErrorDB", "Type mismatch"}));
  EXPECT_EQ(LastErrorNumber(), 13);
}

TEST_F(DispatcherTest, CatalogueReplies) {
  Logon(0, "bob", "secret");
  sent_.clear();
  Send(0, {"ThankYou"});  // no published database: no reply
  EXPECT_TRUE(sent_.empty());
  Send(0, {"RequestTables", "0"});
  EXPECT_EQ(LastPlainReply(), Message({"Tables"}));
  Send(0, {"RequestQuery", "0"});
  EXPECT_EQ(LastPlainReply(), Message({"Query"}));
  catalogue_.Replace({{{"a.mdb", "/x/a.mdb"}, {"b.mdb", "/x/b.mdb"}},
                      {{"T0"}, {}, {}, {"Orders", "Items"}},
                      {{"~sq_xNamed", "~sq_", "q~sq_y", "~sq", "Plain"}}});
  Send(0, {"ThankYou"});
  EXPECT_EQ(LastPlainReply(), Message({"Databases", "a.mdb", "b.mdb"}));
  Send(0, {"RequestTables", "2.6"});
  EXPECT_EQ(LastPlainReply(), Message({"Tables", "Orders", "Items"}));
  Send(0, {"RequestTables", "1"});
  EXPECT_EQ(LastPlainReply(), Message({"Tables"}));
  Send(0, {"RequestTables", "none"});
  EXPECT_EQ(LastPlainReply(), Message({"Tables", "T0"}));
  Send(0, {"RequestQuery", "0"});
  EXPECT_EQ(LastPlainReply(), Message({"Query", "Named", "", "q~sq_y", "~sq", "Plain"}));
  // The list of an unknown database is an error.
  Send(0, {"RequestQuery", "1"});
  EXPECT_EQ(LastPlainReply(), Message({"ErrorDB", "Subscript out of range"}));
  Logon(0, "bob", "secret");
  Send(0, {"RequestTables", "-1"});
  EXPECT_EQ(LastPlainReply(), Message({"ErrorDB", "Subscript out of range"}));
}

}  // namespace
}  // namespace corvane::test
