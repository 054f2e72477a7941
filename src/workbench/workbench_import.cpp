// SPDX-License-Identifier: GPL-3.0-or-later

#include "workbench/workbench.hpp"

#include "model/file_name.hpp"

namespace tonfield {

void Workbench::chooseFile()
{
    if (busy_)
        return;
    if (auto file = services_.dialogs.chooseAudioFile())
        importFile(*file);
}

void Workbench::importFile(const std::filesystem::path& file)
{
    if (busy_)
        return;
    if (!isAcceptedAudioFile(file)) {
        setError(unsupportedAudioText);
        return;
    }
    if (sourceScope_ && source_)
        services_.grants.stop(*source_);
    sourceScope_ = services_.grants.start(file);
    publisher_.assign(Field::source, source_, std::optional<std::filesystem::path>(file));
    publisher_.assign(Field::showHistory, showHistory_, false);
    publisher_.assign(Field::message, message_, std::string(sourceReadyMessage));
}

} // namespace tonfield
