// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/mixer_panel.hpp"

#include "model/display_text.hpp"
#include "ui/analysis_bar.hpp"
#include "ui/song_ruler.hpp"
#include "ui/theme.hpp"

#include "mixer/loop.hpp"
#include "mixer/presets.hpp"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QSlider>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace tonfield::ui {
namespace {

QString qt(const std::string& text)
{
    return QString::fromStdString(text);
}

// The slider works in tenths of a decibel.
constexpr int kSliderSteps = 10;

QString levelText(double levelDb)
{
    if (levelDb <= mixer::silenceDb)
        return "静音";
    return QString("%1%2 dB").arg(levelDb > 0.05 ? "+" : "").arg(levelDb, 0, 'f', 1);
}

// A level slider that goes back to 0 dB on a double-click.
class LevelSlider final : public QSlider {
public:
    LevelSlider()
        : QSlider(Qt::Horizontal)
    {
        setRange(static_cast<int>(mixer::silenceDb) * kSliderSteps,
                 static_cast<int>(mixer::maxLevelDb) * kSliderSteps);
    }

protected:
    void mouseDoubleClickEvent(QMouseEvent*) override { setValue(0); }
};

// The mix's timeline on one strip: the stem's overview once it is measured
// (a flat line until then), what has played drawn in mint, the beat grid
// once the song is analysed, the loop shaded, the playhead over it. A click
// seeks the whole mix (outside the loop, it clears it); a drag across it
// selects the loop, snapped to bars (to beats with Shift, free with Ctrl).
class MixTimeline final : public QWidget {
public:
    MixTimeline(Workbench& workbench, std::filesystem::path stem)
        : workbench_(workbench)
        , stem_(std::move(stem))
    {
        setObjectName("mixTimeline");
        setFixedHeight(24);
        setMinimumWidth(40);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const double length = workbench_.playbackDuration();
        const double played =
            workbench_.mixDesk().mixLoaded() && length > 0 ? workbench_.playbackTime() / length : 0;
        const qreal middle = height() / 2.0;
        if (const std::vector<float>* peaks = workbench_.mixDesk().waveform(stem_);
            peaks && !peaks->empty()) {
            const qreal step = static_cast<qreal>(width()) / static_cast<qreal>(peaks->size());
            for (std::size_t i = 0; i < peaks->size(); ++i) {
                const qreal x = static_cast<qreal>(i) * step;
                const qreal half = std::max<qreal>(0.5, (*peaks)[i] * (middle - 1));
                painter.fillRect(QRectF(x, middle - half, std::max<qreal>(step, 1), 2 * half),
                                 x < width() * played ? theme::mint() : theme::white(0.22));
            }
        } else {
            painter.fillRect(QRectF(0, middle - 1, width(), 2), theme::white(0.12));
            painter.fillRect(QRectF(0, middle - 1, width() * played, 2), theme::mint());
        }
        if (const auto& found = workbench_.songTimeline().analysis())
            paintBeatGrid(painter, rect(), *found, timelineLength(workbench_));
        const auto shaded = dragged_ ? draggedLoop(length) : workbench_.mixDesk().loop();
        if (shaded && length > 0) {
            const QRectF area(width() * shaded->start / length, 0,
                              width() * shaded->length() / length, height());
            painter.fillRect(
                area, theme::withAlpha(theme::mint(), workbench_.mixDesk().loopOn() ? 0.18 : 0.07));
        }
        if (workbench_.mixDesk().mixLoaded())
            painter.fillRect(QRectF(width() * played - 1, 2, 2, height() - 4), Qt::white);
    }
    void mousePressEvent(QMouseEvent* event) override
    {
        if (workbench_.mixDesk().mixLoaded() && width() > 0)
            pressedAt_ = event->position().x();
    }
    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (pressedAt_ && std::abs(event->position().x() - *pressedAt_) >= kDragPixels) {
            dragged_ = event->position().x();
            snap_ = snapFor(event->modifiers());
            update();
        }
    }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (!pressedAt_ || !workbench_.mixDesk().mixLoaded())
            return;
        const double from = secondsAt(*pressedAt_);
        const double at = secondsAt(event->position().x());
        const bool dragged = dragged_.has_value();
        pressedAt_.reset();
        dragged_.reset();
        if (dragged) {
            workbench_.songTimeline().selectLoop(from, at, snapFor(event->modifiers()));
        } else {
            if (workbench_.mixDesk().loop() && !workbench_.mixDesk().loop()->contains(at))
                workbench_.mixDesk().clearLoop();
            workbench_.seek(at);
        }
        update();
    }

