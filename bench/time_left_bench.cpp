// SPDX-License-Identifier: GPL-3.0-or-later
// How well the time left matches the time the reference engine really took:
// the engine separates a four-minute song; its percentages are read as the
// window reads its log, every 0.4 s, and every estimate after 20 % is
// compared with the time that was in fact left.
//
//     build/bench/time_left_bench [ENGINE_FOLDER [MINUTES]]
//                                  (default: build/Engine, a 4-minute song)

#include "model/progress.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

int main(int argc, char* argv[])
{
    namespace fs = std::filesystem;
    using Clock = std::chrono::steady_clock;
    const fs::path engine = fs::absolute(argc > 1 ? argv[1] : "build/Engine");
    const int minutes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 4;
    const fs::path song = fs::temp_directory_path() / "tonfield-time-left.wav";
    const std::string makeSong =
        "ffmpeg -nostdin -v error -y -f lavfi -i "
        "'aevalsrc=0.3*sin(2*PI*440*t)*sin(2*PI*0.5*t)+0.2*sin(2*PI*110*t)|"
        "0.3*sin(2*PI*440*t)*sin(2*PI*0.5*t)+0.2*sin(2*PI*165*t):s=44100:d=" +
        std::to_string(60 * minutes) + "' '" + song.string() + "'";
    const fs::path output = fs::temp_directory_path() / "tonfield-time-left";
    fs::remove_all(output);
    fs::create_directories(output);
    if (std::system(makeSong.c_str()) != 0)
        return 1;
    const std::string run = "cd '" + engine.string() +
                            "' && .venv/bin/python -u separate_job.py '" + song.string() + "' '" +
                            output.string() + "' htdemucs.yaml WAV standard 2>&1";
    FILE* engineOutput = ::popen(run.c_str(), "r");
    if (!engineOutput)
        return 1;

    // The moments the engine printed each percentage.
    const auto start = Clock::now();
    auto seconds = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    std::string log;
    std::vector<std::pair<double, double>> printed;
    for (int c; (c = std::fgetc(engineOutput)) != EOF;) {
        log.push_back(static_cast<char>(c));
        if (c == '%')
            if (const auto percent = tonfield::progressPercent(log))
                printed.emplace_back(seconds(), *percent);
    }
    const int status = ::pclose(engineOutput);
    const double end = seconds();
    if (status != 0 || printed.empty()) {
        std::fprintf(stderr, "the engine failed:\n%s\n", log.c_str());
        return 1;
    }

    // Read as the window reads the log: at every poll, the last percentage so
    // far, timed by when the log was last written (that print), kept within
    // the time since the previous poll.
    constexpr double poll = 0.4;
    tonfield::RemainingTime remaining;
    double previous = 0;
    // A poll lags the print it reads by up to 0.4 s: in the last seconds that
    // lag alone is a large share of what is left, so the relative error is
    // judged while at least 2 s remain and the absolute error throughout.
    constexpr double judgedFrom = 2.0;
    double worst = 0, worstSeconds = 0;
    int compared = 0;
    for (double at = poll; at < end; at += poll) {
        auto last = std::upper_bound(printed.begin(), printed.end(), at,
                                     [](double t, const auto& entry) { return t < entry.first; });
        if (last == printed.begin()) {
            previous = at;
            continue;
        }
        const double percent = std::prev(last)->second;
        remaining.observe(std::clamp(std::prev(last)->first, previous, at), percent);
        previous = at;
        const auto left = remaining.secondsLeft(at);
        const double truth = end - at;
        if (!left || percent < 20 || percent >= 100)
            continue;
        worstSeconds = std::max(worstSeconds, std::abs(*left - truth));
        if (truth >= judgedFrom) {
            worst = std::max(worst, std::abs(*left - truth) / truth);
            ++compared;
        }
        std::printf("  %5.1f %%  at %6.2f s: estimated %6.2f s left, really %6.2f s (%+.0f %%)\n",
                    percent, at, *left, truth, 100 * (*left - truth) / truth);
    }
    std::printf("time left on a %d-minute song, four stems, standard, polled every %.1f s: worst "
                "error after 20 %% is %.0f %% over %d estimates while %.0f s or more remain; worst "
                "in seconds to the end %.2f s (run took %.1f s)\n",
                minutes, poll, 100 * worst, compared, judgedFrom, worstSeconds, end);
    fs::remove_all(output);
    fs::remove(song);
    return 0;
}
