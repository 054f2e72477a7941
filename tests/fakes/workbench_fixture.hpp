// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "fakes/fake_workbench.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace tonfield::test {

// A core test over a Workbench of fakes, recording every field change.
class WorkbenchFixture : public ::testing::Test, public FakeWorkbench {
protected:
    WorkbenchFixture()
        : FakeWorkbench("My Song (Live).flac")
    {
        workbench->subscribe([this](Workbench::Field field) { changes.push_back(field); });
    }

    void startJob()
    {
        FakeWorkbench::startJob();
        ASSERT_TRUE(workbench->busy());
    }

    std::vector<Workbench::Field> changes;
};

} // namespace tonfield::test
