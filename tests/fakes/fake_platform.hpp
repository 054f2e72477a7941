#pragma once

// Hand-written stand-ins for the platform services, for tests of the core.

#include "platform/platform.hpp"

#include <cstdio>
#include <deque>
#include <map>
#include <vector>

namespace tonfield::testing {

struct ManualClock final : platform::Clock {
    double now = 1'733'500'000.25;
    double nowSeconds() override { return now; }
};

struct SequentialIds final : platform::IdSource {
    int next = 1;
    std::string newUuid() override
    {
        char text[37];
        std::snprintf(text, sizeof text, "%08X-0000-4000-8000-%012d", next, next);
        ++next;
        return text;
    }
};

struct MemorySettings final : platform::Settings {
    std::map<std::string, std::string> values;
    std::optional<std::string> string(const std::string& key) override
    {
        auto it = values.find(key);
        if (it == values.end())
            return std::nullopt;
        return it->second;
    }
    void setString(const std::string& key, const std::string& value) override
    {
        values[key] = value;
    }
};

// Answers each chooser with the next scripted answer (cancel when none is
// left) and remembers what was asked.
struct ScriptedDialogs final : platform::Dialogs {
    std::deque<std::optional<std::filesystem::path>> folderAnswers;
    std::vector<platform::FolderRequest> folderRequests;

    std::optional<std::filesystem::path> chooseFolder(const platform::FolderRequest& request) override
    {
        folderRequests.push_back(request);
        if (folderAnswers.empty())
            return std::nullopt;
        auto answer = folderAnswers.front();
        folderAnswers.pop_front();
        return answer;
    }
};

// A timer that fires only when the test says so.
struct ManualTimers final : platform::Timers {
    struct Armed {
        double intervalSeconds;
        std::function<void()> onFire;
        bool alive = true;
    };
    std::vector<std::shared_ptr<Armed>> armed;

    class Handle final : public platform::RepeatingTimer {
    public:
        explicit Handle(std::shared_ptr<Armed> timer) : timer_(std::move(timer)) {}
        ~Handle() override { timer_->alive = false; }

    private:
        std::shared_ptr<Armed> timer_;
    };

    std::unique_ptr<platform::RepeatingTimer> startRepeating(double intervalSeconds,
                                                             std::function<void()> onFire) override
    {
        armed.push_back(std::make_shared<Armed>(Armed{intervalSeconds, std::move(onFire)}));
        return std::make_unique<Handle>(armed.back());
    }

    // Fires every timer, including one whose owner is gone: the callback itself
    // must cope with that, as a queued task may outlive its owner.
    void fireAll()
    {
        for (const auto& timer : armed)
            timer->onFire();
    }
};

struct FakeEnvironment final : platform::AppEnvironment {
    std::filesystem::path applicationFolderPath = "/nonexistent/app";
    std::optional<std::filesystem::path> builtIn;
    std::filesystem::path currentDirectoryPath = "/nonexistent/cwd";

    std::filesystem::path applicationFolder() override { return applicationFolderPath; }
    std::optional<std::filesystem::path> builtInEngineRoot() override { return builtIn; }
    std::filesystem::path currentDirectory() override { return currentDirectoryPath; }
};

struct FakePlatform {
    ManualClock clock;
    SequentialIds ids;
    MemorySettings settings;
    ScriptedDialogs dialogs;
    ManualTimers timers;
    FakeEnvironment environment;

    platform::Services services()
    {
        return {clock, ids, settings, dialogs, timers, environment};
    }
};

} // namespace tonfield::testing
