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
        std::optional<mixer::Overview> delivered;
        waveforms.request(tone, [&](mixer::Overview got) { delivered = std::move(got); });
        EXPECT_TRUE(test::runUntil([&] { return delivered.has_value(); }));
        return delivered.value_or(mixer::Overview{});
    };

    const mixer::Overview measuredOverview = overview();
    EXPECT_NEAR(measuredOverview.seconds, 2.0, 0.01) << "the length decoded";
    const std::vector<float>& measured = measuredOverview.peaks;
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
    EXPECT_EQ(mixer::decodeOverview(test::readFile(stored[0])), measuredOverview);

    const mixer::Overview planted{std::vector<float>(400, 0.9f), 3};
    test::writeFile(stored[0], mixer::encodeOverview(planted));
    EXPECT_EQ(overview(), planted) << "read from the cache";

    test::writeFile(stored[0], "not an overview");
    EXPECT_EQ(overview(), measuredOverview) << "measured again";
    EXPECT_EQ(mixer::decodeOverview(test::readFile(stored[0])), measuredOverview)
        << "and stored again";
}

} // namespace
} // namespace tonfield::adapters
