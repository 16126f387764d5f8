// spihost convert FILE -o OUT.png|OUT.bmp

#include "commands.h"
#include "fetch.h"
#include "picture.h"
#include "support.h"

namespace spihost {
namespace {

// GetPicture into two byte vectors.
int FetchPicture(Job& job, const LoadedPlugin& p, std::vector<uint8_t>* info, std::vector<uint8_t>* bits) {
  SpiHandle hInfo = nullptr, hBits = nullptr;
  int r = CallWithPath(
      job.file, p.plugin.getPictureW != nullptr,
      [&](const char* f) { return p.plugin.getPicture(f, 0, InputFile, &hInfo, &hBits, OnProgress, UserValue(job)); },
      [&](const SpiWChar* f) {
        return p.plugin.getPictureW(f, 0, InputFile, &hInfo, &hBits, OnProgress, UserValue(job));
      });
  if (r != ResultOk) return r;
  return TakeBoth(hInfo, hBits, info, bits) ? ResultOk : ResultBrokenData;
}

void Written(Job& job, const std::string& why) {
  if (!why.empty()) Fail(job, "", why);
}

void ConvertInput(Job& job) {
  const std::string& out = job.session.options.output;
  const bool asBmp = EndsWithNoCase(out, ".bmp");
  Candidates c;
  std::string why;
  bool executable = false;
  if (!CandidatesForFile(job.session.plugins, job.file, &c, &why, &executable)) {
    Fail(job, "", why);
    return;
  }
  int r = ResultOk;
  for (const LoadedPlugin* p : c.images()) {
    std::vector<uint8_t> bytes;
    if (asBmp) {
      // A .bmp is the bitmap exactly as the plug-in's GetPicture hands it over.
      std::vector<uint8_t> info, bits;
      r = FetchPicture(job, *p, &info, &bits);
      if (r != ResultOk) continue;
      why = DibToBmpFile(info.data(), info.size(), bits.data(), bits.size(), &bytes);
    } else {
      ShownPicture picture;
      r = FetchShownPictureOfFile(p->plugin, job.file, true, OnProgress, UserValue(job), &picture);
      if (r != ResultOk) continue;
      if (!ShownPicturePng(picture, &bytes)) why = "PNG encoding failed";
    }
    Written(job, why.empty() ? WriteWholeFile(out, bytes) : why);
    return;
  }
  if (!c.images().empty()) {
    FailResult(job, "", *c.images().front(), r);
    return;
  }
  std::vector<uint8_t> data;
  size_t io, is, bo, bs;
  if (ReadFileBytes(job.file, SIZE_MAX, &data).empty() && BmpFileToDib(data, &io, &is, &bo, &bs).empty()) {
    std::vector<uint8_t> bytes;
    if (asBmp) {
      why = DibToBmpFile(data.data() + io, is, data.data() + bo, bs, &bytes);
    } else {
      RgbaImage image;
      why = DibToImage(data.data() + io, is, data.data() + bo, bs, &image);
      if (why.empty() && !EncodePng(image, &bytes)) why = "PNG encoding failed";
    }
    Written(job, why.empty() ? WriteWholeFile(out, bytes) : why);
  } else if (!c.archives().empty()) {
    Fail(job, "", "an archive (" + c.archives().front()->file + "), not a picture; use 'spihost extract FILE --png'");
  } else {
    Fail(job, "", NobodyTakes(executable));
  }
}

}  // namespace

std::string CheckConvertOptions(const Options& o) {
  if (o.output.empty()) return "'convert' needs -o OUT.png or -o OUT.bmp";
  if (!EndsWithNoCase(o.output, ".png") && !EndsWithNoCase(o.output, ".bmp"))
    return "the output of 'convert' must end in .png or .bmp";
  return {};
}

int RunConvert(Session& s) {
  RunJobs(s, {s.options.operands[0]}, ConvertInput);
  return s.status;
}

}  // namespace spihost
