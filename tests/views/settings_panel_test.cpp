// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/settings_panel.hpp"

#include "views/view_fixture.hpp"
#include "views/view_test_main.hpp"

#include <QComboBox>
#include <QTest>

using namespace tonfield;
using test::child;
using test::settle;
using test::shown;

class SettingsPanelTest final : public QObject {
    Q_OBJECT

private slots:
    void settingsPanelWritesAndFollowsTheFields()
    {
        test::ViewFixture f;
        const auto shownSettingsPanel = test::showPanel<ui::SettingsPanel>(f);
        ui::SettingsPanel& panel = *shownSettingsPanel;
        QCOMPARE(panel.width(), ui::SettingsPanel::widthPx);
        auto* start = child<QAbstractButton>(panel, "start");
        QVERIFY2(!start->isEnabled(), "no source yet");

        child<QAbstractButton>(panel, "six")->click();
        settle();
        QCOMPARE(f.workbench->mode(), SeparationMode::six);
        QCOMPARE(child<QLabel>(panel, "modelFile")->text(), QString("htdemucs_6s.yaml"));
        QCOMPARE(child<QLabel>(panel, "modelFamily")->text(),
                 QString("Demucs v4 · 首次使用自动下载模型"));

        auto* format = child<QComboBox>(panel, "format");
        auto* quality = child<QComboBox>(panel, "quality");
        QCOMPARE(format->count(), 3);
        format->setCurrentIndex(1);
        emit format->textActivated(format->currentText());
        quality->setCurrentIndex(1);
        emit quality->activated(1);
        QCOMPARE(f.workbench->format(), std::string("FLAC"));
        QVERIFY(f.workbench->highQuality());

        f.workbench->importFile(f.sourceFile);
        settle();
        QVERIFY(start->isEnabled());
        QCOMPARE(child<QLabel>(panel, "hint")->text(), QString("本地模型推理 · 支持 Linux 桌面"));
        start->click();
        settle();
        QVERIFY(f.workbench->busy());
        QVERIFY(!shown(start) && shown(child(panel, "stop")));
        QVERIFY(!child<QAbstractButton>(panel, "vocal")->isEnabled());
        QVERIFY(!format->isEnabled());
        child<QAbstractButton>(panel, "stop")->click();
        QCOMPARE(f.platform.launcher.last().terminateRequests, 1);
        f.platform.launcher.exit(143);

        // Selecting a stored job shows how it was run.
        Job stored = *f.workbench->selectedJob();
        stored.mode = "four";
        stored.format = "MP3";
        stored.quality = "standard";
        f.workbench->select(stored);
        settle();
        QCOMPARE(format->currentText(), QString("MP3"));
        QCOMPARE(quality->currentIndex(), 0);
        QCOMPARE(child<QLabel>(panel, "modelFile")->text(), QString("htdemucs.yaml"));

        std::filesystem::remove(f.engineRoot() / ".venv/bin/python");
        panel.refresh();
        QVERIFY(!start->isEnabled());
        QCOMPARE(child<QLabel>(panel, "hint")->text(), QString("请先在左侧配置引擎文件夹"));
    }
};

TONFIELD_VIEW_TEST_MAIN(SettingsPanelTest)

#include "settings_panel_test.moc"
