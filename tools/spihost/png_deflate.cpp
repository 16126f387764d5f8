// PNG encoding and decoding over libdeflate. A picture of at most 256 colours
// (every icon of 8 bits or fewer, and many of more) is written with a palette:
// a quarter or less of the bytes to compress, so it is both smaller than
// icotool's RGBA files and quicker to make.
#include <libdeflate.h>

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

// libdeflate's level 1 writes icons smaller than zlib's level 2 in under half
// its time; a thumbnail waits on it.
constexpr int kCompressionLevel = 1;

// libdeflate is opened with the first picture to encode or decode, so that a
// run that handles none (a thumbnail of a program without an icon, most of
// them) starts without it. Its soname has stayed .so.0 across its 1.x API.
constexpr char kLibdeflateSoname[] = "libdeflate.so.0";
struct Deflate {
  decltype(&libdeflate_alloc_compressor) alloc_compressor;
  decltype(&libdeflate_zlib_compress) zlib_compress;
  decltype(&libdeflate_zlib_compress_bound) zlib_compress_bound;
  decltype(&libdeflate_free_compressor) free_compressor;
  decltype(&libdeflate_alloc_decompressor) alloc_decompressor;
  decltype(&libdeflate_zlib_decompress) zlib_decompress;
  decltype(&libdeflate_free_decompressor) free_decompressor;
  decltype(&libdeflate_crc32) crc32;
};

// The table bound on first use and kept for the run; null when the library
// or any of its functions cannot be had.
const Deflate* DeflateLibrary() {
  static const Deflate* const loaded = []() -> const Deflate* {
    static Deflate d;
    void* library = platform::OpenLibrary(kLibdeflateSoname);
    bool found = library != nullptr;
    auto bind = [&](auto& fn, const char* name) {
      fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(platform::FindSymbol(library, name));
      found = found && fn;
    };
    if (library) {
      bind(d.alloc_compressor, "libdeflate_alloc_compressor");
      bind(d.zlib_compress, "libdeflate_zlib_compress");
      bind(d.zlib_compress_bound, "libdeflate_zlib_compress_bound");
      bind(d.free_compressor, "libdeflate_free_compressor");
      bind(d.alloc_decompressor, "libdeflate_alloc_decompressor");
      bind(d.zlib_decompress, "libdeflate_zlib_decompress");
      bind(d.free_decompressor, "libdeflate_free_decompressor");
      bind(d.crc32, "libdeflate_crc32");
    }
    return found ? &d : nullptr;
  }();
  return loaded;
}

// Each thread (the encoding pool's, or the main one) keeps its own
// compressor and decompressor for the run: their tables are allocated once.
struct Codecs {
  libdeflate_compressor* compressor = nullptr;
  libdeflate_decompressor* decompressor = nullptr;
  ~Codecs() {
    if (compressor) DeflateLibrary()->free_compressor(compressor);
    if (decompressor) DeflateLibrary()->free_decompressor(decompressor);
  }
};
thread_local Codecs codecs;

libdeflate_compressor* Compressor(const Deflate& d) {
  if (!codecs.compressor) codecs.compressor = d.alloc_compressor(kCompressionLevel);
  return codecs.compressor;
}

libdeflate_decompressor* Decompressor(const Deflate& d) {
  if (!codecs.decompressor) codecs.decompressor = d.alloc_decompressor();
  return codecs.decompressor;
}

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

