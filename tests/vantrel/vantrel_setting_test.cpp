// The stored ListAllFrames value, read when the library starts, decides
// between the frame listing and the step listing of the exports.
#include <gtest/gtest.h>

#include "test_files.h"
#include "tests/builders/ani.h"
#include "host/host.h"
#include "test_registry.h"

using namespace build;

namespace {

struct Case {
  bool stored;
  uint32_t value;
  size_t members;
};

TEST(VantrelSetting, StoredValueChoosesStepsOrFrames) {
  AniLayout layout;
  layout.frames = {SeededIconFile(2, 40, 1), SeededIconFile(2, 77, 2), SeededIconFile(1, 300, 3),
                   SeededIconFile(2, 5, 4)};
  layout.steps = std::vector<uint32_t>{0, 1, 2, 3, 2, 1};
  ScratchDir dir;
  std::string path = dir.Write("steps.ani", BuildAni(layout));

  // 1 lists the six steps; missing, 0 or out of range lists the four frames.
  const Case cases[] = {{true, 1, 6}, {false, 0, 4}, {true, 0, 4}, {true, 2, 4}};
  for (const Case& c : cases) {
    testreg::Reset();
    if (c.stored) testreg::PutDword(testreg::VantrelKey, "ListAllFrames", c.value);
    void* library = testreg::LoadFresh("Vantrel");
    ASSERT_NE(library, nullptr);
    auto getArchiveInfo =
        reinterpret_cast<GetArchiveInfoFn>(testreg::Symbol(library, "GetArchiveInfo"));
    auto getFile = reinterpret_cast<GetFileFn>(testreg::Symbol(library, "GetFile"));
    ASSERT_TRUE(getArchiveInfo && getFile);

    SpiHandle h = nullptr;
    ASSERT_EQ(getArchiveInfo(path.c_str(), 0, InputFile, &h), ResultOk);
    std::vector<fileInfo> list = host::TakeEntryList(h);
    EXPECT_EQ(list.size(), c.members) << c.value;
    // Position 4 is the fifth step (frame 2, an icon) or no frame at all.
    SpiHandle block = nullptr;
    int r = getFile(path.c_str(), 4, &block, InputFile | (OutputMemory << OutputKindShift),
                    nullptr, 0);
    if (c.members == 6) {
      ASSERT_EQ(r, ResultOk);
      EXPECT_EQ(std::string(list[4].filename), "#00005.ICO");
      EXPECT_EQ(host::TakeBlock(block, layout.frames[2].size()), layout.frames[2]);
    } else {
      EXPECT_EQ(r, ResultBrokenData) << c.value;
    }
    testreg::Unload(library);
  }
  testreg::Reset();
}

}  // namespace
