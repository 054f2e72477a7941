// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/settings_window.hpp"
#include "ui/settings_panel.hpp"
#include "ui/top_bar.hpp"

#include "fakes/engine_fixture.hpp"
#include "fakes/fake_package_installer.hpp"
#include "views/view_fixture.hpp"
#include "views/view_test_main.hpp"

#include <QClipboard>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

using namespace tonfield;
using test::child;
using test::settle;
using test::shown;
namespace fs = std::filesystem;

namespace {

constexpr const char* neuralDescription =
    R"({"name": "Hybrid Demucs", "modes": ["vocal", "four"], "note": "神经网络分离",
        "packages": ["python3-torchaudio"]})";

// The two templates an installation brings, over the fixture's fakes.
void addTemplates(test::ViewFixture& f)
{
    for (const auto& [name, description] :
         {std::pair{"reference", R"({"name": "参考引擎", "modes": ["vocal", "four", "six"]})"},
          std::pair{"hdemucs", neuralDescription}}) {
        const fs::path folder = f.temp / "templates" / name;
        test::writeFile(folder / "engine.json", description);
        f.platform.environment.templates[name] = folder;
    }
    f.platform.environment.dataFolder = f.temp / "data";
}

QWidget* card(QWidget& window, const char* name)
{
    return child(window, (std::string("engineCard_") + name).c_str());
}

QString stateOf(QWidget& window, const char* name)
{
    return child<QLabel>(*card(window, name), "engineState")->text();
}

} // namespace

class EngineSectionTest final : public QObject {
    Q_OBJECT

private slots:
    void withoutADesktopInstallerTheCommandIsShownToCopy()
    {
        test::ViewFixture f;
        addTemplates(f);
        test::FakePackageInstaller installer;
        app::SettingsWindow settings(*f.bridge, installer);
        settings.show();
        QVERIFY(QTest::qWaitForWindowExposed(&settings));
        settle();
        QCOMPARE(stateOf(settings, "reference"), QString("尚未安装"));
        QCOMPARE(stateOf(settings, "hdemucs"), QString("需要先安装软件包：python3-torchaudio"));
        QWidget& neural = *card(settings, "hdemucs");
        QCOMPARE(child<QLabel>(neural, "installCommand")->text(),
                 QString("sudo apt install python3-torchaudio"));
        QVERIFY2(!neural.findChild<QPushButton*>("install"), "nothing to run before the packages");
        child<QPushButton>(neural, "copyCommand")->click();
        QCOMPARE(QApplication::clipboard()->text(), QString("sudo apt install python3-torchaudio"));
        QVERIFY(settings.height() > 0);
    }

