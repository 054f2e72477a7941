// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "adapters/desktop/package_installer.hpp"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tonfield::test {

// A desktop installer the test answers by hand: `offered` says whether the
// desktop has one; a request waits in `pending` until the test calls it.
struct FakePackageInstaller final : adapters::PackageInstaller {
    bool offered = false;
    std::vector<std::vector<std::string>> requests;
    std::function<void(std::optional<std::string>)> pending;

    bool available() override { return offered; }
    void install(const std::vector<std::string>& packages,
                 std::function<void(std::optional<std::string>)> done) override
    {
        requests.push_back(packages);
        pending = std::move(done);
    }
};

} // namespace tonfield::test
