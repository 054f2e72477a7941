// SPDX-License-Identifier: GPL-3.0-or-later

#include "adapters/qt_waveforms.hpp"

#include "adapters/audio_decoder.hpp"
#include "interop/qt_paths.hpp"
#include "mixer/waveform.hpp"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThreadPool>

#include <cmath>

namespace tonfield::adapters {
namespace {

// Decoded at a low rate, in mono: an overview needs no more.
constexpr PcmFormat kOverviewFormat{.sampleRate = 8000, .channels = 1, .floatSamples = true};

QString cacheFile(const std::filesystem::path& file)
{
    const QFileInfo info(toQString(file));
    const auto modified = info.lastModified().toMSecsSinceEpoch() * 1'000'000;
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           "/Tonfield/waveforms/" +
           QString::fromStdString(
               mixer::peaksCacheName(file, static_cast<std::uintmax_t>(info.size()), modified));
}

std::optional<mixer::Overview> cached(const QString& path)
{
    QFile stored(path);
    if (!stored.open(QIODevice::ReadOnly) || stored.size() > 64 * 1024)
        return std::nullopt;
    const QByteArray bytes = stored.readAll();
    return mixer::decodeOverview(std::string_view(bytes.constData(), bytes.size()));
}

// The length is what was decoded, not what the file declares.
std::optional<mixer::Overview> measure(const std::filesystem::path& file,
                                       const std::atomic<bool>& abandoned)
{
    auto decoder = openAudioDecoder(file, kOverviewFormat);
    if (!decoder)
        return std::nullopt;
    const auto frames = static_cast<std::size_t>(
        std::max(0.0, std::ceil((*decoder)->durationSeconds() * kOverviewFormat.sampleRate)));
    mixer::PeakMeter meter(frames, kOverviewFormat.channels);
    std::vector<float> chunk(8192);
    std::size_t decoded = 0;
    while (!abandoned) {
        const std::size_t bytes =
            (*decoder)->read(reinterpret_cast<char*>(chunk.data()), chunk.size() * sizeof(float));
        if (bytes == 0)
            return mixer::Overview{.peaks = meter.peaks(),
                                   .seconds =
                                       static_cast<double>(decoded) / kOverviewFormat.sampleRate};
        meter.add(chunk.data(), bytes / sizeof(float));
        decoded += bytes / sizeof(float) / kOverviewFormat.channels;
    }
    return std::nullopt;
}

void store(const QString& path, const mixer::Overview& overview)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile out(path); // whole or not at all
    const std::string bytes = mixer::encodeOverview(overview);
    if (out.open(QIODevice::WriteOnly) &&
        out.write(bytes.data(), static_cast<qint64>(bytes.size())) ==
            static_cast<qint64>(bytes.size()))
        out.commit();
}

} // namespace

QtWaveforms::~QtWaveforms()
{
    *abandoned_ = true;
}

void QtWaveforms::request(const std::filesystem::path& file,
                          std::function<void(mixer::Overview)> ready)
{
    QThreadPool::globalInstance()->start([file, ready = std::move(ready), abandoned = abandoned_] {
        const QString cachePath = cacheFile(file);
        auto overview = cached(cachePath);
        if (!overview) {
            overview = measure(file, *abandoned);
            if (overview)
                store(cachePath, *overview);
        }
        if (!overview || *abandoned)
            return;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [ready, overview = std::move(*overview), abandoned] {
                if (!*abandoned)
                    ready(overview);
            },
            Qt::QueuedConnection);
    });
}

} // namespace tonfield::adapters
