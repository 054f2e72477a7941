// SPDX-License-Identifier: GPL-3.0-or-later

#include "adapters/desktop/qt_desktop.hpp"
#include "interop/qt_paths.hpp"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>

namespace tonfield::adapters {

std::optional<std::filesystem::path> QtDialogs::chooseFolder(const ports::FolderRequest& request)
{
    QFileDialog dialog(QApplication::activeWindow(), QString::fromStdString(request.message));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setOption(QFileDialog::ReadOnly, !request.canCreateFolders);
    if (!request.confirmLabel.empty())
        dialog.setLabelText(QFileDialog::Accept, QString::fromStdString(request.confirmLabel));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return toPath(dialog.selectedFiles().constFirst());
}

namespace {

// A name filter stands in for "any audio type"; whether an extension is
// accepted is still the Workbench's decision.
const char* const kAudioFilter =
    "音频文件 (*.mp3 *.wav *.flac *.m4a *.ogg *.aac *.aiff *.aif *.wma *.opus *.caf "
    "*.MP3 *.WAV *.FLAC *.M4A *.OGG *.AAC *.AIFF *.AIF *.WMA);;所有文件 (*)";

} // namespace

std::optional<std::filesystem::path> QtDialogs::chooseAudioFile()
{
    const QString file = QFileDialog::getOpenFileName(QApplication::activeWindow(), QString(),
                                                      QString(), kAudioFilter);
    if (file.isEmpty())
        return std::nullopt;
    return toPath(file);
}

std::vector<std::filesystem::path> QtDialogs::chooseAudioFiles()
{
    std::vector<std::filesystem::path> chosen;
    for (const QString& file : QFileDialog::getOpenFileNames(QApplication::activeWindow(),
                                                             "批量分轨", QString(), kAudioFilter))
        chosen.push_back(toPath(file));
    return chosen;
}

std::optional<std::filesystem::path> QtDialogs::chooseSaveFile(const std::string& suggestedName,
                                                               const std::string& extension)
{
    const QString pattern =
        extension.empty() ? QString("*") : QString("*.%1").arg(QString::fromStdString(extension));
    QFileDialog dialog(QApplication::activeWindow());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(pattern);
    // "mix" saves as "mix.wav"; the dialog's own question about replacing a
    // file then concerns the name that will really be written.
    dialog.setDefaultSuffix(QString::fromStdString(extension));
    dialog.selectFile(QString::fromStdString(suggestedName));
    // The Workbench replaces an existing file safely; the dialog asks first.
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return toPath(dialog.selectedFiles().constFirst());
}

std::optional<std::filesystem::path>
QtDialogs::chooseSaveFileOfType(const std::string& suggestedName,
                                const std::vector<std::string>& types, const std::string& chosen)
{
    QStringList filters;
    for (const std::string& type : types)
        filters << QString("%1 (*.%2)")
                       .arg(QString::fromStdString(type).toUpper(), QString::fromStdString(type));
    QFileDialog dialog(QApplication::activeWindow());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(filters);
    // The type picked decides the extension the name gets (and the encoder).
    auto follow = [&dialog](const QString& filter) {
        dialog.setDefaultSuffix(filter.section("*.", 1).chopped(1));
        const QString name = QFileInfo(dialog.selectedFiles().value(0)).completeBaseName();
        if (!name.isEmpty())
            dialog.selectFile(name + "." + dialog.defaultSuffix());
    };
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, follow);
    const auto preselected = std::find(types.begin(), types.end(), chosen);
    const QString filter = filters.value(
        preselected == types.end() ? 0 : static_cast<int>(preselected - types.begin()));
    dialog.selectNameFilter(filter);
    dialog.setDefaultSuffix(filter.section("*.", 1).chopped(1));
    dialog.selectFile(QString::fromStdString(suggestedName) + "." + dialog.defaultSuffix());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return toPath(dialog.selectedFiles().constFirst());
}

void QtFileBrowser::openFolder(const std::filesystem::path& folder)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(toQString(folder)));
}

} // namespace tonfield::adapters
