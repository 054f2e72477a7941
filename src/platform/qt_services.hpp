#pragma once

#include "platform/qt_audio_output.hpp"
#include "platform/qt_platform.hpp"

namespace tonfield::platform {

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
    QtFileBrowser fileBrowser;

    Services services()
    {
        return {clock,       ids,    settings, dialogs, timers,
                environment, grants, launcher, audio,   fileBrowser};
    }
};

} // namespace tonfield::platform
