// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ports/services.hpp"

namespace tonfield::adapters {

// The analysis through its own library (libtonfield_analysis.so, which links
// qm-dsp and the numerical libraries behind it), loaded on the first use.
// Threading: any thread.
class QmDspSongAnalyzer final : public ports::SongAnalyzer {
public:
    Result<analysis::MusicalAnalysis> analyze(const analysis::AnalysisSources& sources) override;
};

} // namespace tonfield::adapters
