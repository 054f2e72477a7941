// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "adapters/desktop/qt_desktop.hpp"
#include "adapters/mix_renderer.hpp"
#include "adapters/qt_adapters.hpp"
#include "adapters/qt_audio_output.hpp"
#include "adapters/qt_waveforms.hpp"
#include "adapters/song_analyzer.hpp"
#include "adapters/song_decoder.hpp"

namespace tonfield::adapters {

// Every real adapter, for a Workbench that runs against the actual desktop.
struct QtServices {
    QtClock clock;
    QtIdSource ids;
    QtSettings settings;
    QtDialogs dialogs;
    QtTimers timers;
    QtAppEnvironment environment;
    QtAccessGrants grants;
    QtProcessLauncher launcher;
    QtAudioOutput audio;
    QtWaveforms waveforms;
    QtFileBrowser fileBrowser;
    FreedesktopTrash trash;
    QtBackgroundWork background;
    EncodedMixRenderer mixRenderer;
    FfmpegSongDecoder songDecoder;
    QmDspSongAnalyzer songAnalyzer;

    ports::Services services()
    {
        return {clock,      ids,         settings,    dialogs,     timers,    environment,
                grants,     launcher,    audio,       fileBrowser, waveforms, trash,
                background, mixRenderer, songDecoder, songAnalyzer};
    }
};

} // namespace tonfield::adapters
