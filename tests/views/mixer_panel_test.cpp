// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/display_text.hpp"
#include "ui/widgets.hpp"
#include "ui/workspace_view.hpp"

#include "analysis/timeline_text.hpp"
#include "fakes/synthetic_song.hpp"
#include "views/view_fixture.hpp"
#include "views/view_test_main.hpp"

#include <QAccessible>
#include <QCheckBox>
#include <QMenu>
#include <QSlider>
#include <QTest>
#include <QToolButton>

using namespace tonfield;
using test::child;
using test::settle;
using test::shown;

class MixerPanelTest final : public QObject {
    Q_OBJECT

private slots:
    // Six stems offer leaving out the guitar or the piano too; the preset
    // row starts where it did whichever job was shown before.
    void presetsFollowTheStemsAndKeepTheirPlace()
    {
        test::ViewFixture f;
        f.finishJobWithStems({"a_(Vocals).wav", "a_(Instrumental).wav"});
        const auto shownView = test::showWorkspace(f, {1240, 1400});
        QWidget* mixer = child(*shownView, "mixerPanel");
        auto presets = [&] {
            QStringList labels;
            for (const auto* button : mixer->findChildren<QToolButton*>("preset"))
                labels << button->text();
            return labels;
        };
        // Built by a refresh, shown by a queued call, then laid out.
        auto laidOut = [] {
            for (int pass = 0; pass < 3; ++pass)
                settle();
        };
        laidOut();
        const int start = mixer->findChildren<QToolButton*>("preset")[0]->x();
        f.finishJobWithStems({"b_(Vocals).wav", "b_(Drums).wav", "b_(Bass).wav", "b_(Guitar).wav",
                              "b_(Piano).wav", "b_(Other).wav"});
        settle();
        QCOMPARE(presets(), QStringList({"全部", "伴奏", "清唱", "去掉鼓", "去掉贝斯", "去掉吉他",
                                         "去掉钢琴"}));
        f.finishJobWithStems({"c_(Vocals).wav", "c_(Instrumental).wav"});
        laidOut();
        QCOMPARE(presets(), QStringList({"全部", "伴奏", "清唱"}));
        QCOMPARE(mixer->findChildren<QToolButton*>("preset")[0]->x(), start);
    }

    // The mixer card: there for a finished job of two stems or more while no
    // job runs; its presets, toggles and sliders set the strips, which it shows.
    void mixerSetsTheStripsAndShowsThem()
    {
        test::ViewFixture f;
        f.finishJobWithStems({"m_(Vocals).wav"});
        const auto shownView = test::showWorkspace(f, {1240, 1400});
        ui::WorkspaceView& view = *shownView;
        QWidget* mixer = child(view, "mixerPanel");
        QVERIFY(!mixer->isVisible()); // one stem is no mix

        f.finishJobWithStems({"n_(Bass).wav", "n_(Drums).wav", "n_(Other).wav", "n_(Vocals).wav"});
        settle();
        QVERIFY(mixer->isVisible());
        QCOMPARE(mixer->findChildren<QWidget*>("mixStrip").size(), 4);
        QStringList presets;
        for (const auto* button : mixer->findChildren<QToolButton*>("preset"))
            presets << button->text();
        QCOMPARE(presets, QStringList({"全部", "伴奏", "清唱", "去掉鼓", "去掉贝斯"}));
        // Its length shows before it is first played, once the overviews tell it.
        for (auto& [file, ready] : f.platform.waveforms.requests)
            ready({std::vector<float>(400, 0.5f), 181.5});
        settle();
        QCOMPARE(child<QLabel>(*mixer, "mixTime")->text(), QString("00:00 / 03:01"));

        auto checkedPresets = [&] {
            QStringList checked;
            for (const auto* button : mixer->findChildren<QToolButton*>("preset"))
                if (button->isChecked())
                    checked << button->text();
            return checked;
        };
        QCOMPARE(checkedPresets(), QStringList({"全部"}));
        mixer->findChildren<QToolButton*>("preset")[1]->click(); // 伴奏
        settle();
        QCOMPARE(checkedPresets(), QStringList({"伴奏"}));       // the one in use reads as checked
        mixer->findChildren<QToolButton*>("preset")[1]->click(); // again: still in use
        settle();
        QCOMPARE(checkedPresets(), QStringList({"伴奏"}));
        QVERIFY(mixer->findChildren<QToolButton*>("mute")[3]->isChecked());

        mixer->findChildren<QToolButton*>("solo")[0]->click();
        settle();
        QVERIFY(f.workbench->mixDesk().mixStrips()[0].soloed);
        auto* level = mixer->findChildren<QSlider*>("level")[1];
        level->setValue(-125);
        settle();
        QCOMPARE(f.workbench->mixDesk().mixStrips()[1].levelDb, -12.5);
        QCOMPARE(mixer->findChildren<QLabel*>("levelValue")[1]->text(), QString("-12.5 dB"));
        QVERIFY(checkedPresets().isEmpty()); // levels of the user's own are no preset
        // A screen reader hears each slider's value as it is shown, not in steps.
        auto spoken = [](QWidget* widget) {
            return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Description);
        };
        QCOMPARE(spoken(level), QString("-12.5 dB"));
        child<QSlider>(*mixer, "speed")->setValue(75);
        child<QSlider>(*mixer, "pitch")->setValue(3);
        settle();
        QCOMPARE(spoken(child(*mixer, "speed")), QString("75%"));
        QCOMPARE(spoken(child(*mixer, "pitch")), QString("+3 半音"));
        QTest::mouseDClick(level, Qt::LeftButton);
        settle();
        QCOMPARE(f.workbench->mixDesk().mixStrips()[1].levelDb, 0.0);
        level->setValue(level->minimum());
        settle();
        QCOMPARE(mixer->findChildren<QLabel*>("levelValue")[1]->text(), QString("静音"));

