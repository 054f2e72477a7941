// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/desktop_app.hpp"

#include "app/menus.hpp"
#include "app/qt_translations.hpp"
#include "ui/theme.hpp"

#include "interop/qt_paths.hpp"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QSessionManager>
#include <QStyleFactory>
#include <QThreadPool>
#include <QTimer>
#include <QWindow>

#include <functional>

namespace tonfield::app {
DesktopApp::DarkTheme::DarkTheme(QApplication& app)
{
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    QPalette palette;
    palette.setColor(QPalette::Window, ui::theme::canvas());
    palette.setColor(QPalette::WindowText, Qt::white);
    palette.setColor(QPalette::Base, ui::theme::surface());
    palette.setColor(QPalette::AlternateBase, ui::theme::canvas());
    palette.setColor(QPalette::Text, Qt::white);
    palette.setColor(QPalette::Button, ui::theme::surface());
    palette.setColor(QPalette::ButtonText, Qt::white);
    palette.setColor(QPalette::ToolTipBase, ui::theme::surface());
    palette.setColor(QPalette::ToolTipText, Qt::white);
    palette.setColor(QPalette::Highlight, ui::theme::mint());
    palette.setColor(QPalette::HighlightedText, ui::theme::canvas());
    palette.setColor(QPalette::Disabled, QPalette::WindowText, ui::theme::muted());
    palette.setColor(QPalette::Disabled, QPalette::Text, ui::theme::muted());
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, ui::theme::muted());
    QApplication::setPalette(palette);
    QFont font("Noto Sans CJK SC");
    font.setPixelSize(13);
    app.setFont(font);
    loadChineseQtTranslations(app);
}

DesktopApp::DesktopApp(QApplication& app, Workbench& workbench)
    : theme_(app)
    , wheelGuard_(app)
    , workbench_(workbench)
    , bridge_(workbench)
    , quit_(workbench, &QuitConfirmation::askWithAlert)
    , window_(bridge_, {
                           .openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); },
                           .mayClose = [this] { return quit_.mayCloseMainWindow(); },
                       })
{
    // The settings window is not a reason to keep running once the main
    // window has gone; the application ends when the quit decision allows.
    QApplication::setQuitOnLastWindowClosed(false);
    installMenus(window_, bridge_, [this]() -> QWidget& {
        if (!settingsWindow_)
            settingsWindow_ = std::make_unique<SettingsWindow>(bridge_, packageInstaller_);
        return *settingsWindow_;
    });

    // Logging out of the desktop session passes the same decision.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, [this](QSessionManager& session) {
        if (!workbench_.busy())
            return;
        if (session.allowsInteraction() && !quit_.mayQuit()) {
            session.cancel();
            return;
        }
        workbench_.terminateForExit();
    });

    quit_.endOnTerminationSignals();
}

DesktopApp::~DesktopApp()
{
    workbench_.mixDesk().cancelMixExport();
    workbench_.songTimeline().cancelAnalysis();
    // The adapters run their background work on Qt's global pool.
    QThreadPool::globalInstance()->waitForDone(10'000);
}

void DesktopApp::open(const QStringList& files)
{
    if (files.size() == 1) {
        workbench_.importFile(toPath(files.constFirst()));
    } else if (files.size() > 1) {
        std::vector<std::filesystem::path> queued;
        for (const QString& file : files)
            queued.push_back(toPath(file));
        workbench_.jobQueue().enqueue(queued);
    }
    if (window_.isMinimized())
        window_.showNormal();
    window_.raise();
    window_.activateWindow();
}

namespace {

// Runs `then` once, after `window` is first exposed. Before that a window
// manager may not have placed it yet, and a dialog centred on it would be
// centred on the corner of the screen where it was not.
void afterFirstExpose(QWidget& window, std::function<void()> then)
{
    struct Watch : QObject {
        std::function<void()> then;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) {
                watched->removeEventFilter(this);
                QTimer::singleShot(0, watched, std::move(then));
                deleteLater();
            }
            return false;
        }
    };
    QWindow* handle = window.windowHandle();
    if (handle->isExposed()) {
        QTimer::singleShot(0, &window, std::move(then));
        return;
    }
    auto* watch = new Watch;
    watch->setParent(handle);
    watch->then = std::move(then);
    handle->installEventFilter(watch);
}

} // namespace

void DesktopApp::show()
{
    window_.show();
    const std::size_t waiting = workbench_.jobQueue().waitingFromEarlierRun().size();
    if (waiting == 0)
        return;
    afterFirstExpose(window_, [this, waiting] {
        QString text = QString("上次退出时还有 %1 首音乐在排队。").arg(waiting);
        if (const auto stopped = workbench_.jobQueue().songStoppedByQuit())
            text += QString("正在分轨的「%1」已随退出取消，可在处理记录中重新分轨。")
                        .arg(toQString(*stopped));
        QMessageBox question(QMessageBox::Question, "继续排队的分轨？", text, QMessageBox::NoButton,
                             &window_);
        question.setObjectName("resumeQueue");
        QPushButton* resume = question.addButton("继续分轨", QMessageBox::AcceptRole);
        question.setEscapeButton(question.addButton("稍后", QMessageBox::RejectRole));
        question.setDefaultButton(resume);
        question.exec();
        if (question.clickedButton() == resume)
            workbench_.jobQueue().resumeQueue();
    });
}

} // namespace tonfield::app
