#include "platform/qt_audio_output.hpp"
#include "platform/qt_platform.hpp"
#include "workbench/workbench.hpp"

namespace tonfield {

// Built on first use, after the QApplication exists (the poll timer needs its
// event loop); lives until the process ends.
Workbench& Workbench::shared()
{
    static platform::QtClock clock;
    static platform::QtIdSource ids;
    static platform::QtSettings settings;
    static platform::QtDialogs dialogs;
    static platform::QtTimers timers;
    static platform::QtAppEnvironment environment;
    static platform::QtAccessGrants grants;
    static platform::QtProcessLauncher launcher;
    static platform::QtAudioOutput audio;
    static platform::QtFileBrowser fileBrowser;
    // Never destroyed: it lives until the process ends, and must not tear down
    // its timer or player after the application object is gone.
    static const auto* const instance = new std::shared_ptr<Workbench>(Workbench::create(
        {clock, ids, settings, dialogs, timers, environment, grants, launcher, audio,
         fileBrowser}));
    return **instance;
}

} // namespace tonfield