// Rows of indices packed at bits per pixel, each behind its filter byte
// (none: filters rarely help indices; libpng leaves palette images unfiltered too).
std::vector<uint8_t> PackRows(const std::vector<uint8_t>& indices, int width, int height, int bits) {
  const size_t rowBytes = (static_cast<size_t>(width) * bits + 7) / 8;
  std::vector<uint8_t> rows((rowBytes + 1) * static_cast<size_t>(height), 0);
  for (int y = 0; y < height; ++y) {
    const uint8_t* in = indices.data() + static_cast<size_t>(y) * width;
    uint8_t* out = rows.data() + static_cast<size_t>(y) * (rowBytes + 1) + 1;
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

void Put32(std::vector<uint8_t>* out, uint32_t v) {
  const uint8_t b[4] = {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
                        static_cast<uint8_t>(v)};
  out->insert(out->end(), b, b + 4);
}

// A chunk of out: length, type, data, and the CRC of type and data.
void Chunk(const Deflate& d, std::vector<uint8_t>* out, const char type[5], const uint8_t* data, size_t size) {
  Put32(out, static_cast<uint32_t>(size));
  const size_t from = out->size();
  out->insert(out->end(), type, type + 4);
  if (size) out->insert(out->end(), data, data + size);
  Put32(out, d.crc32(0, out->data() + from, out->size() - from));
}

// The whole file from its header fields and its filtered rows.
bool Finish(const Deflate& d, uint32_t width, uint32_t height, uint8_t bits, uint8_t colourType,
            const std::vector<uint8_t>& palette, const std::vector<uint8_t>& alphas,
            const std::vector<uint8_t>& rows, std::vector<uint8_t>* out) {
  libdeflate_compressor* c = Compressor(d);
  if (!c) return false;
  std::vector<uint8_t> packed(d.zlib_compress_bound(c, rows.size()));
  const size_t packedSize = d.zlib_compress(c, rows.data(), rows.size(), packed.data(), packed.size());
  if (packedSize == 0) return false;
  static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  out->clear();
  out->reserve(packedSize + palette.size() + alphas.size() + 64);
  out->insert(out->end(), kSignature, kSignature + 8);
  std::vector<uint8_t> ihdr;
  Put32(&ihdr, width);
  Put32(&ihdr, height);
  ihdr.insert(ihdr.end(), {bits, colourType, 0, 0, 0});
  Chunk(d, out, "IHDR", ihdr.data(), ihdr.size());
  if (!palette.empty()) Chunk(d, out, "PLTE", palette.data(), palette.size());
  if (!alphas.empty()) Chunk(d, out, "tRNS", alphas.data(), alphas.size());
  Chunk(d, out, "IDAT", packed.data(), packedSize);
  Chunk(d, out, "IEND", nullptr, 0);
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
  const Deflate* d = DeflateLibrary();
  libdeflate_decompressor* z = d ? Decompressor(*d) : nullptr;
  if (!z || parts.empty()) return false;
  // libdeflate reads one buffer: chunks after the first are joined to it.
  std::vector<uint8_t> joined;
  ByteView stream = parts[0];
  if (parts.size() > 1) {
    for (const ByteView& part : parts) joined.insert(joined.end(), part.data, part.data + part.size);
    stream = ByteView{joined.data(), joined.size()};
  }
  return d->zlib_decompress(z, stream.data, stream.size, out->data(), out->size(), nullptr) == LIBDEFLATE_SUCCESS;
}

#ifdef __SSE2__
// The Paeth predictor of eight 16-bit lanes: left a, above b, upper left c.
__m128i PaethPredictor(__m128i a, __m128i b, __m128i c) {
  const __m128i zero = _mm_setzero_si128();
  __m128i pa = _mm_sub_epi16(b, c), pb = _mm_sub_epi16(a, c);
  __m128i pc = _mm_add_epi16(pa, pb);
  pa = _mm_max_epi16(pa, _mm_sub_epi16(zero, pa));
  pb = _mm_max_epi16(pb, _mm_sub_epi16(zero, pb));
  pc = _mm_max_epi16(pc, _mm_sub_epi16(zero, pc));
  const __m128i least = _mm_min_epi16(pc, _mm_min_epi16(pa, pb));
  const __m128i useA = _mm_cmpeq_epi16(least, pa), useB = _mm_cmpeq_epi16(least, pb);
  const __m128i bOrC = _mm_or_si128(_mm_and_si128(useB, b), _mm_andnot_si128(useB, c));
  return _mm_or_si128(_mm_and_si128(useA, a), _mm_andnot_si128(useA, bOrC));
}
#endif

int PaethPredictor(int a, int b, int c) {
  const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// One row of pixels of bpp bytes filtered with Paeth into out (n bytes);
// prior is the row above (zeros above the first). Every input is known, so
// eight bytes go at a time.
void FilterPaeth(const uint8_t* row, const uint8_t* prior, uint8_t* out, size_t n, size_t bpp) {
  size_t i = 0;
  for (; i < bpp && i < n; ++i) out[i] = static_cast<uint8_t>(row[i] - PaethPredictor(0, prior[i], 0));
#ifdef __SSE2__
  const __m128i zero = _mm_setzero_si128();
  auto load = [&](const uint8_t* p) { return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero); };
  for (; i + 8 <= n; i += 8) {
    const __m128i predicted = PaethPredictor(load(row + i - bpp), load(prior + i), load(prior + i - bpp));
    const __m128i x = _mm_sub_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + i)),
                                   _mm_packus_epi16(predicted, zero));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), x);
  }