    // The cards make the window taller than a small screen: it stops at the
    // screen's height and scrolls, so the last card's buttons stay reachable.
    void aWindowTallerThanTheScreenScrolls()
    {
        test::ViewFixture f;
        addTemplates(f);
        for (const char* name : {"third", "fourth", "fifth"}) {
            const fs::path folder = f.temp / "templates" / name;
            test::writeFile(folder / "engine.json", R"({"name": "另一个引擎", "modes": ["four"],
                "note": "一个很长的说明，占两行：分离得更好，也更慢，首次使用下载很多权重"})");
            f.platform.environment.templates[name] = folder;
        }
        f.platform.environment.installedPackages.insert("python3-torchaudio");
        test::FakePackageInstaller installer;
        app::SettingsWindow settings(*f.bridge, installer);
        settings.show();
        QVERIFY(QTest::qWaitForWindowExposed(&settings));
        settle();
        const int room =
            settings.screen()->availableGeometry().height() - app::SettingsWindow::screenMarginPx;
        test::settleLayout();
        QVERIFY2(settings.height() <= room, qPrintable(QString::number(settings.height())));
        // Placed on the screen by the window itself, whatever the window
        // manager would choose.
        QVERIFY(settings.testAttribute(Qt::WA_Moved));
        QVERIFY2(settings.screen()->availableGeometry().contains(settings.geometry()),
                 qPrintable(QStringLiteral("%1,%2 %3x%4")
                                .arg(settings.x())
                                .arg(settings.y())
                                .arg(settings.width())
                                .arg(settings.height())));
        auto* scroll = child<QScrollArea>(settings, "settingsScroll");
        QVERIFY(scroll->verticalScrollBar()->maximum() > 0);
        QWidget* last = child(*card(settings, "fifth"), "install");
        scroll->ensureWidgetVisible(last);
        const QPoint at = last->mapTo(scroll->viewport(), QPoint(0, 0));
        QVERIFY(scroll->viewport()->rect().contains(QRect(at, last->size())));
    }

    void packagesThenSetUpThenUseFromTheCards()
    {
        test::ViewFixture f;
        addTemplates(f);
        test::FakePackageInstaller installer;
        installer.offered = true;
        app::SettingsWindow settings(*f.bridge, installer);
        settings.show();
        const auto topBar = test::showPanel<ui::TopBar>(f);
        const auto panel = test::showPanel<ui::SettingsPanel>(f);
        f.workbench->setMode(SeparationMode::six);
        settle();

        // The desktop's installer is asked; the button waits for its answer.
        child<QPushButton>(*card(settings, "hdemucs"), "installPackages")->click();
        settle();
        QCOMPARE(installer.requests.at(0), std::vector<std::string>{"python3-torchaudio"});
        QVERIFY(!child<QPushButton>(*card(settings, "hdemucs"), "installPackages")->isEnabled());
        installer.pending("The user declined"); // and nothing was installed
        settle();
        QCOMPARE(f.workbench->error(),
                 std::optional<std::string>("软件包没有装好：The user declined"));
        QVERIFY2(child<QPushButton>(*card(settings, "hdemucs"), "installPackages")->isEnabled(),
                 "offered again");
        child<QPushButton>(*card(settings, "hdemucs"), "installPackages")->click();
        f.platform.environment.installedPackages.insert("python3-torchaudio");
        installer.pending(std::nullopt);
        settle();
        QCOMPARE(stateOf(settings, "hdemucs"), QString("尚未安装"));

        child<QPushButton>(*card(settings, "hdemucs"), "install")->click();
        settle();
        QVERIFY(stateOf(settings, "hdemucs").startsWith("正在安装…"));
        QVERIFY(shown(child(*card(settings, "hdemucs"), "cancelInstall")));
        const fs::path folder = f.temp / "data/Engines/hdemucs";
        test::makeEngineFolder(folder, true);
        test::writeFile(folder / "engine.json", neuralDescription);
        f.platform.launcher.exit(0);
        settle();
        QCOMPARE(stateOf(settings, "hdemucs"), QString("已就绪"));

        child<QPushButton>(*card(settings, "hdemucs"), "use")->click();
        settle();
        QCOMPARE(f.workbench->engineRoot(), std::optional<fs::path>(folder));
        QCOMPARE(child<QLabel>(*card(settings, "hdemucs"), "engineName")->text(),
                 QString("Hybrid Demucs（正在使用）"));
        QVERIFY2(!card(settings, "hdemucs")->findChild<QPushButton*>("remove"),
                 "the engine in use is not removed");
        QCOMPARE(child<QLabel>(*topBar, "engineName")->text(), QString(" · Hybrid Demucs"));

        // The mode it cannot do is disabled, and says why.
        auto* six = child<QAbstractButton>(*panel, "six");
        QVERIFY(!six->isEnabled());
        QCOMPARE(six->toolTip(), QString("当前分轨引擎 Hybrid Demucs 不能做六轨分离"));
        QCOMPARE(six->accessibleDescription(), six->toolTip());
        QCOMPARE(f.workbench->mode(), SeparationMode::vocal);
        auto* four = child<QAbstractButton>(*panel, "four");
        QVERIFY(four->isEnabled() && four->toolTip().isEmpty());
    }

    void aFailedSetUpShowsItsReasonAndOffersAnotherTry()
    {
        test::ViewFixture f;
        addTemplates(f);
        f.platform.environment.installedPackages.insert("python3-torchaudio");
        test::FakePackageInstaller installer;
        app::SettingsWindow settings(*f.bridge, installer);
        settings.show();
        settle();
        child<QPushButton>(*card(settings, "hdemucs"), "install")->click();
        test::writeFile(f.temp / "data/engine-setup-hdemucs.log",
                        "the engine needs python3-torchaudio (No module named 'torch')\n");
        f.platform.launcher.exit(1);
        settle();
        QCOMPARE(
            stateOf(settings, "hdemucs"),
            QString("安装失败：the engine needs python3-torchaudio (No module named 'torch')"));
        QCOMPARE(child<QPushButton>(*card(settings, "hdemucs"), "install")->text(),
                 QString("重新安装"));
    }
};

TONFIELD_VIEW_TEST_MAIN(EngineSectionTest)
#include "engine_section_test.moc"
