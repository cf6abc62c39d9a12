#include <QLabel>
#include <QLineEdit>

#include "config/web_settings_file.h"
#include "setup_fixture.h"
#include "support/test_server.h"

namespace corvane::test {
namespace {

class WebAccessFrameTest : public SetupFixture {
 protected:
  void SetUp() override {
    StoreUsers({{"ANN", "PW1", "12345678"}});
    Configure([](ServerSettings& s) { s.ListenPort = 4321; });
  }
  QLabel* Address() { return Find<QLabel>("lblWebAddress"); }
};

TEST_F(WebAccessFrameTest, ShowsThePortAndTheAddressAsALink) {
  Configure([](ServerSettings& s) { s.WebPort = 8088; });
  OpenDialog();
  EXPECT_EQ(Find<QLineEdit>("txtWebPort")->text(), "8088");
  EXPECT_TRUE(Address()->text().startsWith("<a href=\"http://"));
  EXPECT_TRUE(Address()->text().contains(":8088/"));
  EXPECT_TRUE(Address()->openExternalLinks());
  Type(Find<QLineEdit>("txtWebPort"), "0");
  EXPECT_EQ(Address()->text(), "Off");
}

TEST_F(WebAccessFrameTest, SavingAPortStartsWebAccessAndAnUnusablePortKeepsTheOldOne) {
  const quint16 port = FreeListenPort();
  ASSERT_NE(port, 0);
  OpenDialog();
  Type(Find<QLineEdit>("txtWebPort"), "70000");
  Click("cmdSetup_0");
  EXPECT_EQ(server_->Settings().WebPort, 0);
  EXPECT_EQ(server_->Web(), nullptr);

  OpenDialog();
  Type(Find<QLineEdit>("txtWebPort"), QString::number(port));
  Click("cmdSetup_0");
  EXPECT_EQ(server_->Settings().WebPort, port);
  ASSERT_NE(server_->Web(), nullptr);
  EXPECT_EQ(server_->Web()->Port(), port);
  // Written with the other settings files.
  server_->SaveSettingsFiles();
  ServerSettings loaded;
  EXPECT_TRUE(WebSettingsFile(server_->ProgramDir()).Load(loaded));
  EXPECT_EQ(loaded.WebPort, port);
}

}  // namespace
}  // namespace corvane::test
