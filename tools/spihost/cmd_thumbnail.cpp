// spihost thumbnail: what a file manager runs (through a .thumbnailer file)
// to draw an executable, an icon, a cursor or an animated cursor. The choice of
// the image is made as Windows Explorer makes it: an executable shows its first
// icon group, an animated cursor its first frame, and of an icon's images the
// one closest to the size asked for.
#include <algorithm>
#include <cstdio>
#include <memory>

#include "commands.h"
#include "console.h"
#include "formats/png.h"
#include "support.h"
#include "thumbnail.h"

namespace spihost {
namespace {

constexpr int kMaxDepth = 4;
constexpr int kDefaultSize = 128;
constexpr int kMaxSize = 1024;
// A file manager waits for us; a hostile file must not make it wait longer or
// take its memory. Real icons need a fraction of both.
constexpr unsigned kMaxSeconds = 10;
constexpr size_t kMaxBytes = size_t{1} << 30;
// The largest stored PNG decoded here: 4096 pixels square.
constexpr size_t kMaxPixels = size_t{1} << 24;

// Where a plug-in reads from: a file on disk (its UTF-8 path), or bytes held in memory.
struct Source {
  const char* source = nullptr;
  SpiLength length = 0;  // 0 for a file
  unsigned kind = InputFile;
  std::string name;    // for the plug-ins' choice by name
};

// An archive plug-in that reads icon files lists the images of one icon: the
// host chooses among them. Every other archive holds icons one after another.
bool ListsImagesOfOneIcon(const LoadedPlugin& p) {
  for (int i = 2; i < 64; i += 2) {
    const std::string pattern = Lower(host::PluginInfo(p.plugin, i));
    if (pattern.empty()) break;
    if (pattern.find("*.ico") != std::string::npos || pattern.find("*.cur") != std::string::npos)
      return true;
  }
  return false;
}

// One member into memory, as a one-image (or one-icon) file.
bool MemberBytes(Job& job, const LoadedPlugin& p, const Source& from, const Member& m,
                 std::vector<uint8_t>* out) {
  InputAt in = JobInput(job, m.position);
  if (from.kind == InputMemory) {
    if (m.position >= static_cast<uintptr_t>(from.length)) return false;
    in = InputAt{from.source + m.position, from.length - static_cast<SpiLength>(m.position), InputMemory};
  }
  return m.filesize != 0 && MemberToMemory(job, p, in.source, in.length, in.kind, m, out) == ResultOk;
}

// A member held in memory, for its own plug-ins.
struct HeldMember {
  std::unique_ptr<host::GuardedBuffer> buffer;
  Source source;
};

HeldMember Hold(const std::vector<uint8_t>& bytes, const std::string& name) {
  HeldMember h;
  h.buffer = std::make_unique<host::GuardedBuffer>(bytes);
  h.source = Source{h.buffer->source(), static_cast<int32_t>(std::min<size_t>(bytes.size(), INT32_MAX)),
                    InputMemory, name};
  return h;
}

bool PictureOf(Job& job, const Source& from, Candidates& c, int size, int depth, ShownPicture* out);

// The picture from an image plug-in, asked for as stored: a PNG of the size
// asked is the thumbnail itself, and any other is decoded here, in about half
// the plug-in's time and without its bitmap copy.
int Fetch(const host::Plugin& p, const Source& from, int size, ShownPicture* out) {
  auto fetch = [&](bool keepPng) {
    return from.kind == InputFile
               ? FetchShownPictureOfFile(p, from.source, keepPng, nullptr, 0, out)
               : FetchShownPicture(p, from.source, from.length, from.kind, keepPng, nullptr, 0, out);
  };
  const int r = fetch(true);
  if (r != ResultOk || out->png.empty() || FitsAsStored(out->png, size)) return r;
  RgbaImage decoded;
  if (!DecodePng(out->png, kMaxPixels, &decoded)) return fetch(false);
  out->png.clear();
  out->image = std::move(decoded);
  return ResultOk;
}

// The picture among the images of one icon that suits size best.
bool BestImage(Job& job, const LoadedPlugin& p, const Source& from, const std::vector<Member>& members,
               int size, ShownPicture* out) {
  std::vector<HeldMember> held;
  std::vector<const LoadedPlugin*> decoders;
  std::vector<ImageChoice> choices;
  for (const Member& m : members) {
    std::vector<uint8_t> bytes;
    if (!MemberBytes(job, p, from, m, &bytes)) continue;
    HeldMember h = Hold(bytes, NameOf(m));
    Candidates c(job.session.plugins, h.source.name, bytes);
    for (const LoadedPlugin* image : c.images()) {
      PictureInfo info{};
      if (!image->plugin.getPictureInfo ||
          image->plugin.getPictureInfo(h.source.source, h.source.length, InputMemory, &info) != ResultOk)
        continue;
      if (info.hInfo) SpiFreeBlock(info.hInfo);
      choices.push_back(ImageChoice{info.width, info.height, info.colorDepth});
      decoders.push_back(image);
      held.push_back(std::move(h));
      break;
    }
  }
  const int chosen = ChooseImage(choices, size);
  if (chosen < 0) return false;
  return Fetch(decoders[static_cast<size_t>(chosen)]->plugin, held[static_cast<size_t>(chosen)].source, size,
               out) == ResultOk;
}

// The first icon of an archive that holds icons in order (the first icon
// group of an executable, the first frame of an animation); cursors only
// where there is no icon.
bool FirstIcon(Job& job, const LoadedPlugin& p, const Source& from, const std::vector<Member>& members,
               int size, int depth, ShownPicture* out) {
  for (const char* ext : {".ico", ".cur"}) {
    for (const Member& m : members) {
      if (!EndsWithNoCase(NameOf(m), ext)) continue;
      std::vector<uint8_t> bytes;
      if (!MemberBytes(job, p, from, m, &bytes)) continue;
      HeldMember h = Hold(bytes, NameOf(m));
      Candidates c(job.session.plugins, h.source.name, bytes);
      if (PictureOf(job, h.source, c, size, depth + 1, out)) return true;
    }
  }
  return false;
}

bool PictureOf(Job& job, const Source& from, Candidates& c, int size, int depth, ShownPicture* out) {
  if (depth > kMaxDepth) return false;
  for (const LoadedPlugin* p : c.images()) {
    if (Fetch(p->plugin, from, size, out) == ResultOk) return true;
  }
  for (const LoadedPlugin* p : c.archives()) {
    // The members of a file on disk come from one mapping of it.
    HeldInput held(job);
    std::vector<Member> members;
    if (ListWith(*p, from.source, from.length, from.kind, &members) != ResultOk) continue;
    if (ListsImagesOfOneIcon(*p) ? BestImage(job, *p, from, members, size, out)
                                 : FirstIcon(job, *p, from, members, size, depth, out))
      return true;
  }
  return false;
}

// sRGB to linear light and back: a mix of pixels is averaged as the eye sees
// light. The tables hold the standard's formulas evaluated in double
// precision, written out so that no thumbnail pays for 4352 calls of pow.
struct SrgbTables {
  // Linear light of each 8-bit sRGB value.
  static constexpr float toLinear[256] = {
    0.0f, 0.000303526991f, 0.000607053982f, 0.000910580973f, 0.00121410796f, 0.00151763496f,
    0.00182116195f, 0.00212468882f, 0.00242821593f, 0.0027317428f, 0.00303526991f, 0.00334653584f,
    0.00367650739f, 0.00402471703f, 0.00439144205f, 0.00477695325f, 0.00518151652f, 0.00560539169f,
    0.00604883302f, 0.00651209056f, 0.00699541019f, 0.00749903219f, 0.00802319311f, 0.00856812578f,
    0.00913405884f, 0.00972121768f, 0.010329823f, 0.0109600937f, 0.0116122449f, 0.012286488f,
    0.0129830325f, 0.0137020834f, 0.0144438436f, 0.0152085144f, 0.0159962941f, 0.0168073755f,
    0.0176419541f, 0.01850022f, 0.0193823613f, 0.0202885624f, 0.0212190095f, 0.0221738853f,
    0.0231533665f, 0.0241576321f, 0.0251868591f, 0.0262412224f, 0.0273208916f, 0.02842604f,
    0.0295568351f, 0.0307134446f, 0.0318960324f, 0.0331047662f, 0.0343398079f, 0.0356013142f,
    0.0368894488f, 0.0382043719f, 0.0395462364f, 0.0409151986f, 0.0423114114f, 0.043735031f,
    0.045186203f, 0.0466650873f, 0.0481718257f, 0.0497065671f, 0.0512694567f, 0.0528606474f,
    0.054480277f, 0.0561284907f, 0.0578054301f, 0.0595112368f, 0.0612460524f, 0.0630100146f,
    0.064803265f, 0.0666259378f, 0.0684781671f, 0.0703600943f, 0.0722718537f, 0.0742135718f,
    0.0761853829f, 0.078187421f, 0.0802198201f, 0.0822827071f, 0.0843762085f, 0.0865004584f,
    0.0886555836f, 0.0908417106f, 0.0930589661f, 0.0953074694f, 0.097587347f, 0.0998987257f,
    0.102241732f, 0.104616486f, 0.107023105f, 0.10946171f, 0.111932427f, 0.114435375f,
    0.116970666f, 0.119538426f, 0.122138776f, 0.124771819f, 0.127437681f, 0.130136475f,
    0.13286832f, 0.135633335f, 0.138431609f, 0.141263291f, 0.144128472f, 0.147027269f,
    0.149959788f, 0.152926147f, 0.155926466f, 0.158960834f, 0.162029371f, 0.165132195f,
    0.168269396f, 0.171441108f, 0.174647406f, 0.177888423f, 0.18116425f, 0.18447499f,
    0.187820777f, 0.191201687f, 0.194617838f, 0.198069319f, 0.20155625f, 0.205078736f,
    0.208636865f, 0.212230757f, 0.215860501f, 0.219526201f, 0.223227963f, 0.226965874f,
    0.230740055f, 0.23455058f, 0.238397568f, 0.242281124f, 0.246201321f, 0.25015828f,
    0.254152089f, 0.258182853f, 0.262250662f, 0.266355604f, 0.270497799f, 0.274677306f,
    0.278894275f, 0.283148736f, 0.287440836f, 0.291770637f, 0.296138257f, 0.300543785f,
    0.304987311f, 0.309468925f, 0.313988715f, 0.318546772f, 0.323143214f, 0.327778101f,
    0.332451522f, 0.337163627f, 0.341914415f, 0.346704066f, 0.351532608f, 0.356400132f,
    0.361306787f, 0.366252601f, 0.371237695f, 0.376262128f, 0.38132602f, 0.386429429f,
    0.391572475f, 0.396755219f, 0.401977777f, 0.407240212f, 0.412542611f, 0.417885065f,
    0.423267663f, 0.428690493f, 0.434153646f, 0.439657182f, 0.445201188f, 0.450785786f,
    0.456411034f, 0.462076992f, 0.467783809f, 0.473531485f, 0.479320168f, 0.48514995f,
    0.491020858f, 0.496932983f, 0.502886474f, 0.50888133f, 0.514917672f, 0.520995557f,
    0.527115107f, 0.533276379f, 0.539479494f, 0.545724452f, 0.55201143f, 0.558340371f,
    0.564711511f, 0.571124852f, 0.577580452f, 0.584078431f, 0.590618849f, 0.597201765f,
    0.603827357f, 0.610495567f, 0.617206573f, 0.623960376f, 0.630757153f, 0.637596846f,
    0.644479692f, 0.651405632f, 0.658374846f, 0.665387273f, 0.672443151f, 0.679542482f,
    0.686685324f, 0.693871737f, 0.701101899f, 0.708375752f, 0.715693474f, 0.723055124f,
    0.730460763f, 0.73791039f, 0.745404184f, 0.752942204f, 0.760524511f, 0.768151164f,
    0.775822222f, 0.783537805f, 0.791297913f, 0.799102724f, 0.806952238f, 0.814846575f,
    0.822785735f, 0.830769897f, 0.838799f, 0.846873224f, 0.854992628f, 0.863157213f,
    0.871367097f, 0.8796224f, 0.887923121f, 0.896269381f, 0.904661179f, 0.913098633f,
    0.921581864f, 0.930110872f, 0.938685715f, 0.947306514f, 0.955973327f, 0.964686275f,
    0.973445296f, 0.982250571f, 0.991102099f, 1.0f,
  };
  // Of linear light in 4096 steps, the first step whose sRGB value is 1, 2, ... 255.
  static constexpr uint16_t kFirstStep[255] = {
    1, 2, 3, 4, 6, 7, 8, 9, 11, 12, 13, 14, 16, 17, 19, 20,
    22, 24, 26, 28, 30, 32, 34, 36, 39, 41, 44, 46, 49, 52, 55, 58,
    61, 64, 67, 71, 74, 78, 81, 85, 89, 93, 97, 101, 105, 110, 114, 119,
    123, 128, 133, 138, 143, 148, 154, 159, 165, 170, 176, 182, 188, 194, 200, 207,
    213, 220, 227, 233, 240, 247, 254, 262, 269, 277, 284, 292, 300, 308, 316, 324,
    333, 341, 350, 359, 368, 377, 386, 395, 404, 414, 424, 433, 443, 453, 464, 474,
    484, 495, 506, 517, 527, 539, 550, 561, 573, 584, 596, 608, 620, 633, 645, 657,
    670, 683, 696, 709, 722, 735, 749, 762, 776, 790, 804, 818, 833, 847, 862, 877,
    892, 907, 922, 937, 953, 969, 984, 1000, 1017, 1033, 1049, 1066, 1083, 1099, 1116, 1134,
    1151, 1169, 1186, 1204, 1222, 1240, 1258, 1277, 1295, 1314, 1333, 1352, 1371, 1391, 1410, 1430,
    1450, 1470, 1490, 1510, 1531, 1552, 1572, 1593, 1614, 1636, 1657, 1679, 1701, 1723, 1745, 1767,
    1790, 1812, 1835, 1858, 1881, 1904, 1928, 1951, 1975, 1999, 2023, 2048, 2072, 2097, 2122, 2147,
    2172, 2197, 2222, 2248, 2274, 2300, 2326, 2353, 2379, 2406, 2433, 2460, 2487, 2514, 2542, 2570,
    2598, 2626, 2654, 2682, 2711, 2740, 2769, 2798, 2827, 2857, 2887, 2916, 2947, 2977, 3007, 3038,
    3069, 3100, 3131, 3162, 3194, 3225, 3257, 3289, 3321, 3354, 3386, 3419, 3452, 3485, 3519, 3552,
    3586, 3620, 3654, 3688, 3723, 3757, 3792, 3827, 3862, 3898, 3933, 3969, 4005, 4041, 4078,
  };
  uint8_t toSrgb[4096];
  SrgbTables() {
    int v = 0;
    for (int i = 0; i < 4096; ++i) {
      while (v < 255 && i >= kFirstStep[v]) ++v;
      toSrgb[i] = static_cast<uint8_t>(v);
    }
  }
  uint8_t Srgb(float linear) const { return toSrgb[std::clamp(static_cast<int>(linear * 4096.0f), 0, 4095)]; }
};

// For each of n output cells over m >= n source cells: the source cells it
// covers and how much of each, the shares summing to 1.
struct AreaSpan {
  int first = 0;
  std::vector<float> shares;
};

std::vector<AreaSpan> AreaSpans(int m, int n) {
  std::vector<AreaSpan> spans(static_cast<size_t>(n));
  for (int o = 0; o < n; ++o) {
    // The cell [o, o+1) of the output is [o*m/n, (o+1)*m/n) of the source.
    const double from = double(o) * m / n, to = double(o + 1) * m / n;
    AreaSpan& span = spans[static_cast<size_t>(o)];
    span.first = static_cast<int>(from);
    for (int s = span.first; s < m && s < to; ++s)
      span.shares.push_back(static_cast<float>((std::min<double>(s + 1, to) - std::max<double>(s, from)) / (to - from)));
  }
  return spans;
}

// The mean of the pixels each output pixel covers at a whole-number ratio
// (a 256-pixel icon shown at 128) : each source pixel falls in one output pixel, all with the same share, which factors out of
// the sums. Where the share is a power of two the result is bit for bit the
// general one's.
void ShrinkByWholeRatio(const RgbaImage& in, int ow, int oh, const SrgbTables& t, RgbaImage* out) {
  const int kx = in.width / ow, ky = in.height / oh;
  const float share = 1.0f / static_cast<float>(kx * ky);
  std::vector<float> sum(size_t{4} * static_cast<size_t>(ow));
  const size_t stride = size_t{4} * static_cast<size_t>(in.width);
  for (int oy = 0; oy < oh; ++oy) {
    std::fill(sum.begin(), sum.end(), 0.0f);
    for (int k = 0; k < ky; ++k) {
      const uint8_t* px = in.pixels.data() + static_cast<size_t>(oy * ky + k) * stride;
      for (float* s = sum.data(); s != sum.data() + sum.size(); s += 4) {
        float r = 0, g = 0, b = 0, a = 0;
        for (int j = 0; j < kx; ++j, px += 4) {
          const float w = px[3];
          r += t.toLinear[px[0]] * w;
          g += t.toLinear[px[1]] * w;
          b += t.toLinear[px[2]] * w;
          a += w;
        }
        s[0] += r;
        s[1] += g;
        s[2] += b;
        s[3] += a;
      }
    }
    uint8_t* o = out->pixels.data() + size_t{4} * static_cast<size_t>(ow) * static_cast<size_t>(oy);
    for (const float* s = sum.data(); s != sum.data() + sum.size(); s += 4, o += 4) {
      o[3] = static_cast<uint8_t>(std::min(255.0f, s[3] * share + 0.5f));
      if (s[3] <= 0) continue;  // no colour under full transparency
      o[0] = t.Srgb(s[0] / s[3]);
      o[1] = t.Srgb(s[1] / s[3]);
      o[2] = t.Srgb(s[2] / s[3]);
    }
  }
}

// Half the size each way, the common case, with the same operations in the
// same order as ShrinkByWholeRatio (so the same bytes) but each 2x2 block in
// one step and no row of sums.
void ShrinkByHalf(const RgbaImage& in, int ow, int oh, const SrgbTables& t, RgbaImage* out) {
  const size_t stride = size_t{4} * static_cast<size_t>(in.width);
  uint8_t* o = out->pixels.data();
  for (int oy = 0; oy < oh; ++oy) {
    const uint8_t* p = in.pixels.data() + stride * static_cast<size_t>(2 * oy);
    const uint8_t* q = p + stride;
    for (int ox = 0; ox < ow; ++ox, p += 8, q += 8, o += 4) {
      const float a0 = p[3], a1 = p[7], a2 = q[3], a3 = q[7];
      const float a = (a0 + a1) + (a2 + a3);
      o[3] = static_cast<uint8_t>(std::min(255.0f, a * 0.25f + 0.5f));
      if (a <= 0) continue;  // no colour under full transparency
      for (int c = 0; c < 3; ++c) {
        const float sum = (t.toLinear[p[c]] * a0 + t.toLinear[p[c + 4]] * a1) +
                          (t.toLinear[q[c]] * a2 + t.toLinear[q[c + 4]] * a3);
        o[c] = t.Srgb(sum / a);
      }
    }
  }
}

// For each of n output cells over m < n source cells: Catmull-Rom's cubic
// about the cell's centre, as image viewers grow pictures; taps past an edge
// are lent to the edge pixel.
std::vector<AreaSpan> CubicSpans(int m, int n) {
  auto cubic = [](double x) {
    x = x < 0 ? -x : x;
    return x < 1 ? (1.5 * x - 2.5) * x * x + 1 : x < 2 ? ((-0.5 * x + 2.5) * x - 4) * x + 2 : 0.0;
  };
  std::vector<AreaSpan> spans(static_cast<size_t>(n));
  for (int o = 0; o < n; ++o) {
    const double centre = (o + 0.5) * m / n - 0.5;  // above -0.5
    const int nearest = static_cast<int>(centre + 1) - 1;  // its floor
    AreaSpan& span = spans[static_cast<size_t>(o)];
    span.first = std::max(0, nearest - 1);
    const int last = std::min(m - 1, nearest + 2);
    span.shares.assign(static_cast<size_t>(last - span.first + 1), 0.0f);
    for (int s = nearest - 1; s <= nearest + 2; ++s)
      span.shares[static_cast<size_t>(std::clamp(s, span.first, last) - span.first)] +=
          static_cast<float>(cubic(centre - s));
  }
  return spans;
}

// Each output pixel the sum of the source pixels its spans weigh, colour
// weighted by alpha so that transparent pixels lend none. One source row at a time.
void Resample(const RgbaImage& in, const std::vector<AreaSpan>& xs, const std::vector<AreaSpan>& ys,
              const SrgbTables& t, RgbaImage* out) {
  const int ow = static_cast<int>(xs.size()), oh = static_cast<int>(ys.size());
  std::vector<float> sum(size_t{4} * static_cast<size_t>(ow));
  const size_t stride = size_t{4} * static_cast<size_t>(in.width);
  for (int oy = 0; oy < oh; ++oy) {
    std::fill(sum.begin(), sum.end(), 0.0f);
    const AreaSpan& ySpan = ys[static_cast<size_t>(oy)];
    for (size_t k = 0; k < ySpan.shares.size(); ++k) {
      const uint8_t* row = in.pixels.data() + static_cast<size_t>(ySpan.first + static_cast<int>(k)) * stride;
      for (int ox = 0; ox < ow; ++ox) {
        const AreaSpan& xSpan = xs[static_cast<size_t>(ox)];
        float r = 0, g = 0, b = 0, a = 0;
        for (size_t j = 0; j < xSpan.shares.size(); ++j) {
          const uint8_t* px = row + size_t{4} * static_cast<size_t>(xSpan.first + static_cast<int>(j));
          const float w = xSpan.shares[j] * px[3];
          r += t.toLinear[px[0]] * w;
          g += t.toLinear[px[1]] * w;
          b += t.toLinear[px[2]] * w;
          a += w;
        }
        float* s = &sum[size_t{4} * static_cast<size_t>(ox)];
        const float wy = ySpan.shares[k];
        s[0] += r * wy;
        s[1] += g * wy;
        s[2] += b * wy;
        s[3] += a * wy;
      }
    }
    uint8_t* o = out->pixels.data() + size_t{4} * static_cast<size_t>(ow) * static_cast<size_t>(oy);
    for (int ox = 0; ox < ow; ++ox, o += 4) {
      const float* s = &sum[size_t{4} * static_cast<size_t>(ox)];
      // A cubic's lobes may overshoot either way.
      o[3] = static_cast<uint8_t>(std::clamp(s[3] + 0.5f, 0.0f, 255.0f));
      if (s[3] <= 0) continue;  // no colour under full transparency
      o[0] = t.Srgb(s[0] / s[3]);
      o[1] = t.Srgb(s[1] / s[3]);
      o[2] = t.Srgb(s[2] / s[3]);
    }
  }
}

}  // namespace

bool FitsAsStored(const std::vector<uint8_t>& png, int size) {
  PngHeader h;
  // Whole, nothing after IEND; 8-bit RGBA, not interlaced: what an encoded copy would be.
  return ReadPngChunks(ByteView{png.data(), png.size()}, &h) && h.end == png.size() &&
         std::max(h.width, h.height) == static_cast<uint32_t>(size) && h.bitDepth == 8 && h.colorType == 6 &&
         h.interlace == 0;
}

int ChooseImage(const std::vector<ImageChoice>& images, int size) {
  int best = -1;
  auto side = [](const ImageChoice& c) { return std::max(c.width, c.height); };
  for (size_t i = 0; i < images.size(); ++i) {
    const ImageChoice& c = images[i];
    if (c.width <= 0 || c.height <= 0) continue;
    if (best < 0) {
      best = static_cast<int>(i);
      continue;
    }
    const ImageChoice& b = images[static_cast<size_t>(best)];
    const int cs = side(c), bs = side(b);
    const bool cCovers = cs >= size, bCovers = bs >= size;
    bool better;
    if (cs != bs) better = cCovers != bCovers ? cCovers : (cCovers ? cs < bs : cs > bs);
    else better = c.depth > b.depth;
    if (better) best = static_cast<int>(i);
  }
  return best;
}

bool FitPicture(const RgbaImage& image, int size, RgbaImage* out) {
  const int w = image.width, h = image.height;
  if (w <= 0 || h <= 0 || image.pixels.size() / 4 / static_cast<size_t>(w) < static_cast<size_t>(h))
    return false;
  const int longest = std::max(w, h);
  // Scale to fit; an image smaller than size grows at most twice over.
  const double scale = longest > size ? double(size) / longest : std::min(2.0, double(size) / longest);
  const int ow = std::clamp(static_cast<int>(w * scale + 0.5), 1, size);
  const int oh = std::clamp(static_cast<int>(h * scale + 0.5), 1, size);
  out->width = ow;
  out->height = oh;
  out->hasAlpha = true;
  out->pixels.assign(size_t{4} * static_cast<size_t>(ow) * static_cast<size_t>(oh), 0);
  if (ow == w && oh == h) {
    out->pixels.assign(image.pixels.begin(), image.pixels.begin() + static_cast<ptrdiff_t>(out->pixels.size()));
    return true;
  }
  static const SrgbTables t;
  if (ow < w && oh < h && w % ow == 0 && h % oh == 0) {
    (w == 2 * ow && h == 2 * oh ? ShrinkByHalf : ShrinkByWholeRatio)(image, ow, oh, t, out);
    return true;
  }
  // Each side shrinks by area or grows by cubic (a one-pixel strip may do both).
  auto spans = [](int m, int n) { return n > m ? CubicSpans(m, n) : AreaSpans(m, n); };
  Resample(image, spans(w, ow), spans(h, oh), t, out);
  return true;
}

int RunThumbnail(Session& s) {
  int size = kDefaultSize;
  if (!s.options.size.empty()) {
    char* end = nullptr;
    const long n = std::strtol(s.options.size.c_str(), &end, 10);
    if (*end || n < 1 || n > kMaxSize) {
      FailRun(s, "-s takes a size from 1 to " + std::to_string(kMaxSize) + ", not '" + s.options.size + "'");
      return ExitUsage;
    }
    size = static_cast<int>(n);
  }
  if (!console::LimitProcess(kMaxSeconds, kMaxBytes)) {
    FailRun(s, "cannot limit this process's time and memory");
    return s.status;
  }
  console::KeepFreedMemory();
  const std::string& input = s.options.operands[0];
  const std::string& output = s.options.operands[1];
  // The job only carries the plug-in calls: a failed one just means no icon.
  Job job(s, input);
  Candidates c;
  std::string why;
  bool executable = false;
  ShownPicture picture;
  if (CandidatesForFile(s.plugins, input, &c, &why, &executable) &&
      !PictureOf(job, Source{input.c_str(), 0, InputFile, input}, c, size, 0, &picture))
    why = "no icon to show";
  // A stored PNG that fits is written as it is; no other is taken encoded.
  std::vector<uint8_t> png = std::move(picture.png);
  if (why.empty() && !png.empty() && !FitsAsStored(png, size)) why = "the plug-in handed over an encoded picture";
  RgbaImage fitted;
  if (why.empty() && png.empty() && !FitPicture(picture.image, size, &fitted)) why = "cannot scale the picture";
  picture.image = RgbaImage{};  // its memory, already paged in, serves the encoder
  if (why.empty() && png.empty() && !EncodePng(fitted, &png)) why = "PNG encoding failed";
  if (why.empty()) why = WriteIntoPlaceholder(output, png);
  if (!why.empty()) FailRun(s, input + ": " + why);
  return s.status;
}

}  // namespace spihost
