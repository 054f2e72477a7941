// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/playback_bar.hpp"

#include "views/view_fixture.hpp"
#include "views/view_test_main.hpp"

#include <QAccessible>
#include <QSlider>
#include <QTest>

using namespace tonfield;
using test::child;
using test::settle;
using test::shown;

class PlaybackBarTest final : public QObject {
    Q_OBJECT

private slots:
    void playbackBarRangeAndSeek()
    {
        test::ViewFixture f;
        ui::PlaybackBar bar(*f.workbench);
        QObject::connect(f.bridge.get(), &ui::WorkbenchBridge::changed, &bar,
                         &ui::PlaybackBar::refresh);
        const auto clip = f.temp / "clip_(Drums).wav";
        f.platform.audio.durations = {{clip, 0.6}};
        f.workbench->play(clip);
        settle();
        auto* slider = child<QSlider>(bar, "slider");
        QCOMPARE(slider->maximum(), 1 * ui::PlaybackBar::stepsPerSecond);
        QCOMPARE(child<QLabel>(bar, "length")->text(), QString("00:00"));
        QCOMPARE(child<QLabel>(bar, "playingName")->text(), QString("clip_(Drums).wav"));

        slider->setValue(500); // the user drags
        QCOMPARE(f.workbench->playbackTime(), 0.5);

        f.workbench->play(clip); // pause
        settle();
        QCOMPARE(child<QLabel>(bar, "playingName")->text(), QString("已暂停"));

        // A long name is cut in the middle: which stem it is stays in view.
        const auto longClip = f.temp / (std::string(40, 'a') + " live at the hall_(Drums).wav");
        f.platform.audio.durations[longClip] = 0.6;
        bar.resize(500, 60);
        bar.show();
        f.workbench->play(longClip);
        settle();
        const QString cut = child<QLabel>(bar, "playingName")->text();
        QVERIFY2(cut.contains("…") && cut.endsWith("(Drums).wav"), qPrintable(cut));
        child<QAbstractButton>(bar, "stopPlayback")->click();
        QCOMPARE(f.workbench->playbackDuration(), 0.0);
    }

    // A click on the track jumps there; keys move in steps a listener can use.
    void playbackBarTimelineClicksAndKeys()
    {
        test::ViewFixture f;
        ui::PlaybackBar bar(*f.workbench);
        QObject::connect(f.bridge.get(), &ui::WorkbenchBridge::changed, &bar,
                         &ui::PlaybackBar::refresh);
        const auto song = f.temp / "song_(Vocals).wav";
        f.platform.audio.durations = {{song, 100.0}};
        f.workbench->play(song);
        bar.resize(900, 60);
        bar.show();
        settle();
        auto* slider = child<QSlider>(bar, "slider");
        QTest::mouseClick(slider, Qt::LeftButton, {},
                          QPoint(slider->width() * 3 / 4, slider->height() / 2));
        QVERIFY2(std::abs(f.workbench->playbackTime() - 75.0) < 3.0,
                 std::to_string(f.workbench->playbackTime()).c_str());

        slider->setFocus();
        QTest::keyClick(slider, Qt::Key_Home);
        QCOMPARE(f.workbench->playbackTime(), 0.0);
        QTest::keyClick(slider, Qt::Key_Right);
        QCOMPARE(f.workbench->playbackTime(), 5.0);
        settle();
        QCOMPARE(QAccessible::queryAccessibleInterface(slider)->text(QAccessible::Description),
                 QString("00:05 / 01:40")); // what a screen reader hears, not 5000 steps
        QTest::keyClick(slider, Qt::Key_PageUp);
        QCOMPARE(f.workbench->playbackTime(), 35.0);
        QTest::keyClick(slider, Qt::Key_End);
        QCOMPARE(f.workbench->playbackTime(), 100.0);
    }
};

TONFIELD_VIEW_TEST_MAIN(PlaybackBarTest)

#include "playback_bar_test.moc"
