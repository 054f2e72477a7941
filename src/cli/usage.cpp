// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/usage.hpp"

#include <algorithm>
#include <array>

namespace tonfield::cli {
namespace {

struct Command {
    std::string_view name;
    std::string_view synopsis;
    std::string_view details;
};

constexpr std::array<Command, 7> commands{{
    {"separate",
     "tonfield separate [--mode=vocal|four|six] [--format=WAV|FLAC|MP3] [--high]\n"
     "                  [--engine=DIR] [--export=DIR] [--] FILE...",
     "Separates each FILE in turn, as the window's queue does, and prints the\n"
     "stems written, one path a line. Status and progress go to standard error.\n"
     "\n"
     "  --mode=MODE     vocal (vocals and accompaniment, the default), four\n"
     "                  (vocals, drums, bass, other) or six (those, guitar, piano)\n"
     "  --format=FMT    the stems' format: WAV (the default), FLAC or MP3\n"
     "  --high          high quality: slower, a little cleaner\n"
     "  --engine=DIR    use the engine folder DIR; it must hold an engine\n"
     "  --export=DIR    copy each job's stems into a folder of their own in DIR\n"
     "\n"
     "Exit status: 0 when every job ended done, 1 when any did not, 2 for bad\n"
     "usage, 130 after Ctrl+C (which cancels the running job and the rest)."},
    {"history", "tonfield history [--json] [--engine=DIR]",
     "Lists the jobs of the engine folder, newest first: id, date, file, mode,\n"
     "status and number of stems, separated by tabs; with --json, the records\n"
     "as stored."},
    {"export", "tonfield export [--engine=DIR] [--] JOB_ID DIR",
     "Copies the stems of job JOB_ID into a new folder in DIR and prints its path."},
    {"log", "tonfield log [--engine=DIR] [--] JOB_ID", "Prints the engine's log of job JOB_ID."},
    {"engines", "tonfield engines [setup NAME | use NAME]",
     "Lists the engines this installation can set up, one a line: * for the one\n"
     "in use, its name, its state, the modes it separates, its jobs, the disk it\n"
     "uses and its folder, separated by tabs.\n"
     "\n"
     "  setup NAME   sets the engine up in its folder, printing the set-up's\n"
     "               progress, and prints the folder when it is ready\n"
     "  use NAME     makes a ready engine the engine folder, for the window too\n"
     "\n"
     "Each engine keeps its own jobs: `history` lists those of the one in use."},
    {"analyze", "tonfield analyze [--json] [--engine=DIR] [--] FILE_OR_JOB_ID...",
     "Finds the beats, bars, tempo, key and chords of each audio FILE, or of\n"
     "each job JOB_ID of the engine folder (from its drums stem and its pitched\n"
     "stems where it has them), and prints a summary of each.\n"
     "\n"
     "  --json   one JSON object each, an array for several: input, duration,\n"
     "           tempo, meter, beats, downbeats (seconds), key (tonic, mode,\n"
     "           confidence, or null), chords (start, end, label as \"A:min\")\n"
     "\n"
     "Exit status: 0 when every input was analysed, 1 when any was not, 2 for\n"
     "bad usage."},
    {"help", "tonfield help [COMMAND]",
     "Prints how to use Tonfield, or one COMMAND; `tonfield COMMAND --help` does\n"
     "the same."},
}};

const Command* find(std::string_view name)
{
    const auto found = std::find_if(commands.begin(), commands.end(),
                                    [&](const Command& command) { return command.name == name; });
    return found == commands.end() ? nullptr : &*found;
}

// A synopsis as listed under "Usage:", its continuation lines indented alike.
std::string listed(std::string_view synopsis)
{
    std::string text = "  ";
    for (char c : synopsis) {
        text.push_back(c);
        if (c == '\n')
            text.append("  ");
    }
    return text + "\n";
}

} // namespace

bool isCommand(std::string_view word)
{
    return find(word) != nullptr;
}

std::string usage()
{
    std::string text = "Usage:\n  tonfield [OPTION]... [FILE]...\n";
    for (const Command& command : commands)
        text += listed(command.synopsis);
    return text;
}

std::optional<std::string> commandHelp(std::string_view command)
{
    const Command* found = find(command);
    if (!found)
        return std::nullopt;
    return "Usage:\n" + listed(found->synopsis) + "\n" + std::string(found->details) + "\n";
}

} // namespace tonfield::cli