private:
    static constexpr qreal kDragPixels = 4;

    static analysis::Snap snapFor(Qt::KeyboardModifiers modifiers)
    {
        if (modifiers & Qt::ControlModifier)
            return analysis::Snap::free;
        return modifiers & Qt::ShiftModifier ? analysis::Snap::beats : analysis::Snap::bars;
    }

    // The loop the drag so far would select, snapped as it will be.
    std::optional<mixer::Loop> draggedLoop(double length) const
    {
        const double from = secondsAt(*pressedAt_);
        const double to = secondsAt(*dragged_);
        const auto& found = workbench_.songTimeline().analysis();
        const auto span = found ? analysis::snappedSpan(*found, from, to, snap_)
                                : analysis::Span{std::min(from, to), std::max(from, to)};
        return mixer::loopBetween(span.start, span.end, length);
    }

    double secondsAt(qreal x) const
    {
        return std::clamp(x / std::max(width(), 1), 0.0, 1.0) * workbench_.playbackDuration();
    }

    Workbench& workbench_;
    std::filesystem::path stem_;
    std::optional<qreal> pressedAt_; // where the button went down, while it is down
    std::optional<qreal> dragged_;   // where a drag has got to
    analysis::Snap snap_ = analysis::Snap::bars;
};

// A toggle reads as on in mint, as off in the muted grey.
void showToggleState(QToolButton& button)
{
    QPalette palette = button.palette();
    palette.setColor(QPalette::ButtonText, button.isChecked() ? theme::mint() : theme::muted());
    button.setPalette(palette);
}

QToolButton* toggle(const QString& text, const QString& name)
{
    auto* button = new QToolButton;
    button->setText(text);
    button->setCheckable(true);
    button->setAutoRaise(true);
    button->setFont(theme::font(9, QFont::DemiBold));
    button->setAccessibleName(name);
    button->setFixedSize(38, 24);
    addFocusRing(*button);
    return button;
}

} // namespace

// A strip's row: the stems' and the metronome's alike. `settings` reads
// its strip from the desk (none while it has none), `apply` stores a changed one.
struct MixerPanel::Strip {
    QWidget* row;
    QToolButton* mute;
    QToolButton* solo;
    LevelSlider* level;
    QLabel* levelValue;
    MixTimeline* timeline;
    std::function<std::optional<mixer::StripSettings>()> settings;
    std::function<void(const mixer::StripSettings&)> apply;
};

MixerPanel::MixerPanel(Workbench& workbench, QWidget* parent)
    : Panel(parent)
    , workbench_(workbench)
    , play_(new BoxButton({.fill = theme::withAlpha(theme::mint(), 0.09), .radius = 6}))
    , playSymbol_(symbolLabel("play.fill", 16, theme::mint()))
    , time_(textLabel("", theme::font(10), theme::muted()))
    , presets_(new QWidget)
    , stripRows_(new QWidget)
    , speed_(new QSlider(Qt::Horizontal))
    , speedValue_(textLabel("", theme::font(10), theme::muted()))
    , resetSpeed_(textButton("resetSpeed", "重置", theme::font(10), theme::mint()))
    , pitch_(new QSlider(Qt::Horizontal))
    , pitchValue_(textLabel("", theme::font(10), theme::muted()))
    , resetPitch_(textButton("resetPitch", "重置", theme::font(10), theme::mint()))
    , loopText_(textLabel("", theme::font(10), theme::mint()))
    , clearLoop_(textButton("clearLoop", "清除循环", theme::font(10), theme::mint()))
    , exportStatus_(textLabel("", theme::font(10), theme::muted()))
    , withTempo_(new QCheckBox("含速度与音高"))
    , withClick_(new QCheckBox("含节拍器"))
    , countIn_(new QCheckBox("预备拍"))
    , exportMix_(textButton("exportMix", "导出混音", theme::font(10), theme::mint()))
    , cancelExport_(textButton("cancelMixExport", "取消", theme::font(10), theme::mint()))
    , ruler_(new SongRuler(workbench))
    , analysisBar_(new AnalysisBar(workbench, *ruler_))
{
    setObjectName("mixerPanel");
    content()->addWidget(panelTitle("04", "混音台", "MIXER"));
    addTransport();
    content()->addWidget(analysisBar_);
    addPractice();
    presets_->setObjectName("presets");
    auto* presetRow = new QHBoxLayout(presets_);
    presetRow->setContentsMargins(0, 0, 0, 0);
    presetRow->setSpacing(8);
    content()->addWidget(presets_);
    auto* rows = new QVBoxLayout(stripRows_);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(8);
    content()->addWidget(ruler_);
    content()->addWidget(stripRows_);
    addExport();
    workbench.songTimeline().follow();
    refresh();
}

