// PNG encoding and decoding: libspng over zlib, encoding at level 2. A picture of at most 256
// colours (every icon of 8 bits or fewer, and many of more) is written with a
// palette: a quarter or less of the bytes to compress, so it is both smaller
// than icotool's RGBA files and quicker to make.
#include <spng.h>
#include <zlib.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>

#include "formats/png.h"
#include "platform/platform.h"
#include "picture.h"

namespace spihost {
namespace {

// Icons are small and flat: zlib's level 2 writes shell32's PNGs within 0.2%
// of level 4's size, and a thumbnail a tenth faster.
constexpr int kCompressionLevel = 2;

// libspng and zlib are opened with the first picture to encode or decode,
// so that a run that handles none (a thumbnail of a program without an icon,
// most of them) starts without them.
#define SPI_TEXT(x) #x
#define SPI_SONAME(name, major) "lib" name ".so." SPI_TEXT(major)
struct Spng {
  decltype(&spng_ctx_new) ctx_new;
  decltype(&spng_ctx_free) ctx_free;
  decltype(&spng_set_option) set_option;
  decltype(&spng_set_ihdr) set_ihdr;
  decltype(&spng_set_plte) set_plte;
  decltype(&spng_set_trns) set_trns;
  decltype(&spng_encode_image) encode_image;
  decltype(&spng_get_png_buffer) get_png_buffer;
};
struct Zlib {
  decltype(&inflateInit_) inflate_init;
  decltype(&::inflate) inflate_step;
  decltype(&inflateEnd) inflate_end;
};

// Binds each function pointer of a table to its symbol in library; false
// when the library or any of them is missing.
class Binder {
 public:
  explicit Binder(const char* soname) : library_(platform::OpenLibrary(soname)), found_(library_ != nullptr) {}
  template <class Fn>
  void operator()(Fn& fn, const char* name) {
    fn = reinterpret_cast<Fn>(platform::FindSymbol(library_, name));
    found_ = found_ && fn;
  }
  bool found() const { return found_; }

