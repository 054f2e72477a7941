// SPDX-License-Identifier: GPL-3.0-or-later
// The program's entry. It links Qt Core alone: a sub-command, --help,
// --version and a start without a display are answered before anything of
// the window is loaded. The window lives in a library of its own, loaded
// only when a window is to be opened, so the dynamic loader resolves Qt Gui,
// Widgets and Multimedia for the window and never for the command line.

#include "app/window_options.hpp"

#include "adapters/private_library.hpp"
#include "cli/command_line.hpp"

#include <cstdio>
#include <dlfcn.h>
#include <string_view>

namespace {

using namespace tonfield;

constexpr const char* kWindowLibrary = "libtonfield_window.so";

// Whether a window can be tried at all: a platform was named, or a display.
bool displayNamed(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "-platform")
            return true;
    }
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
           !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// Whether the arguments only ask for the help or the version, which need no
// window even where there is a display. (--help-all lists the window's own
// Qt options too, and so goes to the window.)
bool onlyAsksForHelpOrVersion(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        if (argument != "--help" && argument != "-h" && argument != "-?" &&
            argument != "--version" && argument != "-v")
            return false;
    }
    return argc > 1;
}

int windowUnavailable(const std::string& reason)
{
    std::fprintf(stderr, "tonfield: the window cannot be opened: %s\n", reason.c_str());
    return 1;
}

} // namespace

int main(int argc, char* argv[])
{
    // A sub-command runs headless, before any window machinery exists.
    if (argc > 1 && cli::isCommand(argv[1]))
        return cli::run(argc, argv);

    if (!displayNamed(argc, argv) || onlyAsksForHelpOrVersion(argc, argv)) {
        // Help, version and mistakes are answered; a window is not opened.
        int status = 0;
        QCoreApplication core(argc, argv);
        app::describeApplication();
        if (!app::readOptions(core, status))
            return status;
        std::fprintf(stderr, "tonfield: no display to open the window on (neither DISPLAY nor "
                             "WAYLAND_DISPLAY is set).\n"
                             "The command line runs without one: see 'tonfield help'.\n");
        return 1;
    }

    auto library = adapters::openPrivateLibrary(kWindowLibrary);
    if (!library)
        return windowUnavailable(library.failure());
    using WindowMain = int (*)(int, char**);
    auto windowMain = reinterpret_cast<WindowMain>(::dlsym(*library, "tonfield_window_main"));
    if (!windowMain)
        return windowUnavailable(::dlerror());
    return windowMain(argc, argv);
}