// One play/pause for the whole mix, with its position and length.
void MixerPanel::addTransport()
{
    auto* row = new QHBoxLayout;
    row->setSpacing(12);
    play_->setObjectName("mixPlay");
    play_->setFixedSize(34, 34);
    auto* playLayout = new QHBoxLayout(play_);
    playLayout->setContentsMargins(0, 0, 0, 0);
    playLayout->addWidget(playSymbol_);
    row->addWidget(play_);
    time_->setObjectName("mixTime");
    row->addWidget(time_);
    loopText_->setObjectName("loopText");
    row->addWidget(loopText_);
    row->addWidget(clearLoop_);
    connect(clearLoop_, &QAbstractButton::clicked, this,
            [this] { workbench_.mixDesk().clearLoop(); });
    row->addStretch();
    content()->addLayout(row);
    connect(play_, &QAbstractButton::clicked, this, [this] { workbench_.mixDesk().playMix(); });
}

// The mix written to a file: progress and a way to stop while it is written,
// then its name, which can be dragged out like a stem. A long name is cut
// rather than widen the page.
void MixerPanel::addExport()
{
    auto* row = new QHBoxLayout;
    row->setSpacing(12);
    exportStatus_->setObjectName("mixExportStatus");
    exportStatus_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    offerFileDrag(*exportStatus_, [this] { return workbench_.mixDesk().mixExport().file; });
    row->addWidget(exportStatus_, 1);
    withTempo_->setObjectName("exportWithTempo");
    withTempo_->setFont(theme::font(10));
    addFocusRing(*withTempo_);
    row->addWidget(withTempo_);
    withClick_->setObjectName("exportWithClick");
    withClick_->setFont(theme::font(10));
    addFocusRing(*withClick_);
    row->addWidget(withClick_);
    row->addWidget(cancelExport_);
    row->addWidget(exportMix_);
    content()->addLayout(row);
    connect(exportMix_, &QAbstractButton::clicked, this, [this] {
        workbench_.mixDesk().exportMix(withTempo_->isChecked(),
                                       withClick_->isVisible() && withClick_->isChecked());
    });
    connect(cancelExport_, &QAbstractButton::clicked, this,
            [this] { workbench_.mixDesk().cancelMixExport(); });
}

