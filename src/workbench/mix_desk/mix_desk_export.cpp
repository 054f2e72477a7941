// SPDX-License-Identifier: GPL-3.0-or-later

#include "workbench/mix_desk/mix_desk.hpp"

#include "model/atomic_file.hpp"
#include "model/file_name.hpp"
#include "model/output_format.hpp"
#include "workbench/workbench.hpp"

namespace tonfield {
namespace fs = std::filesystem;

void MixDesk::exportMix(bool withTempo, bool withClick)
{
    const auto& stems = workbench_.stems();
    const auto& job = workbench_.selectedJob();
    if (stems.empty() || mixExport_.running || !job)
        return;
    const auto preset = mixer::presetInUse(mixStrips_, stems);
    const std::string name =
        exportBaseName(job->filename) + " · " +
        (preset ? std::string(mixer::presetLabel(*preset)) : std::string("混音"));
    // The job's own format first.
    std::vector<std::string> types;
    for (const OutputFormat format : allOutputFormats)
        types.emplace_back(extension(format));
    const auto jobFormat = outputFormatFromRaw(job->format);
    auto chosen = services_.dialogs.chooseSaveFileOfType(
        name, types, jobFormat ? std::string(extension(*jobFormat)) : std::string());
    if (!chosen)
        return;
    const auto format = outputFormatFromExtension(lowercasedExtension(*chosen));
    if (!format) {
        workbench_.setError("请以 .wav、.flac 或 .mp3 结尾命名混音文件。");
        return;
    }

    ports::MixRender mix;
    mix.format = *format;
    mix.gains = gains();
    if (withClick && click_)
        mix.click = click_;
    if (withTempo)
        mix.tempo = tempo_;
    for (const Stem& stem : stems)
        mix.stems.push_back(stem.url);
    exportDone_ = std::make_shared<std::atomic<double>>(0.0);
    exportStop_ = std::make_shared<std::atomic<bool>>(false);
    publisher_.assign(WorkbenchField::mixExport, mixExport_,
                      MixExport{.running = true, .fraction = 0, .file = {}});

    std::weak_ptr<MixDesk*> weak = self_;
    ports::MixRenderer& renderer = services_.mixRenderer;
    services_.background.run([weak, &renderer, mix = std::move(mix), file = *chosen,
                              done = exportDone_, stop = exportStop_] {
        const Result<> written = writeThroughTemporary(file, [&](const fs::path& temporary) {
            return renderer.render(mix, temporary, [&](double fraction) {
                *done = fraction;
                return !*stop;
            });
        });
        return std::function<void()>([weak, written, file] {
            if (auto self = weak.lock())
                (*self)->mixExportEnded(written, file);
        });
    });
}

void MixDesk::cancelMixExport()
{
    if (exportStop_)
        *exportStop_ = true;
}

void MixDesk::mixExportEnded(const Result<>& result, const fs::path& file)
{
    const bool stopped = exportStop_ && *exportStop_;
    exportDone_.reset();
    exportStop_.reset();
    MixExport ended{.running = false, .fraction = 0, .file = mixExport_.file};
    if (result && !stopped)
        ended.file = file;
    publisher_.assign(WorkbenchField::mixExport, mixExport_, std::move(ended));
    if (!result && !stopped)
        workbench_.setError("导出混音失败：" + result.failure());
}

} // namespace tonfield
