// PSNR against file size for three synthetic natural-looking 512 x 512
// pictures: the wavelet codec at the sizes `kpx encode --psnr` chooses for a
// few targets, beside libjpeg-turbo at quality 75 and 90 (4:4:4 and 4:2:0).
// Prints a Markdown table (bench/codec/README.md holds a copy).
#include <cstdio>
#include <string>

#include "codec/wavelet.h"
#include "jpeg_io.h"
#include "search.h"
#include "synthetic.h"

namespace {

constexpr int kSide = 512;

void row(const char* picture, const std::string& coder, std::size_t bytes, double psnr) {
  std::printf("| %s | %s | %zu | %.3f | %.2f |\n", picture, coder.c_str(), bytes,
              8.0 * double(bytes) / (kSide * kSide), psnr);
}

double jpegPsnr(const kpx::Picture& picture, const std::vector<std::uint8_t>& jpeg) {
  kpx::Picture decoded;
  if (!codecbench::decodeJpeg(jpeg, decoded)) return 0;
  // kpx::psnr compares against B,G,R,0 pixels.
  std::vector<std::uint8_t> bgr0(std::size_t(kSide) * kSide * 4);
  for (std::size_t i = 0; i < std::size_t(kSide) * kSide; ++i)
    for (int c = 0; c < 3; ++c) bgr0[4 * i + 2 - c] = decoded.pixels[3 * i + c];
  return kpx::psnr(picture, bgr0);
}

}  // namespace

int main() {
  std::printf("| picture | coder | bytes | bits/pixel | PSNR dB |\n|---|---|---|---|---|\n");
  for (kpx::Scene scene : {kpx::Scene::landscape, kpx::Scene::objects, kpx::Scene::clouds}) {
    const kpx::Picture picture = kpx::syntheticPicture(scene, kSide, kSide, 1);
    const char* name = kpx::sceneName(scene);
    for (double target : {30.0, 34.0, 38.0, 42.0}) {
      const kpx::SearchResult s = kpx::searchForPsnr(picture, target);
      row(name, "kpx --psnr " + std::to_string(int(target)) + " (" + kpx::describe(s.best.params) +
                    (s.reached ? ")" : ", target not reached)"),
          s.best.bytes, s.best.psnr);
    }
    kpx::TrialEncoder encoder(picture);
    kpx::Trial plain;
    encoder.run({5, {8, 8, 8}, -1, false}, plain, nullptr);
    row(name, "kpx --levels 5 --bits 8 (no threshold)", plain.bytes, plain.psnr);
    for (int quality : {75, 90})
      for (bool full : {true, false}) {
        const auto jpeg = codecbench::encodeJpeg(picture, quality, full);
        row(name, "JPEG q" + std::to_string(quality) + (full ? " 4:4:4" : " 4:2:0"), jpeg.size(),
            jpegPsnr(picture, jpeg));
      }
    std::fflush(stdout);
  }
  return 0;
}