#endif
  for (; i < n; ++i) out[i] = static_cast<uint8_t>(row[i] - PaethPredictor(row[i - bpp], prior[i], prior[i - bpp]));
}

// Rows of bpp-byte pixels, each with its filter byte: Paeth alone compresses
// icons within a fraction of a percent of trying every filter on every row.
std::vector<uint8_t> FilterRows(const uint8_t* pixels, int width, int height, size_t bpp) {
  const size_t rowBytes = bpp * static_cast<size_t>(width);
  std::vector<uint8_t> rows((rowBytes + 1) * static_cast<size_t>(height));
  const std::vector<uint8_t> zeros(rowBytes, 0);
  for (size_t y = 0; y < static_cast<size_t>(height); ++y) {
    uint8_t* out = rows.data() + (rowBytes + 1) * y;
    out[0] = 4;
    FilterPaeth(pixels + rowBytes * y, y ? pixels + rowBytes * (y - 1) : zeros.data(), out + 1, rowBytes, bpp);
  }
  return rows;
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
    const __m128i nearest = PaethPredictor(a, b, c);
    const __m128i sum = _mm_add_epi8(_mm_cvtsi32_si128(static_cast<int>(raw)), _mm_packus_epi16(nearest, zero));
    const uint32_t done = static_cast<uint32_t>(_mm_cvtsi128_si32(sum));
    std::memcpy(out + i, &done, 4);
    a = _mm_unpacklo_epi8(sum, zero);
    c = b;
  }
#else
  for (size_t i = 0; i < n; ++i)
    out[i] = static_cast<uint8_t>(in[i] + PaethPredictor(i >= 4 ? out[i - 4] : 0, prior[i], i >= 4 ? prior[i - 4] : 0));
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
  const Deflate* library = DeflateLibrary();
  if (!library) return false;
  const Deflate& d = *library;
  const uint32_t width = static_cast<uint32_t>(image.width), height = static_cast<uint32_t>(image.height);

  std::vector<uint32_t> colours;
  std::vector<uint8_t> indices;
  if (Palettise(image, &colours, &indices)) {
    // Transparent colours first, so that the alpha table stays short.
    std::vector<uint8_t> order(colours.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<uint8_t>(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](uint8_t a, uint8_t b) { return (colours[a] >> 24) < (colours[b] >> 24); });
    uint8_t remap[256];
    std::vector<uint8_t> palette, alphas;
    for (size_t i = 0; i < order.size(); ++i) {
      const uint32_t c = colours[order[i]];
      remap[order[i]] = static_cast<uint8_t>(i);
      palette.insert(palette.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c >> 16)});
      if ((c >> 24) == 255) continue;
      alphas.resize(i + 1, 255);
      alphas[i] = static_cast<uint8_t>(c >> 24);
    }
    for (uint8_t& index : indices) index = remap[index];
    const int bits = colours.size() <= 2 ? 1 : colours.size() <= 4 ? 2 : colours.size() <= 16 ? 4 : 8;
    return Finish(d, width, height, static_cast<uint8_t>(bits), 3, palette, alphas,
                  PackRows(indices, image.width, image.height, bits), out);
  }

  // More colours: RGBA, or RGB when every pixel is opaque.
  if (image.hasAlpha)
    return Finish(d, width, height, 8, 6, {}, {}, FilterRows(image.pixels.data(), image.width, image.height, 4), out);
  std::vector<uint8_t> rgb(pixels * 3);
  for (size_t i = 0, j = 0; i < image.pixels.size(); i += 4, j += 3) {
    rgb[j] = image.pixels[i];
    rgb[j + 1] = image.pixels[i + 1];
    rgb[j + 2] = image.pixels[i + 2];
  }
  return Finish(d, width, height, 8, 2, {}, {}, FilterRows(rgb.data(), image.width, image.height, 3), out);
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