 private:
  void* library_;
  bool found_;
};

// The table bound on first use and kept for the run; null when its library
// cannot be had.
template <class Table, void (*BindAll)(Binder&, Table&)>
const Table* Opened(const char* soname) {
  static const Table* const loaded = [soname]() -> const Table* {
    static Table table;
    Binder bind(soname);
    BindAll(bind, table);
    return bind.found() ? &table : nullptr;
  }();
  return loaded;
}

void BindSpng(Binder& bind, Spng& s) {
  bind(s.ctx_new, "spng_ctx_new");
  bind(s.ctx_free, "spng_ctx_free");
  bind(s.set_option, "spng_set_option");
  bind(s.set_ihdr, "spng_set_ihdr");
  bind(s.set_plte, "spng_set_plte");
  bind(s.set_trns, "spng_set_trns");
  bind(s.encode_image, "spng_encode_image");
  bind(s.get_png_buffer, "spng_get_png_buffer");
}

void BindZlib(Binder& bind, Zlib& z) {
  bind(z.inflate_init, "inflateInit_");
  bind(z.inflate_step, "inflate");
  bind(z.inflate_end, "inflateEnd");
}

const Spng* SpngLibrary() { return Opened<Spng, BindSpng>(SPI_SONAME("spng", SPNG_VERSION_MAJOR)); }
const Zlib* ZlibLibrary() { return Opened<Zlib, BindZlib>(SPI_SONAME("z", ZLIB_VER_MAJOR)); }

struct ContextFree {
  void operator()(spng_ctx* ctx) const { SpngLibrary()->ctx_free(ctx); }
};

uint32_t Pack(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// The picture's colours when there are at most 256 of them, and each pixel's
// index; false when there are more.
bool Palettise(const RgbaImage& image, std::vector<uint32_t>* colours, std::vector<uint8_t>* indices) {
  // A small open-addressing table: 512 slots keep it at most half full.
  constexpr uint32_t kSlots = 512;
  uint32_t keys[kSlots];
  int16_t slot[kSlots];
  std::fill(std::begin(slot), std::end(slot), int16_t{-1});
  colours->clear();
  const size_t n = image.pixels.size() / 4;
  indices->resize(n);
  uint32_t last = 0;
  int lastIndex = -1;
  for (size_t i = 0; i < n; ++i) {
    const uint32_t c = Pack(&image.pixels[4 * i]);
    if (c == last && lastIndex >= 0) {
      (*indices)[i] = static_cast<uint8_t>(lastIndex);
      continue;
    }
    uint32_t h = (c * 2654435761u) >> 23;
    while (slot[h] >= 0 && keys[h] != c) h = (h + 1) & (kSlots - 1);
    if (slot[h] < 0) {
      if (colours->size() == 256) return false;
      keys[h] = c;
      slot[h] = static_cast<int16_t>(colours->size());
      colours->push_back(c);
    }
    last = c;
    lastIndex = slot[h];
    (*indices)[i] = static_cast<uint8_t>(lastIndex);
  }
  return true;
}

// Rows of indices packed at bits per pixel, as PNG stores them.
std::vector<uint8_t> PackRows(const std::vector<uint8_t>& indices, int width, int height, int bits) {
  const size_t rowBytes = (static_cast<size_t>(width) * bits + 7) / 8;
  std::vector<uint8_t> rows(rowBytes * static_cast<size_t>(height), 0);
  for (int y = 0; y < height; ++y) {
    const uint8_t* in = indices.data() + static_cast<size_t>(y) * width;
    uint8_t* out = rows.data() + static_cast<size_t>(y) * rowBytes;
    if (bits == 8) {
      std::memcpy(out, in, static_cast<size_t>(width));
      continue;
    }
    const int perByte = 8 / bits;
    for (int x = 0; x < width; ++x)
      out[x / perByte] |= static_cast<uint8_t>(in[x] << (8 - bits * (x % perByte + 1)));
  }
  return rows;
}

bool Finish(const Spng& spng, spng_ctx* ctx, const std::vector<uint8_t>& rows, std::vector<uint8_t>* out) {
  if (spng.encode_image(ctx, rows.data(), rows.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE) != 0)
    return false;
  size_t size = 0;
  int error = 0;
  void* buffer = spng.get_png_buffer(ctx, &size, &error);
  if (!buffer || error) {
    std::free(buffer);
    return false;
  }
  const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
  out->assign(bytes, bytes + size);
  std::free(buffer);
  return true;
}

struct PngRows {
  std::vector<ByteView> idat;
};

void CollectIdat(void* user, const uint8_t type[4], ByteView data) {
  if (std::memcmp(type, "IDAT", 4) == 0) static_cast<PngRows*>(user)->idat.push_back(data);
}

// The zlib stream split over the IDAT chunks, into exactly out's size.
bool Inflate(const std::vector<ByteView>& parts, std::vector<uint8_t>* out) {
  const Zlib* zlib = ZlibLibrary();
  z_stream z{};
  if (!zlib || zlib->inflate_init(&z, ZLIB_VERSION, static_cast<int>(sizeof z)) != Z_OK) return false;
  z.next_out = out->data();
  z.avail_out = static_cast<uInt>(out->size());
  int r = Z_OK;
  for (size_t i = 0; i < parts.size() && r == Z_OK; ++i) {
    z.next_in = const_cast<Bytef*>(parts[i].data);
    z.avail_in = static_cast<uInt>(parts[i].size);
    while (r == Z_OK && z.avail_in > 0) {
      r = zlib->inflate_step(&z, Z_NO_FLUSH);
      if (r == Z_BUF_ERROR || (r == Z_OK && z.avail_out == 0 && z.avail_in > 0)) r = Z_DATA_ERROR;
    }
  }
  const bool whole = r == Z_STREAM_END && z.avail_out == 0;
  zlib->inflate_end(&z);
  return whole;
}

// Paeth over four-byte pixels, one pixel per step with the four bytes side by
// side: most stored icons are Paeth rows throughout.
void UnPaeth(const uint8_t* in, const uint8_t* prior, uint8_t* out, size_t n) {
#ifdef __SSE2__
  const __m128i zero = _mm_setzero_si128();
  __m128i a = zero, c = zero;  // left and upper left, as 16-bit lanes
  for (size_t i = 0; i < n; i += 4) {
    uint32_t up, raw;
    std::memcpy(&up, prior + i, 4);
    std::memcpy(&raw, in + i, 4);
    const __m128i b = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(up)), zero);
    __m128i pa = _mm_sub_epi16(b, c), pb = _mm_sub_epi16(a, c);
    __m128i pc = _mm_add_epi16(pa, pb);
    pa = _mm_max_epi16(pa, _mm_sub_epi16(zero, pa));
    pb = _mm_max_epi16(pb, _mm_sub_epi16(zero, pb));
    pc = _mm_max_epi16(pc, _mm_sub_epi16(zero, pc));
    const __m128i least = _mm_min_epi16(pc, _mm_min_epi16(pa, pb));
    const __m128i useA = _mm_cmpeq_epi16(least, pa), useB = _mm_cmpeq_epi16(least, pb);
    const __m128i bOrC = _mm_or_si128(_mm_and_si128(useB, b), _mm_andnot_si128(useB, c));
    const __m128i nearest = _mm_or_si128(_mm_and_si128(useA, a), _mm_andnot_si128(useA, bOrC));
    const __m128i sum = _mm_add_epi8(_mm_cvtsi32_si128(static_cast<int>(raw)), _mm_packus_epi16(nearest, zero));
    const uint32_t done = static_cast<uint32_t>(_mm_cvtsi128_si32(sum));
    std::memcpy(out + i, &done, 4);
    a = _mm_unpacklo_epi8(sum, zero);
    c = b;
  }
#else
  for (size_t i = 0; i < n; ++i) {
    const int a = i >= 4 ? out[i - 4] : 0, b = prior[i], c = i >= 4 ? prior[i - 4] : 0;
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    out[i] = static_cast<uint8_t>(in[i] + (pa <= pb && pa <= pc ? a : pb <= pc ? b : c));
  }
#endif
}

// One row of four-byte pixels undone from its filter into out, which may lie
// up to a row before in (each byte is read before it is written over); prior
// is the row above, already undone (zeros above the first).
bool Unfilter(uint8_t filter, const uint8_t* in, const uint8_t* prior, uint8_t* out, size_t n) {
  switch (filter) {
    case 0:
      std::memmove(out, in, n);
      return true;
    case 1:
      std::memmove(out, in, 4);
      for (size_t i = 4; i < n; ++i) out[i] = static_cast<uint8_t>(in[i] + out[i - 4]);
      return true;
    case 2:
      for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(in[i] + prior[i]);
      return true;
    case 3:
      for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<uint8_t>(in[i] + (((i >= 4 ? out[i - 4] : 0) + prior[i]) >> 1));
      return true;
    case 4:
      UnPaeth(in, prior, out, n);
      return true;
    default:
      return false;
  }
}

}  // namespace

