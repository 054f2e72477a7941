// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/source_panel.hpp"

#include "ui/widgets.hpp"

#include "views/view_fixture.hpp"
#include "views/view_test_main.hpp"

#include <QTest>

using namespace tonfield;
using test::child;
using test::dropFiles;
using test::settle;
using test::shown;

class SourcePanelTest final : public QObject {
    Q_OBJECT

private slots:
    void sourcePanelImportsTheFirstDroppedFileUnlessBusy()
    {
        test::ViewFixture f;
        const auto shownSourcePanel = test::showPanel<ui::SourcePanel>(f);
        ui::SourcePanel& panel = *shownSourcePanel;
        panel.resize(600, 300);
        QVERIFY(shown(child(panel, "dropZone")) && !shown(child(panel, "sourceCard")));

        const auto file = [&](const char* name) {
            return QUrl::fromLocalFile(QString::fromStdString((f.temp / name).string()));
        };
        QVERIFY(!dropFiles(panel, {}));
        QVERIFY(dropFiles(panel, {file("First Song.flac"), file("b.mp3"), file("c.wav")}));
        settle();
        QCOMPARE(f.workbench->source(), f.temp / "First Song.flac");
        QVERIFY(!shown(child(panel, "dropZone")) && shown(child(panel, "sourceCard")));
        auto* name = child<ui::ElidedLabel>(panel, "fileName");
        QCOMPARE(name->text(), QString("First Song.flac"));
        QCOMPARE(name->displayedLines(), QStringList{"First Song.flac"});
        QCOMPARE(child<QLabel>(panel, "extension")->text(), QString("FLAC"));
        // A long name wraps to a second line and is then cut short.
        f.workbench->importFile(f.temp /
                                (std::string(40, 'x') + " " + std::string(200, 'y') + ".wav"));
        settle();
        const QStringList lines = name->displayedLines();
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines[1].endsWith(QChar(0x2026)));
        f.workbench->importFile(f.sourceFile);

        f.workbench->importFile(f.sourceFile);
        f.workbench->start();
        settle();
        QVERIFY(!dropFiles(panel, {file("d.mp3")}));
        QCOMPARE(f.workbench->source(), f.sourceFile);
        QCOMPARE(f.workbench->error(), // refused, and not in silence
                 std::optional<std::string>("正在分轨，完成后才能换一首音乐；"
                                            "要接着处理它，请把它拖到处理记录里排队。"));
        QVERIFY(!child<QAbstractButton>(panel, "replace")->isEnabled());
        QVERIFY(child<QAbstractButton>(panel, "preview")->isEnabled());
    }
};

TONFIELD_VIEW_TEST_MAIN(SourcePanelTest)

#include "source_panel_test.moc"
