// SPDX-License-Identifier: GPL-3.0-or-later

#include "adapters/audio_decoder.hpp"
#include "adapters/audio_encoder.hpp"
#include "adapters/private_library.hpp"

#include <dlfcn.h>
#include <mutex>
#include <string>

namespace tonfield::adapters {
namespace {

constexpr const char* kLibrary = "libtonfield_decoder.so";

// The library's two entry points, or why it could not be loaded.
struct LoadedLibrary {
    OpenAudioDecoder decoder = nullptr;
    OpenAudioEncoder encoder = nullptr;
    std::string failure;
};

template <class Opener> Opener entry(void* library, const char* name, std::string& failure)
{
    using Entry = Opener (*)();
    auto found = reinterpret_cast<Entry>(::dlsym(library, name));
    if (!found) {
        failure = std::string("audio decoding is unavailable: ") + ::dlerror();
        return nullptr;
    }
    return found();
}

LoadedLibrary load()
{
    // Decoders it made may outlive any caller: the library stays loaded.
    auto library = openPrivateLibrary(kLibrary);
    if (!library)
        return {.failure = "audio decoding is unavailable: " + library.failure()};
    LoadedLibrary loaded;
    loaded.decoder =
        entry<OpenAudioDecoder>(*library, "tonfield_audio_decoder_opener", loaded.failure);
    loaded.encoder =
        entry<OpenAudioEncoder>(*library, "tonfield_audio_encoder_opener", loaded.failure);
    return loaded;
}

const LoadedLibrary& library()
{
    static std::once_flag loading;
    static LoadedLibrary loaded;
    std::call_once(loading, [] { loaded = load(); });
    return loaded;
}

} // namespace

Result<std::unique_ptr<AudioDecoder>> openAudioDecoder(const std::filesystem::path& file,
                                                       const PcmFormat& output)
{
    if (!library().decoder)
        return Result<std::unique_ptr<AudioDecoder>>::failed(library().failure);
    return library().decoder(file, output);
}

Result<std::unique_ptr<AudioEncoder>> openAudioEncoder(const std::filesystem::path& file,
                                                       EncodedFormat format, int sampleRate,
                                                       int channels)
{
    if (!library().encoder)
        return Result<std::unique_ptr<AudioEncoder>>::failed(library().failure);
    return library().encoder(file, format, sampleRate, channels);
}

} // namespace tonfield::adapters