        // Every stem row and strip drags its own file out; the mix, once written, too.
        auto draggedFile = [](QWidget* widget) {
            const auto data = ui::fileDragData(*widget);
            return data && data->urls().size() == 1 ? data->urls()[0] : QUrl();
        };
        const auto strips = mixer->findChildren<QWidget*>("mixStrip");
        const auto rows = view.findChildren<QWidget*>("stemRow");
        QCOMPARE(rows.size(), 4);
        for (int i = 0; i < 4; ++i) {
            const QUrl file = QUrl::fromLocalFile(QString::fromStdString(
                f.workbench->stems()[static_cast<std::size_t>(i)].url.string()));
            QCOMPARE(draggedFile(strips[i]), file);
            QCOMPARE(draggedFile(rows[i]), file);
        }
        auto* status = child<QLabel>(*mixer, "mixExportStatus");
        QVERIFY2(!ui::fileDragData(*status), "nothing written yet, nothing to drag");
        f.platform.dialogs.saveAnswers.push_back(f.temp / "n · 混音.flac");
        child<QAbstractButton>(*mixer, "exportMix")->click();
        settle();
        QVERIFY(shown(child(*mixer, "cancelMixExport")) && !shown(child(*mixer, "exportMix")));
        f.platform.background.runAll();
        settle();
        QCOMPARE(status->text(), QString("已导出 n · 混音.flac"));
        QCOMPARE(draggedFile(status),
                 QUrl::fromLocalFile(QString::fromStdString((f.temp / "n · 混音.flac").string())));
        QVERIFY(shown(child(*mixer, "exportMix")));

        // A drag across any strip's timeline selects the loop; a click outside it clears it.
        for (const Stem& stem : f.workbench->stems())
            f.platform.audio.durations[stem.url] = 100.0;
        child<QAbstractButton>(*mixer, "mixPlay")->click();
        settle();
        QWidget* timeline = strips[2]->findChild<QWidget*>("mixTimeline");
        QVERIFY(timeline);
        const int w = timeline->width();
        QTest::mousePress(timeline, Qt::LeftButton, Qt::NoModifier, QPoint(w / 10, 12));
        QTest::mouseMove(timeline, QPoint(w / 2, 12));
        QTest::mouseRelease(timeline, Qt::LeftButton, Qt::NoModifier, QPoint(w / 2, 12));
        settle();
        QVERIFY(f.workbench->mixDesk().loop());
        QVERIFY(std::abs(f.workbench->mixDesk().loop()->start - 10) < 1 &&
                std::abs(f.workbench->mixDesk().loop()->end - 50) < 1);
        QVERIFY(shown(child(*mixer, "loopText")) && shown(child(*mixer, "clearLoop")));
        QCOMPARE(
            child<QLabel>(*mixer, "loopText")->text(),
            "循环 " + QString::fromStdString(display::time(f.workbench->mixDesk().loop()->start)) +
                "–" + QString::fromStdString(display::time(f.workbench->mixDesk().loop()->end)));
        QTest::mouseClick(timeline, Qt::LeftButton, Qt::NoModifier, QPoint(w * 3 / 10, 12));
        settle();
        QVERIFY2(f.workbench->mixDesk().loop(), "a click inside seeks and keeps the loop");
        QTest::mouseClick(timeline, Qt::LeftButton, Qt::NoModifier, QPoint(w * 9 / 10, 12));
        settle();
        QVERIFY(!f.workbench->mixDesk().loop());
        QVERIFY(std::abs(f.workbench->playbackTime() - 90) < 1);
        QVERIFY(!shown(child(*mixer, "loopText")));

