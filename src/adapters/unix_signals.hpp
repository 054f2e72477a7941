// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QObject>

#include <functional>

namespace tonfield::adapters {

// Turns SIGTERM and SIGINT (a desktop session ending, a terminal's Ctrl+C)
// into a call on the main thread, so they end the application through its
// own quit path instead of killing it mid-write.
class UnixSignals final : public QObject {
public:
    explicit UnixSignals(std::function<void()> onTerminate, QObject* parent = nullptr);
};

} // namespace tonfield::adapters