// Speed and pitch for practice, each with its value and a way back to normal.
void MixerPanel::addPractice()
{
    auto* row = new QHBoxLayout;
    row->setSpacing(6);
    struct Control {
        QSlider* slider;
        QLabel* value;
        BoxButton* reset;
        const char* name;
        const char* label;
        int lowest, highest;
    };
    const Control controls[] = {
        {speed_, speedValue_, resetSpeed_, "speed", "速度",
         static_cast<int>(mixer::Tempo::slowest * 100),
         static_cast<int>(mixer::Tempo::fastest * 100)},
        {pitch_, pitchValue_, resetPitch_, "pitch", "音高", mixer::Tempo::lowest,
         mixer::Tempo::highest},
    };
    for (const auto& [slider, value, reset, name, label, lowest, highest] : controls) {
        row->addWidget(textLabel(label, theme::font(10), theme::muted()));
        slider->setObjectName(name);
        slider->setAccessibleName(label);
        slider->setRange(lowest, highest);
        slider->setMinimumWidth(40);
        slider->setMaximumWidth(160);
        addFocusRing(*slider);
        row->addWidget(slider);
        value->setObjectName(QString(name) + "Value");
        value->setFixedWidth(40);
        row->addWidget(value);
        reset->setAccessibleName(QString("重置") + label);
        row->addWidget(reset);
        row->addSpacing(4);
    }
    // The metronome's count-in, there with the beats: practice from a stop
    // starts a bar early.
    countIn_->setObjectName("countIn");
    countIn_->setFont(theme::font(10));
    countIn_->setAccessibleName("从停止处播放前预备拍一小节");
    addFocusRing(*countIn_);
    row->addWidget(countIn_);
    row->addStretch();
    content()->addLayout(row);
    connect(countIn_, &QCheckBox::toggled, this,
            [this](bool on) { workbench_.mixDesk().setCountIn(on); });
    connect(speed_, &QSlider::valueChanged, this,
            [this](int percent) { workbench_.mixDesk().setSpeed(percent / 100.0); });
    connect(pitch_, &QSlider::valueChanged, this,
            [this](int semitones) { workbench_.mixDesk().setSemitones(semitones); });
    connect(resetSpeed_, &QAbstractButton::clicked, this,
            [this] { workbench_.mixDesk().setSpeed(1.0); });
    connect(resetPitch_, &QAbstractButton::clicked, this,
            [this] { workbench_.mixDesk().setSemitones(0); });
}

void MixerPanel::showTempo()
{
    const mixer::Tempo& tempo = workbench_.mixDesk().tempo();
    const QSignalBlocker speedBlock(speed_), pitchBlock(pitch_);
    speed_->setValue(static_cast<int>(std::lround(tempo.speed * 100)));
    pitch_->setValue(tempo.semitones);
    speedValue_->setText(QString::number(std::lround(tempo.speed * 100)) + "%");
    pitchValue_->setText((tempo.semitones > 0 ? "+" : "") + QString::number(tempo.semitones) +
                         " 半音");
    // A screen reader reads each value as shown beside its slider.
    speed_->setAccessibleDescription(speedValue_->text());
    pitch_->setAccessibleDescription(pitchValue_->text());
}

void MixerPanel::showExport()
{
    const MixExport& state = workbench_.mixDesk().mixExport();
    exportMix_->setVisible(!state.running);
    withTempo_->setVisible(!state.running);
    withClick_->setVisible(!state.running && workbench_.mixDesk().hasClick());
    cancelExport_->setVisible(state.running);
    if (state.running)
        exportStatus_->setText("正在导出混音 " +
                               QString::number(static_cast<int>(state.fraction * 100)) + "%");
    else if (state.file)
        exportStatus_->setText("已导出 " + QString::fromStdString(state.file->filename().string()));
    else
        exportStatus_->clear();
    exportStatus_->setToolTip(state.file && !state.running ? "拖到文件管理器或音频工作站"
                                                           : QString());
}

