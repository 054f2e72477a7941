// SPDX-License-Identifier: GPL-3.0-or-later

#include "adapters/song_analyzer.hpp"

#include "adapters/private_library.hpp"

#include <dlfcn.h>
#include <mutex>
#include <string>

namespace tonfield::adapters {
namespace {

constexpr const char* kLibrary = "libtonfield_analysis.so";

// The library's analysis, or why it could not be loaded.
struct LoadedAnalysis {
    analysis::AnalyzeSong analyze = nullptr;
    std::string failure;
};

LoadedAnalysis load()
{
    // Loaded once and kept: a worker may be analysing when the caller goes.
    auto library = openPrivateLibrary(kLibrary);
    if (!library)
        return {.analyze = nullptr, .failure = "音乐分析不可用：" + library.failure()};
    using Entry = analysis::AnalyzeSong (*)();
    auto entry = reinterpret_cast<Entry>(::dlsym(*library, "tonfield_song_analyzer"));
    if (!entry)
        return {.analyze = nullptr, .failure = std::string("音乐分析不可用：") + ::dlerror()};
    return {.analyze = entry(), .failure = {}};
}

const LoadedAnalysis& library()
{
    static std::once_flag loading;
    static LoadedAnalysis loaded;
    std::call_once(loading, [] { loaded = load(); });
    return loaded;
}

} // namespace

Result<analysis::MusicalAnalysis>
QmDspSongAnalyzer::analyze(const analysis::AnalysisSources& sources)
{
    if (!library().analyze)
        return Result<analysis::MusicalAnalysis>::failed(library().failure);
    return library().analyze(sources);
}

} // namespace tonfield::adapters
