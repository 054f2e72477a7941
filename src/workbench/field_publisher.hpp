// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <utility>

namespace tonfield {

// Every observable field of the Workbench and of the parts it is composed
// of, in declaration order. One enumeration, so the window hears all of them
// through one channel, in the order they were assigned.
enum class WorkbenchField {
    engineRoot,
    source,
    mode,
    format,
    highQuality,
    jobs,
    selectedJob,
    stems,
    busy,
    message,
    log,
    showHistory,
    elapsed,
    playingURL,
    playbackTime,
    playbackDuration,
    error,
    preparingEngine,
    mixStrips,
    mixPlaying,
    waveforms,
    progress,
    timeLeft,
    diskUsage,
    queue,
    mixExport,
    loop,
    tempo,
    engines,
    analysis,
    metronome,
};
inline constexpr std::size_t workbenchFieldCount =
    static_cast<std::size_t>(WorkbenchField::metronome) + 1;

// The observers of those fields, shared by the Workbench and its parts. Each
// assignment calls every observer with the field, after the new value is in
// place.
//
// Threading: main thread only.
class FieldPublisher {
public:
    using Observer = std::function<void(WorkbenchField)>;

    int subscribe(Observer observer)
    {
        observers_.emplace(nextSubscription_, std::move(observer));
        return nextSubscription_++;
    }
    void unsubscribe(int subscription) { observers_.erase(subscription); }

    void notify(WorkbenchField field) const
    {
        // A copy, so an observer may subscribe or unsubscribe while being told.
        const auto observers = observers_;
        for (const auto& [id, observer] : observers)
            observer(field);
    }
    template <class T> void assign(WorkbenchField field, T& member, T value) const
    {
        member = std::move(value);
        notify(field);
    }
    template <class T> void assignIfChanged(WorkbenchField field, T& member, T value) const
    {
        if (!(member == value))
            assign(field, member, std::move(value));
    }

private:
    std::map<int, Observer> observers_;
    int nextSubscription_ = 0;
};

} // namespace tonfield
