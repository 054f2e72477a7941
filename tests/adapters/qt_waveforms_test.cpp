// SPDX-License-Identifier: GPL-3.0-or-later

#include "adapters/qt_waveforms.hpp"

#include "adapters/audio_files.hpp"
#include "adapters/event_loop.hpp"
#include "fakes/temp_folder.hpp"
#include "mixer/waveform.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace tonfield::adapters {
namespace {
namespace fs = std::filesystem;

// Measured off the main thread from the decoded file, kept in the user's
// cache, and read from there next time unless what is there is not an overview.
TEST(QtWaveforms, MeasuresOnceThenReadsTheCacheButNeverTrustsIt)
{
    test::TempFolder folder;
    ::setenv("XDG_CACHE_HOME", (folder / "cache").c_str(), 1);
    const fs::path tone = folder / "tone.flac";
    ASSERT_TRUE(test::makeTone(tone, 2.0));
    QtWaveforms waveforms;
    auto overview = [&] {
        std::optional<std::vector<float>> delivered;
        waveforms.request(tone, [&](std::vector<float> peaks) { delivered = std::move(peaks); });
        EXPECT_TRUE(test::runUntil([&] { return delivered.has_value(); }));
        return delivered.value_or(std::vector<float>{});
    };

    const std::vector<float> measured = overview();
    ASSERT_EQ(measured.size(), mixer::PeakMeter::buckets);
    // Measured in mono: the two sines of 0.125, folded together at -3 dB each,
    // peak at up to 0.177, and sound all along (the last stretches may be short).
    const float loudest = *std::max_element(measured.begin(), measured.end());
    EXPECT_GT(loudest, 0.125f);
    EXPECT_LE(loudest, 0.18f);
    EXPECT_GT(*std::min_element(measured.begin(), measured.begin() + 390), 0.05f);

    std::vector<fs::path> stored;
    for (const auto& entry : fs::directory_iterator(folder / "cache/Tonfield/waveforms"))
        stored.push_back(entry.path());
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(mixer::decodePeaks(test::readFile(stored[0])), measured);

    test::writeFile(stored[0], mixer::encodePeaks(std::vector<float>(400, 0.9f)));
    EXPECT_EQ(overview(), std::vector<float>(400, 0.9f)) << "read from the cache";

    test::writeFile(stored[0], "not an overview");
    EXPECT_EQ(overview(), measured) << "measured again";
    EXPECT_EQ(mixer::decodePeaks(test::readFile(stored[0])), measured) << "and stored again";
}

} // namespace
} // namespace tonfield::adapters
