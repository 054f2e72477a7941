// SPDX-License-Identifier: GPL-3.0-or-later

#include "workbench/workbench.hpp"

#include "model/ascii_case.hpp"
#include "model/atomic_file.hpp"
#include "model/failure_text.hpp"
#include "model/file_copy.hpp"
#include "model/file_name.hpp"

namespace tonfield {
namespace fs = std::filesystem;

void Workbench::exportStem(const Stem& stem)
{
    const std::string fileName = stem.url.filename().string();
    auto destination = services_.dialogs.chooseSaveFile(fileName, lowercasedExtension(stem.url));
    if (!destination)
        return;
    if (destination->lexically_normal() == stem.url.lexically_normal())
        return;
    // The old file is replaced only by a complete copy, never removed first.
    if (auto copied = replaceWithCopy(stem.url, *destination, Links::refuse); !copied)
        setError(copied.failure());
}

void Workbench::exportAll()
{
    if (stems_.empty())
        return;
    ports::FolderRequest request;
    request.confirmLabel = "导出到此文件夹";
    request.canCreateFolders = true;
    auto chosen = services_.dialogs.chooseFolder(request);
    if (!chosen)
        return;

    const std::string base = exportBaseName(selectedJob_ ? selectedJob_->filename : std::string());
    fs::path target = *chosen / (base + " · 分轨");
    if (somethingAt(target))
        target = *chosen / (base + " · " + asciiUppercased(services_.ids.newUuid().substr(0, 6)));

    std::error_code ec;
    fs::create_directories(target, ec);
    if (ec) {
        setError(failureText(target, ec));
        return;
    }
    for (const Stem& stem : stems_) {
        if (auto copied = copyFile(stem.url, target / stem.url.filename(), Links::refuse);
            !copied) {
            setError(copied.failure());
            return;
        }
    }
    services_.fileBrowser.openFolder(target);
}

} // namespace tonfield