bool EncodePng(const RgbaImage& image, std::vector<uint8_t>* out) {
  if (image.width <= 0 || image.height <= 0) return false;
  const size_t pixels = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
  if (image.pixels.size() != pixels * 4) return false;
  const Spng* library = SpngLibrary();
  if (!library) return false;
  const Spng& spng = *library;
  std::unique_ptr<spng_ctx, ContextFree> owner(spng.ctx_new(SPNG_CTX_ENCODER));
  spng_ctx* ctx = owner.get();
  if (!ctx) return false;
  spng.set_option(ctx, SPNG_ENCODE_TO_BUFFER, 1);
  spng.set_option(ctx, SPNG_IMG_COMPRESSION_LEVEL, kCompressionLevel);
  spng_ihdr ihdr{};
  ihdr.width = static_cast<uint32_t>(image.width);
  ihdr.height = static_cast<uint32_t>(image.height);
  ihdr.bit_depth = 8;

  std::vector<uint32_t> colours;
  std::vector<uint8_t> indices;
  if (Palettise(image, &colours, &indices)) {
    // Transparent colours first, so that the alpha table stays short.
    std::vector<uint8_t> order(colours.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<uint8_t>(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](uint8_t a, uint8_t b) { return (colours[a] >> 24) < (colours[b] >> 24); });
    uint8_t remap[256];
    spng_plte plte{};
    spng_trns trns{};
    plte.n_entries = static_cast<uint32_t>(colours.size());
    for (size_t i = 0; i < order.size(); ++i) {
      const uint32_t c = colours[order[i]];
      remap[order[i]] = static_cast<uint8_t>(i);
      plte.entries[i] = spng_plte_entry{static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8),
                                        static_cast<uint8_t>(c >> 16), 255};
      if ((c >> 24) != 255) {
        trns.type3_alpha[i] = static_cast<uint8_t>(c >> 24);
        trns.n_type3_entries = static_cast<uint32_t>(i + 1);
      }
    }
    for (uint8_t& index : indices) index = remap[index];
    const int bits = colours.size() <= 2 ? 1 : colours.size() <= 4 ? 2 : colours.size() <= 16 ? 4 : 8;
    ihdr.bit_depth = static_cast<uint8_t>(bits);
    ihdr.color_type = SPNG_COLOR_TYPE_INDEXED;
    // Filters rarely help indices; libpng leaves palette images unfiltered too.
    spng.set_option(ctx, SPNG_FILTER_CHOICE, SPNG_FILTER_CHOICE_NONE);
    if (spng.set_ihdr(ctx, &ihdr) != 0 || spng.set_plte(ctx, &plte) != 0) return false;
    if (trns.n_type3_entries && spng.set_trns(ctx, &trns) != 0) return false;
    return Finish(spng, ctx, PackRows(indices, image.width, image.height, bits), out);
  }

  // More colours: RGBA, or RGB when every pixel is opaque. Paeth alone
  // compresses icons within a fraction of a percent of trying every filter
  // on every row, in a third less time.
  spng.set_option(ctx, SPNG_FILTER_CHOICE, SPNG_FILTER_CHOICE_PAETH);
  if (image.hasAlpha) {
    ihdr.color_type = SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
    if (spng.set_ihdr(ctx, &ihdr) != 0) return false;
    return Finish(spng, ctx, image.pixels, out);
  }
  std::vector<uint8_t> rgb(pixels * 3);
  for (size_t i = 0, j = 0; i < image.pixels.size(); i += 4, j += 3) {
    rgb[j] = image.pixels[i];
    rgb[j + 1] = image.pixels[i + 1];
    rgb[j + 2] = image.pixels[i + 2];
  }
  ihdr.color_type = SPNG_COLOR_TYPE_TRUECOLOR;
  if (spng.set_ihdr(ctx, &ihdr) != 0) return false;
  return Finish(spng, ctx, rgb, out);
}