        child<QSlider>(*mixer, "speed")->setValue(70);
        child<QSlider>(*mixer, "pitch")->setValue(-2);
        settle();
        QCOMPARE(f.workbench->mixDesk().tempo(), (mixer::Tempo{0.7, -2}));
        QCOMPARE(child<QLabel>(*mixer, "speedValue")->text(), QString("70%"));
        QCOMPARE(child<QLabel>(*mixer, "pitchValue")->text(), QString("-2 半音"));
        child<QAbstractButton>(*mixer, "resetPitch")->click();
        settle();
        QCOMPARE(f.workbench->mixDesk().tempo(), (mixer::Tempo{0.7, 0}));
        QCOMPARE(child<QSlider>(*mixer, "pitch")->value(), 0);

        f.startJob();
        settle();
        QVERIFY2(!mixer->isVisible(), "hidden while a job runs");
    }

    // The song's tempo, key, bars and chords over the strips, once analysed:
    // the key follows the pitch, a drag snaps to bars (free with Ctrl), the
    // chord being played is named, and the corrections change what is shown.
    void timelineShowsTheSongAndSnapsTheLoop()
    {
        test::ViewFixture f;
        f.finishJobWithStems({"t_(Bass).wav", "t_(Drums).wav", "t_(Other).wav", "t_(Vocals).wav"});
        const test::Song song = test::makeSong(120, {{9, true}, {5, false}}, 8);
        const double length = static_cast<double>(song.samples.size()) / test::songRate;
        for (const Stem& stem : f.workbench->stems()) {
            f.platform.songDecoder.songs[stem.url] = song.samples;
            f.platform.audio.durations[stem.url] = length;
        }
        const auto shownView = test::showWorkspace(f, {1240, 1400});
        QWidget* mixer = child(*shownView, "mixerPanel");
        auto* summary = child<QLabel>(*mixer, "analysisSummary");
        QVERIFY(summary->text().startsWith("正在分析节拍、调性与和弦"));
        QVERIFY(!shown(child(*mixer, "songRuler")));
        QVERIFY(!shown(child(*mixer, "correctAnalysis")));

        f.platform.background.runAll();
        settle();
        const auto& found = f.workbench->songTimeline().analysis();
        QVERIFY(found && found->key);
        auto shownBpm = [summary] { return summary->text().section(" BPM · ", 0, 0).toDouble(); };
        QVERIFY2(std::abs(shownBpm() - 120) < 2, qPrintable(summary->text()));
        QVERIFY(shown(child(*mixer, "songRuler")) && shown(child(*mixer, "correctAnalysis")));
        // A screen reader reads the tempo and key as shown; the grid takes no focus.
        auto* readable = QAccessible::queryAccessibleInterface(summary);
        QCOMPARE(readable->text(QAccessible::Name), summary->text());
        QCOMPARE(child(*mixer, "songRuler")->focusPolicy(), Qt::NoFocus);
        for (QWidget* timeline : mixer->findChildren<QWidget*>("mixTimeline"))
            QCOMPARE(timeline->focusPolicy(), Qt::NoFocus);

        // The grid is on every strip before the mix is first played: a bar
        // line stands out from the strip's background just beside it.
        for (auto& [file, ready] : f.platform.waveforms.requests)
            ready({std::vector<float>(400, 0.0f), length});
        settle();
        QWidget* firstStrip = mixer->findChildren<QWidget*>("mixTimeline")[0];
        const QImage strip = firstStrip->grab().toImage();
        const int barX = static_cast<int>(std::floor(
            found->downbeats[2] / length * firstStrip->width() * strip.devicePixelRatio()));
        QVERIFY(strip.pixelColor(barX, 2).lightness() > strip.pixelColor(barX + 3, 2).lightness());

        child<QSlider>(*mixer, "pitch")->setValue(2);
        settle();
        QVERIFY2(summary->text().endsWith(
                     "（原调 " + QString::fromStdString(analysis::keyName(*found->key)) + "）"),
                 qPrintable(summary->text()));

        // Played inside the second bar: its chord is named, transposed.
        child<QAbstractButton>(*mixer, "mixPlay")->click();
        f.workbench->seek(found->downbeats[1] + 0.5);
        f.platform.timers.fireAll();
        settle();
        const auto chord = std::find_if(found->chords.begin(), found->chords.end(),
                                        [&](auto& c) { return found->downbeats[1] + 0.5 < c.end; });
        QCOMPARE(child<QLabel>(*mixer, "currentChord")->text(),
                 "和弦 " + QString::fromStdString(analysis::chordSymbol(*chord, 2)));

        // A drag snaps to bar lines; with Ctrl it does not.
        QWidget* timeline = mixer->findChildren<QWidget*>("mixTimeline")[1];
        const int w = timeline->width();
        auto drag = [&](Qt::KeyboardModifiers modifiers) {
            QTest::mousePress(timeline, Qt::LeftButton, modifiers, QPoint(w * 3 / 20, 12));
            QTest::mouseMove(timeline, QPoint(w * 11 / 20, 12));
            QTest::mouseRelease(timeline, Qt::LeftButton, modifiers, QPoint(w * 11 / 20, 12));
            settle();
            return *f.workbench->mixDesk().loop();
        };
        auto onABar = [&](double at) {
            return std::find(found->downbeats.begin(), found->downbeats.end(), at) !=
                       found->downbeats.end() ||
                   at == found->duration;
        };
        const mixer::Loop snapped = drag(Qt::NoModifier);
        QVERIFY(onABar(snapped.start) && onABar(snapped.end));
        const mixer::Loop free = drag(Qt::ControlModifier);
        QVERIFY(!onABar(free.start) && !onABar(free.end));

        // Halving the tempo is shown at once.
        auto* menu = child<QToolButton>(*mixer, "correctAnalysis")->menu();
        const auto actions = menu->actions();
        const auto halve = std::find_if(actions.begin(), actions.end(),
                                        [](QAction* a) { return a->text() == "速度减半"; });
        QVERIFY(halve != actions.end());
        (*halve)->trigger();
        settle();
        QVERIFY2(std::abs(shownBpm() - 60) < 1, qPrintable(summary->text()));
    }
    // The metronome's strip comes with the beats, muted; its controls set the
    // desk's strip, the count-in is remembered, an export may carry it, and
    // Tab reaches it after the stems' strips and before the export.
    void metronomeStripComesWithTheBeats()
    {
        test::ViewFixture f;
        f.finishJobWithStems({"c_(Bass).wav", "c_(Drums).wav", "c_(Other).wav", "c_(Vocals).wav"});
        const test::Song song = test::makeSong(120, {{9, true}, {5, false}}, 8);
        for (const Stem& stem : f.workbench->stems())
            f.platform.songDecoder.songs[stem.url] = song.samples;
        const auto shownView = test::showWorkspace(f, {1240, 1400});
        QWidget* mixer = child(*shownView, "mixerPanel");
        QWidget* metronome = child(*mixer, "metronomeStrip");
        QVERIFY(!shown(metronome));
        QVERIFY(!shown(child(*mixer, "exportWithClick")));
        QVERIFY(!shown(child(*mixer, "countIn")));

        f.platform.background.runAll();
        settle();
        QVERIFY(shown(metronome) && shown(child(*mixer, "exportWithClick")));
        auto* mute = child<QToolButton>(*metronome, "mute");
        QVERIFY(mute->isChecked());
        QCOMPARE(mute->accessibleName(), QString("静音 节拍器"));
        mute->click();
        child<QSlider>(*metronome, "level")->setValue(-60);
        settle();
        QCOMPARE(f.workbench->mixDesk().clickStrip(),
                 (mixer::StripSettings{.levelDb = -6, .muted = false, .soloed = false}));
        QCOMPARE(child<QLabel>(*metronome, "levelValue")->text(), QString("-6.0 dB"));
        auto* countIn = child<QCheckBox>(*mixer, "countIn");
        QVERIFY(shown(countIn));
        countIn->click();
        settle();
        QVERIFY(f.workbench->mixDesk().countIn());
        QCOMPARE(f.platform.settings.values[ports::countInSetting], std::string("1"));

        QList<QWidget*> chain;
        for (QWidget* w = shownView->nextInFocusChain(); w != shownView.get();
             w = w->nextInFocusChain())
            if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(shownView.get()))
                chain << w;
        const auto at = [&](QWidget* w) { return chain.indexOf(w); };
        QCOMPARE(at(child(*mixer, "correctAnalysis")) + 1, at(child(*mixer, "speed")));
        const auto levels = mixer->findChildren<QSlider*>("level");
        QCOMPARE(at(countIn), at(child(*mixer, "resetPitch")) + 1);
        QCOMPARE(at(child(*metronome, "mute")), at(levels[3]) + 1);
        QCOMPARE(at(child(*metronome, "level")) + 1, at(child(*mixer, "exportWithTempo")));
        QCOMPARE(at(child(*mixer, "exportWithTempo")) + 1, at(child(*mixer, "exportWithClick")));
    }
};

TONFIELD_VIEW_TEST_MAIN(MixerPanelTest)

#include "mixer_panel_test.moc"
