// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "model/job_library.hpp"
#include "model/progress.hpp"
#include "model/separation_mode.hpp"

#include <cstdint>
#include <optional>
#include <string>

// How stored values read on screen and on the command line.
namespace tonfield::display {

// Seconds as "MM:SS": truncated toward zero, negative as 0, minutes never
// wrapped into hours (3725 -> "62:05"). A non-finite value shows "00:00".
std::string time(double seconds);

// A separation mode as its card names it: "人声 / 伴奏", "四轨分离", "六轨分离".
const char* modeTitle(SeparationMode mode);

// A stored job status as its label ("done" -> "已完成"); any other text is
// shown as stored.
std::string status(const std::string& stored);

// What a job was run as, for its row and its results: "四轨 · FLAC". A mode
// or a format the record does not know is left out.
std::string jobSummary(const Job& job);

// The line under a running queue: which song of how many, and what the
// whole queue still needs ("队列第 2 首，共 5 首：晴天.wav · 全部预计剩余 12:30").
// Songs waiting behind a job started on its own: "队列中还有 3 首等待分轨".
std::string queueLine(const QueueRun& run, std::size_t waiting, const std::string& runningName,
                      std::optional<double> secondsLeft);

// What a deleted job's folder is called in the desktop's trash, where a
// hex id would say nothing: "晴天 · 四轨 · FLAC · 2026-12-07 23.10" (the
// song without its extension, what it was run as, when; local time). Never
// a path: a slash becomes a full-width one, and the name is cut to fit a
// file system's 255 bytes. The id when nothing of the song is left.
std::string trashName(const Job& job);

// A size on disk in decimal units, as file managers show it: "0 B",
// "999 B", "1.2 KB", "250 MB", "3.4 GB".
std::string bytes(std::uint64_t count);

// The confirmation before jobs are deleted: the question naming what goes,
// and the line saying the space it frees and where the files go.
struct Confirmation {
    std::string question;
    std::string detail;
};
Confirmation deletionQuestion(const DeletionPlan& plan);

// Whether a stored time is a date a calendar can show (years 1 to 9999); a
// damaged record may hold any number.
bool hasCalendarDate(double secondsSince1970);

} // namespace tonfield::display