void MixerPanel::refresh(const FieldSet& changed)
{
    using Field = Workbench::Field;
    if (changed.any({Field::selectedJob, Field::stems, Field::busy})) {
        setVisible(workbench_.selectedJob() && workbench_.stems().size() >= 2 &&
                   !workbench_.busy());
        if (workbench_.stems() != shownStems_)
            rebuildStrips();
    }
    // The strips' controls only when the strips change: the tick moves the
    // position alone.
    if (changed.any({Field::stems, Field::mixStrips, Field::metronome}))
        showStrips();
    if (changed.any({Field::mixExport, Field::metronome}))
        showExport();
    analysisBar_->refresh(changed);
    if (changed.any({Field::analysis, Field::tempo})) {
        ruler_->setVisible(workbench_.songTimeline().analysis().has_value());
        ruler_->update();
        for (const auto& strip : strips_)
            strip->timeline->update();
    }
    if (changed.any({Field::tempo}))
        showTempo();
    if (changed.any({Field::loop, Field::stems})) {
        const auto& loop = workbench_.mixDesk().loop();
        loopText_->setVisible(loop.has_value());
        clearLoop_->setVisible(loop.has_value());
        if (loop)
            loopText_->setText(QString(workbench_.mixDesk().loopOn() ? "循环 " : "循环（已关）") +
                               qt(display::time(loop->start)) + "–" + qt(display::time(loop->end)));
        for (const auto& strip : strips_)
            strip->timeline->update();
    }
    if (!changed.any({Field::stems, Field::mixPlaying, Field::playbackTime, Field::playbackDuration,
                      Field::waveforms}))
        return;
    setSymbol(*playSymbol_, workbench_.mixDesk().mixPlaying() ? "pause.fill" : "play.fill");
    play_->setText(workbench_.mixDesk().mixPlaying() ? "暂停混音" : "播放混音");
    const bool loaded = workbench_.mixDesk().mixLoaded();
    time_->setText(qt(display::time(loaded ? workbench_.playbackTime() : 0)) + " / " +
                   qt(display::time(loaded ? workbench_.playbackDuration()
                                           : workbench_.mixDesk().mixLength())));
    for (const auto& strip : strips_)
        strip->timeline->update();
    ruler_->update();
}

void MixerPanel::showStrips()
{
    for (const auto& strip : strips_) {
        const auto settings = strip->settings();
        strip->row->setVisible(settings.has_value());
        if (!settings)
            continue;
        const QSignalBlocker muteBlock(strip->mute), soloBlock(strip->solo),
            levelBlock(strip->level);
        strip->mute->setChecked(settings->muted);
        strip->solo->setChecked(settings->soloed);
        showToggleState(*strip->mute);
        showToggleState(*strip->solo);
        strip->level->setValue(static_cast<int>(std::lround(settings->levelDb * kSliderSteps)));
        strip->levelValue->setText(levelText(settings->levelDb));
        strip->level->setAccessibleDescription(strip->levelValue->text()); // not tenths of a dB
    }
    const QSignalBlocker countInBlock(countIn_);
    countIn_->setVisible(workbench_.mixDesk().hasClick());
    countIn_->setChecked(workbench_.mixDesk().countIn());
    showPresetInUse();
}

void MixerPanel::showPresetInUse()
{
    const auto inUse = mixer::presetInUse(workbench_.mixDesk().mixStrips(), shownStems_);
    for (QToolButton* button : presets_->findChildren<QToolButton*>("preset")) {
        const bool on = inUse && static_cast<int>(*inUse) == button->property("preset").toInt();
        button->setChecked(on);
        QPalette palette = button->palette();
        palette.setColor(QPalette::ButtonText, on ? theme::mint() : Qt::white);
        button->setPalette(palette);
    }
}

