#include "workbench/workbench.hpp"

#include "engine/invocation.hpp"
#include "model/failure_text.hpp"
#include "model/file_copy.hpp"
#include "model/job_id.hpp"
#include "model/job_layout.hpp"
#include "model/job_values.hpp"

namespace tonfield {
namespace fs = std::filesystem;

void Workbench::start()
{
    if (busy_ || !ready() || !engineRoot_ || !source_)
        return;
    stopPlayback();
    setError(std::nullopt);

    const fs::path root = *engineRoot_;
    const std::string id = jobIdFromUuid(services_.ids.newUuid());
    Job record{
        .id = id,
        .filename = source_->filename().string(),
        .mode = std::string(rawValue(mode_)),
        .format = format_,
        .quality = std::string(job_quality::fromSwitch(highQuality_)),
        .status = std::string(job_status::running),
        .created = services_.clock.nowSeconds(),
        .message = "正在加载模型，首次使用需要下载权重。",
        .elapsed = std::nullopt,
        .outputs = std::vector<JobOutput>{},
    };

    std::error_code ec;
    for (const fs::path& folder : {layout::inputFolder(root, id), layout::outputFolder(root, id)}) {
        fs::create_directories(folder, ec);
        if (ec)
            return failLaunch(std::move(record), failureText(folder, ec));
    }
    const fs::path inputCopy = layout::inputFolder(root, id) / record.filename;
    if (auto copied = copyFile(*source_, inputCopy); !copied)
        return failLaunch(std::move(record), copied.failure());
    const fs::path logFile = layout::logFile(root, id);
    auto opened = LogHandle::open(logFile);
    if (!opened)
        return failLaunch(std::move(record), opened.failure());
    logHandle_ = std::move(*opened);

    const engine::Invocation invocation =
        engine::buildInvocation(root, inputCopy, layout::outputFolder(root, id),
                                {.mode = mode_, .format = format_, .highQuality = highQuality_},
                                services_.environment.environment());

    assign(Field::selectedJob, selectedJob_, std::optional<Job>(record));
    activeID_ = id;
    assign(Field::stems, stems_, std::vector<Stem>());
    assign(Field::log, log_, std::string());
    assign(Field::elapsed, elapsed_, 0.0);
    assign(Field::busy, busy_, true);
    assign(Field::showHistory, showHistory_, false);
    assign(Field::message, message_, record.message);
    save(record);

    std::weak_ptr<Workbench> weak = weak_from_this();
    auto launched =
        services_.launcher.launch(invocation, logHandle_->descriptor(), [weak, id](int status) {
            if (auto self = weak.lock())
                self->finished(id, status);
        });
    if (!launched)
        return failLaunch(std::move(record), launched.failure());
    process_ = std::move(*launched);
    loadHistory();
}

// Leaves the running state with the job recorded as failed; whatever of the
// job folder was made stays on disk.
void Workbench::failLaunch(Job record, const std::string& description)
{
    assign(Field::busy, busy_, false);
    process_.reset();
    activeID_.reset();
    logHandle_.reset();
    record.status = job_status::error;
    record.message = description;
    assign(Field::selectedJob, selectedJob_, std::optional<Job>(record));
    save(record);
    loadHistory();
    setError(description);
}

} // namespace tonfield
