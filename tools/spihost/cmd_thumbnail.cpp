// spihost thumbnail: what a file manager runs (through a .thumbnailer file)
// to draw an executable, an icon, a cursor or an animated cursor. The choice of
// the image is made as Windows Explorer makes it: an executable shows its first
// icon group, an animated cursor its first frame, and of an icon's images the
// one closest to the size asked for.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "commands.h"
#include "console.h"
#include "formats/png.h"
#include "support.h"
#include "thumbnail.h"

// The resampler: stb_image_resize, compiled here only. Its own code is not
// held to our warning flags.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wall"
#pragma GCC diagnostic ignored "-Wextra"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wdouble-promotion"
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#define STB_IMAGE_RESIZE_STATIC
#include <stb_image_resize.h>
#pragma GCC diagnostic pop

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

// sRGB to linear light and back: a mix of pixels is averaged as the eye sees light.
struct SrgbTables {
  float toLinear[256];
  uint8_t toSrgb[4096];  // linear light in 4096 steps
  SrgbTables() {
    for (int i = 0; i < 256; ++i) {
      const double c = i / 255.0;
      toLinear[i] = static_cast<float>(c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
    }
    for (int i = 0; i < 4096; ++i) {
      const double l = (i + 0.5) / 4096.0;
      const double c = l <= 0.0031308 ? l * 12.92 : 1.055 * std::pow(l, 1 / 2.4) - 0.055;
      toSrgb[i] = static_cast<uint8_t>(std::clamp(c * 255.0 + 0.5, 0.0, 255.0));
    }
  }
  uint8_t Srgb(float linear) const { return toSrgb[std::clamp(static_cast<int>(linear * 4096.0f), 0, 4095)]; }
};

// For each of n output cells over m > n source cells: the source cells it
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

// The mean of the pixels each output pixel covers, colour weighted by alpha
// so that transparent pixels lend none. One source row at a time.
void ShrinkByArea(const RgbaImage& in, int ow, int oh, RgbaImage* out) {
  static const SrgbTables t;
  const std::vector<AreaSpan> xs = AreaSpans(in.width, ow), ys = AreaSpans(in.height, oh);
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
      o[3] = static_cast<uint8_t>(std::min(255.0f, s[3] + 0.5f));
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
  if (ow < w && oh < h) {
    ShrinkByArea(image, ow, oh, out);
    return true;
  }
  // Colour in sRGB with alpha weighting, so transparent pixels lend no colour.
  return stbir_resize_uint8_srgb(image.pixels.data(), w, h, 0, out->pixels.data(), ow, oh, 0, 4, 3, 0) != 0;
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
  if (why.empty() && png.empty() && !EncodePng(fitted, &png)) why = "PNG encoding failed";
  if (why.empty()) why = WriteIntoPlaceholder(output, png);
  if (!why.empty()) FailRun(s, input + ": " + why);
  return s.status;
}

}  // namespace spihost
