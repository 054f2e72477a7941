// SPDX-License-Identifier: GPL-3.0-or-later
// Writing the mix of a four-minute song with four stems, as "导出混音" does:
// the time per format, and how exactly the lossless files hold the sum of
// the stems (all at 0 dB; and with the vocals muted).

#include "adapters/decoded_audio.hpp"
#include "adapters/mix_renderer.hpp"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {
namespace fs = std::filesystem;
using namespace tonfield;

} // namespace

int main()
{
    std::string made = (fs::temp_directory_path() / "tonfield-mix-bench-XXXXXX").string();
    if (!::mkdtemp(made.data()))
        return 1;
    const fs::path folder = made;
    // Vocals, drums, bass and other, with something in every band, each a
    // little quieter than full scale so that their sum does not clip.
    const std::string sources[] = {
        "0.2*sin(2*PI*220*t)*sin(2*PI*0.3*t)|0.2*sin(2*PI*330*t)",
        "0.2*(random(0)-0.5)*exp(-20*mod(t\\,0.5))|0.2*(random(1)-0.5)*exp(-20*mod(t\\,0.5))",
        "0.2*sin(2*PI*55*t)|0.2*sin(2*PI*55*t)",
        "0.1*sin(2*PI*880*t+sin(2*PI*3*t))|0.1*sin(2*PI*660*t)",
    };
    const char* names[] = {"song_(Vocals).wav", "song_(Drums).wav", "song_(Bass).wav",
                           "song_(Other).wav"};
    ports::MixRender mix;
    for (int i = 0; i < 4; ++i) {
        const fs::path stem = folder / names[i];
        const std::string command =
            std::string("ffmpeg -nostdin -v error -y -f lavfi -i 'aevalsrc=") + sources[i] +
            ":s=44100:d=240' '" + stem.string() + "'";
        if (std::system(command.c_str()) != 0)
            return 1;
        mix.stems.push_back(stem);
    }

    adapters::EncodedMixRenderer renderer;
    auto timed = [&](const ports::MixRender& wanted, const fs::path& file) {
        const auto start = std::chrono::steady_clock::now();
        if (!renderer.render(wanted, file, [](double) { return true; }))
            std::exit(1);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    mix.gains = {1, 1, 1, 1};
    for (const char* format : {"WAV", "FLAC", "MP3"}) {
        mix.format = outputFormatFromRaw(format).value();
        const double seconds = timed(mix, folder / (std::string("mix.") + format));
        std::printf("mix of a 4-minute song, four stems, as %-4s: %.2f s\n", format, seconds);
    }

    std::vector<float> all, withoutVocals;
    for (int i = 0; i < 4; ++i) {
        const auto stem = test::decodedStereo(mix.stems[static_cast<std::size_t>(i)]);
        all.resize(stem.size(), 0.0f);
        withoutVocals.resize(stem.size(), 0.0f);
        for (std::size_t n = 0; n < stem.size(); ++n) {
            all[n] += stem[n];
            if (i != 0)
                withoutVocals[n] += stem[n];
        }
    }
    std::printf("exactness, every stem at 0 dB: WAV %.1f dB, FLAC %.1f dB below the signal\n",
                test::errorDb(all, test::decodedStereo(folder / "mix.WAV")),
                test::errorDb(all, test::decodedStereo(folder / "mix.FLAC")));
    mix.gains = {0, 1, 1, 1};
    mix.format = OutputFormat::wav;
    timed(mix, folder / "karaoke.wav");
    std::printf("exactness, vocals muted: WAV %.1f dB below the signal\n",
                test::errorDb(withoutVocals, test::decodedStereo(folder / "karaoke.wav")));
    fs::remove_all(folder);
    return 0;
}