bool DecodePng(const std::vector<uint8_t>& png, size_t maxPixels, RgbaImage* out) {
  // Stored icons are 8-bit RGBA, not interlaced: those are read here, straight
  // from their rows, in half the time of the plug-in's general decoder.
  PngRows rows;
  PngHeader h;
  if (!ReadPngChunks(ByteView{png.data(), png.size()}, &h, CollectIdat, &rows)) return false;
  if (h.bitDepth != 8 || h.colorType != 6 || h.interlace != 0 || h.width == 0 || h.height == 0 ||
      h.width > 0x7FFFFFFFu / 4 || uint64_t{h.width} * h.height > maxPixels)
    return false;
  const size_t rowBytes = size_t{4} * h.width;
  std::vector<uint8_t> pixels((rowBytes + 1) * h.height);
  if (!Inflate(rows.idat, &pixels)) return false;
  // Undone in place: each row lands before the filtered bytes still to be read.
  const std::vector<uint8_t> zeros(rowBytes, 0);
  for (uint32_t y = 0; y < h.height; ++y) {
    const uint8_t* in = pixels.data() + (rowBytes + 1) * y;
    uint8_t* row = pixels.data() + rowBytes * y;
    if (!Unfilter(in[0], in + 1, y ? row - rowBytes : zeros.data(), row, rowBytes)) return false;
  }
  pixels.resize(rowBytes * h.height);
  out->width = static_cast<int>(h.width);
  out->height = static_cast<int>(h.height);
  out->hasAlpha = true;
  out->pixels = std::move(pixels);
  return true;
}

}  // namespace spihost
