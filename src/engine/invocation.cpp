// SPDX-License-Identifier: GPL-3.0-or-later

#include "engine/invocation.hpp"

#include "engine/engine_folder.hpp"
#include "model/job_values.hpp"

namespace tonfield::engine {

std::string_view modelFor(SeparationMode mode)
{
    switch (mode) {
    case SeparationMode::vocal:
        return "UVR-MDX-NET-Inst_HQ_3.onnx";
    case SeparationMode::four:
        return "htdemucs.yaml";
    case SeparationMode::six:
        return "htdemucs_6s.yaml";
    }
    return "UVR-MDX-NET-Inst_HQ_3.onnx";
}

Invocation buildInvocation(const std::filesystem::path& engineRoot,
                           const std::filesystem::path& inputCopy,
                           const std::filesystem::path& outputFolder, const JobSettings& settings,
                           std::map<std::string, std::string> environment)
{
    // Moved in rather than assigned from a literal, which GCC 12 at -O2 warns
    // about falsely (-Wrestrict).
    environment["PYTHONUNBUFFERED"] = std::string("1");
    return Invocation{
        .executable = interpreterPath(engineRoot),
        .arguments = {"-u", scriptPath(engineRoot).string(), inputCopy.string(),
                      outputFolder.string(), std::string(modelFor(settings.mode)), settings.format,
                      std::string(job_quality::fromSwitch(settings.highQuality))},
        .workingDirectory = engineRoot,
        .environment = std::move(environment),
    };
}

} // namespace tonfield::engine
