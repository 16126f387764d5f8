// The framework through the exports of the Tarc plug-ins, loaded as a host does.
#include <gtest/gtest.h>

#include <cstring>

#include "host/host.h"
#include "tarc.h"
#include "test_files.h"

namespace {

class TarcPlugin : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(host::LoadPlugin(PluginPath("Tarc"), &plugin, &error)) << error;
  }
  void TearDown() override { host::UnloadPlugin(&plugin); }
  host::Plugin plugin;
};

TEST_F(TarcPlugin, BindsEveryArchiveExport) {
  EXPECT_NE(plugin.isSupported, nullptr);
  EXPECT_NE(plugin.getArchiveInfo, nullptr);
  EXPECT_NE(plugin.getFileInfo, nullptr);
  EXPECT_NE(plugin.getFile, nullptr);
  EXPECT_NE(plugin.configurationDlg, nullptr);
  EXPECT_EQ(host::PluginInfo(plugin, 0), "00AM");
}

}  // namespace
