#include "adapters/audio_decoder.hpp"

#include <dlfcn.h>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

namespace tonfield::adapters {
namespace {

constexpr const char* kLibrary = "libtonfield_decoder.so";

// Where the library lies, from the executable's folder: installed, in the
// program's private folder beside bin/ (as it is for the build tree's tests
// and benchmarks); in the build tree, below the application itself.
std::vector<std::filesystem::path> candidates()
{
    std::error_code error;
    const auto folder = std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
    if (error)
        return {};
    return {folder / "../lib/tonfield" / kLibrary, folder / "lib/tonfield" / kLibrary};
}

struct LoadedOpener {
    OpenAudioDecoder open = nullptr;
    std::string failure;
};

LoadedOpener load()
{
    // Stays loaded for the life of the process: decoders it made may outlive any caller.
    void* library = nullptr;
    std::string failure = std::string(kLibrary) + ": not found beside the program";
    for (const auto& path : candidates()) {
        if (!std::filesystem::exists(path))
            continue;
        if ((library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)))
            break;
        failure = ::dlerror();
    }
    if (!library)
        return {.failure = "audio decoding is unavailable: " + failure};
    using Entry = OpenAudioDecoder (*)();
    auto entry = reinterpret_cast<Entry>(::dlsym(library, "tonfield_audio_decoder_opener"));
    if (!entry)
        return {.failure = std::string("audio decoding is unavailable: ") + ::dlerror()};
    return {.open = entry(), .failure = {}};
}

} // namespace

Result<std::unique_ptr<AudioDecoder>> openAudioDecoder(const std::filesystem::path& file,
                                                       const PcmFormat& output)
{
    static std::once_flag loading;
    static LoadedOpener opener;
    std::call_once(loading, [] { opener = load(); });
    if (!opener.open)
        return Result<std::unique_ptr<AudioDecoder>>::failed(opener.failure);
    return opener.open(file, output);
}

} // namespace tonfield::adapters
