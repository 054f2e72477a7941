#include "workbench/workbench.hpp"

#include "model/job_layout.hpp"
#include "model/log_tail.hpp"

namespace tonfield {

// Runs at every firing of the poll timer, whether or not a job runs.
void Workbench::tick()
{
    if (busy_ && selectedJob_) {
        assign(Field::elapsed, elapsed_, services_.clock.nowSeconds() - selectedJob_->created);
        readLog();
        if (log_.find("模型就绪") != std::string::npos ||
            log_.find("Starting separation process") != std::string::npos)
            assign(Field::message, message_, std::string("模型已就绪，正在分离音轨…"));
    }
    followPlayback();
    saveMixStrips();
}

void Workbench::readLog()
{
    if (!engineRoot_ || !selectedJob_)
        return;
    assign(Field::log, log_,
           readLogTail(layout::logFile(*engineRoot_, selectedJob_->id), logWindowBytes));
}

} // namespace tonfield