void MixerPanel::rebuildStrips()
{
    shownStems_ = workbench_.stems();
    deleteChildWidgets(*presets_);
    for (const mixer::Preset preset : mixer::presetsFor(shownStems_)) {
        auto* button = new QToolButton;
        button->setText(qt(std::string(mixer::presetLabel(preset))));
        button->setObjectName("preset");
        button->setProperty("preset", static_cast<int>(preset));
        // Checked while the strips are as it sets them: seen, and said to a
        // screen reader.
        button->setCheckable(true);
        button->setAutoRaise(true);
        button->setFont(theme::font(10));
        addFocusRing(*button);
        presets_->layout()->addWidget(button);
        connect(button, &QToolButton::clicked, this, [this, preset] {
            workbench_.mixDesk().applyMixPreset(preset);
            showPresetInUse(); // a click on the one in use changes no strip
        });
    }
    static_cast<QHBoxLayout*>(presets_->layout())->addStretch();

    deleteChildWidgets(*stripRows_);
    strips_.clear();
    MixDesk& desk = workbench_.mixDesk();
    for (std::size_t index = 0; index < shownStems_.size(); ++index) {
        addStrip(
            qt(shownStems_[index].name()), shownStems_[index].url,
            [&desk, index]() -> std::optional<mixer::StripSettings> {
                if (index >= desk.mixStrips().size())
                    return std::nullopt;
                return desk.mixStrips()[index];
            },
            [&desk, index](const mixer::StripSettings& settings) {
                desk.setStrip(index, settings);
            });
    }
    // The metronome's strip, shown once the song's beats are known.
    addStrip(
        "节拍器", {},
        [&desk]() -> std::optional<mixer::StripSettings> {
            if (!desk.hasClick())
                return std::nullopt;
            return desk.clickStrip();
        },
        [&desk](const mixer::StripSettings& settings) { desk.setClickStrip(settings); });
    strips_.back()->row->setObjectName("metronomeStrip");
    ruler_->alignWith(strips_.empty() ? nullptr : strips_.front()->timeline);
    QList<QWidget*> order{
        clearLoop_, analysisBar_->correctButton(), speed_, resetSpeed_, pitch_, resetPitch_,
        countIn_};
    for (QWidget* control : presets_->findChildren<QToolButton*>())
        order << control;
    for (const auto& strip : strips_)
        order << strip->mute << strip->solo << strip->level;
    tabThrough(order << withTempo_ << withClick_ << cancelExport_ << exportMix_);
    showStrips();
}

// A strip's row at the end of the strips: its name, its timeline (the
// file's overview, or a flat line), mute, solo and level.
void MixerPanel::addStrip(const QString& name, const std::filesystem::path& stem,
                          std::function<std::optional<mixer::StripSettings>()> settings,
                          std::function<void(const mixer::StripSettings&)> apply)
{
    auto* row = new RoundedBox({.fill = theme::white(0.025), .radius = 6});
    row->setObjectName("mixStrip");
    if (!stem.empty())
        offerFileDrag(*row, [stem] { return std::optional<std::filesystem::path>(stem); });
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(10, 8, 10, 8);
    layout->setSpacing(6);
    auto* label = textLabel(name, theme::font(11, QFont::Medium), Qt::white);
    label->setFixedWidth(48);
    layout->addWidget(label);
    auto strip = std::make_unique<Strip>(Strip{
        .row = row,
        .mute = toggle("静音", "静音 " + name),
        .solo = toggle("独奏", "独奏 " + name),
        .level = new LevelSlider,
        .levelValue = textLabel("", theme::font(9), theme::muted()),
        .timeline = new MixTimeline(workbench_, stem),
        .settings = std::move(settings),
        .apply = std::move(apply),
    });
    strip->mute->setObjectName("mute");
    strip->solo->setObjectName("solo");
    strip->level->setObjectName("level");
    strip->level->setAccessibleName("音量 " + name);
    // Wide enough for a tenth of a decibel to be a few pixels; the
    // timeline takes what the window has beyond that.
    strip->level->setMinimumWidth(100);
    strip->level->setMaximumWidth(110);
    addFocusRing(*strip->level);
    strip->levelValue->setObjectName("levelValue");
    strip->levelValue->setFixedWidth(44);
    layout->addWidget(strip->timeline, 1);
    layout->addWidget(strip->mute);
    layout->addWidget(strip->solo);
    layout->addWidget(strip->level);
    layout->addWidget(strip->levelValue);

    // Each control changes the strip as the desk has it now.
    auto update = [read = strip->settings, write = strip->apply](auto change) {
        auto current = read();
        if (!current)
            return;
        change(*current);
        write(*current);
    };
    connect(strip->mute, &QToolButton::toggled, this,
            [update](bool on) { update([on](auto& s) { s.muted = on; }); });
    connect(strip->solo, &QToolButton::toggled, this,
            [update](bool on) { update([on](auto& s) { s.soloed = on; }); });
    connect(strip->level, &QSlider::valueChanged, this, [update](int value) {
        update([value](auto& s) { s.levelDb = static_cast<double>(value) / kSliderSteps; });
    });
    stripRows_->layout()->addWidget(row);
    strips_.push_back(std::move(strip));
}

} // namespace tonfield::ui
