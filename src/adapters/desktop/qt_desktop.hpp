// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The adapters that need a desktop session and Qt Widgets: modal choosers and
// the file browser. Only the window's composition root links them.

#include "ports/services.hpp"

namespace tonfield::adapters {

class QtDialogs final : public ports::Dialogs {
public:
    std::optional<std::filesystem::path> chooseFolder(const ports::FolderRequest& request) override;
    std::optional<std::filesystem::path> chooseAudioFile() override;
    std::vector<std::filesystem::path> chooseAudioFiles() override;
    std::optional<std::filesystem::path> chooseSaveFileOfType(const std::string& suggestedName,
                                                              const std::vector<std::string>& types,
                                                              const std::string& chosen) override;
    std::optional<std::filesystem::path> chooseSaveFile(const std::string& suggestedName,
                                                        const std::string& extension) override;
};

class QtFileBrowser final : public ports::FileBrowser {
public:
    void openFolder(const std::filesystem::path& folder) override;
};

} // namespace tonfield::adapters
