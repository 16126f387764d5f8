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
  const Source& image = held[static_cast<size_t>(chosen)].source;
  return FetchShownPicture(decoders[static_cast<size_t>(chosen)]->plugin, image.source, image.length,
                           InputMemory, false, nullptr, 0, out) == ResultOk;
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
    const int r = from.kind == InputFile
                      ? FetchShownPictureOfFile(p->plugin, from.source, false, nullptr, 0, out)
                      : FetchShownPicture(p->plugin, from.source, from.length, from.kind, false, nullptr, 0, out);
    if (r == ResultOk) return true;
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

}  // namespace

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
  if (why.empty() && !picture.png.empty()) why = "the plug-in handed over an encoded picture";
  RgbaImage fitted;
  std::vector<uint8_t> png;
  if (why.empty() && !FitPicture(picture.image, size, &fitted)) why = "cannot scale the picture";
  if (why.empty() && !EncodePng(fitted, &png)) why = "PNG encoding failed";
  if (why.empty()) why = WriteIntoPlaceholder(output, png);
  if (!why.empty()) FailRun(s, input + ": " + why);
  return s.status;
}

}  // namespace spihost
