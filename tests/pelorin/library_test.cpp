// A resource library built by the project's own toolchain from known inputs
// (make_test_library.sh): what it lists and what comes out, against the inputs.
#include <gtest/gtest.h>

#include "image_check.h"
#include "pelorin_host.h"
#include "test_files.h"
#include "tests/builders/bytes.h"

namespace {

using build::Bytes;

uint32_t U16(const Bytes& b, size_t at) { return build::Get16(b, at); }
using build::Get32;

// The rebuilt file holds the input's images with the input's directory
// fields; only image offsets may differ (images padded to 4 bytes).
void ExpectSameIcon(const Bytes& out, const Bytes& in, bool cursor) {
  ASSERT_GE(out.size(), 6u);
  ASSERT_EQ(U16(out, 0), 0u);
  ASSERT_EQ(U16(out, 2), cursor ? 2u : 1u);
  ASSERT_EQ(U16(out, 4), U16(in, 4));
  for (uint32_t i = 0; i < U16(in, 4); ++i) {
    const size_t e = 6 + 16 * i;
    const uint32_t size = Get32(in, e + 8);
    if (cursor) {
      EXPECT_EQ(out[e], in[e]) << "width " << i;
      EXPECT_EQ(out[e + 1], in[e + 1]) << "height " << i;
      EXPECT_EQ(Get32(out, e + 4), Get32(in, e + 4)) << "hotspot " << i;
      EXPECT_EQ(Get32(out, e + 8), (size + 3) & ~3u) << "size " << i;
    } else {
      EXPECT_TRUE(std::equal(in.begin() + e, in.begin() + e + 12, out.begin() + e)) << "entry " << i;
    }
    const uint32_t from = Get32(in, e + 12), to = Get32(out, e + 12);
    ASSERT_LE(to + size, out.size());
    EXPECT_TRUE(std::equal(in.begin() + from, in.begin() + from + size, out.begin() + to)) << "image " << i;
  }
  std::string why;
  EXPECT_TRUE(IsWellFormedIconFile(out, cursor ? 2 : 1, &why)) << why;
}

}  // namespace

TEST_F(PelorinPlugin, ToolchainLibraryListsAndExtractsItsInputs) {
  const std::string dir = TestLibraryDir();
  const std::string dll = dir + Sep() + "testres.dll";
  if (!Exists(dll)) GTEST_SKIP() << "no test library (needs ImageMagick, icotool and mingw)";
  auto input = [&](const char* name) { return ReadBytes(dir + Sep() + name); };

  int result = -1;
  const auto list = ListFile(dll, 0, &result);
  ASSERT_EQ(result, 0);
  struct Expect {
    const char* name;
    const char* input;
    char kind;  // 'x' exact bytes, 'i' icon, 'c' cursor
  } expected[] = {
      {"#00007.PNG", "pic.png", 'x'},  {"LOGO.BMP", "b24.bmp", 'x'},  {"#00001.BMP", "b8.bmp", 'x'},
      {"#00001.BMP", "b8ja.bmp", 'x'}, {"#00002.BMP", "b4.bmp", 'x'},  {"#00003.BMP", "b24.bmp", 'x'},
      {"HELLO.DAT", "data.bin", 'x'},  {"#00001.DAT", "data.bin", 'x'}, {"#00001.CUR", "arrow.cur", 'c'},
      {"#00001.ICO", "multi.ico", 'i'}, {"#00001.ICO", "ja.ico", 'i'}, {"#00002.ICO", "small.ico", 'i'},
  };
  ASSERT_EQ(list.size(), std::size(expected));
  for (size_t k = 0; k < list.size(); ++k) {
    const fileInfo& f = list[k];
    const Expect& x = expected[k];
    SCOPED_TRACE(x.input);
    EXPECT_EQ(MemberName(f), x.name);
    Bytes out;
    ASSERT_EQ(ExtractFile(dll, f.position, f.filesize, &out), 0);
    const Bytes in = input(x.input);
    if (x.kind == 'x') {
      EXPECT_EQ(out, in);
    } else {
      ExpectSameIcon(out, in, x.kind == 'c');
    }
    std::string why;
    if (std::string(x.name).find(".BMP") != std::string::npos) {
      EXPECT_TRUE(IsWellFormedBitmapFile(out, &why)) << why;
    }
  }

  // The same member written to disk under its bare name.
  ScratchDir scratch;
  ASSERT_EQ(plugin.getFile(dll.c_str(), list[1].position, const_cast<char*>(scratch.path().c_str()),
                           InputFile, nullptr, 0), 0);
  EXPECT_EQ(ReadBytes(scratch.Join("LOGO.BMP")), input("b24.bmp"));
}
