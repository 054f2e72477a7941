#include "platform/qt_platform.hpp"

#include <QApplication>
#include <QFileDialog>

namespace tonfield::platform {

std::optional<std::filesystem::path> QtDialogs::chooseFolder(const FolderRequest& request)
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

} // namespace tonfield::platform
