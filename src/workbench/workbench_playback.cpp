// SPDX-License-Identifier: GPL-3.0-or-later

#include "workbench/workbench.hpp"

namespace tonfield {

// Toggles a file: pauses it while it sounds, otherwise plays it, resuming
// the bound player where it stopped.
void Workbench::play(const std::filesystem::path& file)
{
    if (playingURL_ == file) {
        if (player_) {
            player_->pause();
            // Up to a tick has passed since the position was last copied.
            publisher_.assign(Field::playbackTime, playbackTime_, player_->currentTimeSeconds());
        }
        publisher_.assign(Field::playingURL, playingURL_, std::optional<std::filesystem::path>());
        return;
    }
    if (!player_ || mixDesk_.mixLoaded() || playerFile_ != file) {
        auto opened = services_.audio.open(file);
        if (!opened) {
            // The previous player, if any, keeps sounding.
            setError("无法试听：" + opened.failure());
            return;
        }
        player_ = std::move(*opened); // a mix that sounded stops here
        playerFile_ = file;
        mixDesk_.mixReleased();
        mixDesk_.mixSilenced();
    }
    publisher_.assign(Field::playbackDuration, playbackDuration_, player_->durationSeconds());
    player_->play();
    publisher_.assign(Field::playingURL, playingURL_, std::optional<std::filesystem::path>(file));
}

void Workbench::stopPlayback()
{
    if (player_) {
        player_->stop();
        player_.reset();
    }
    mixDesk_.mixReleased();
    publisher_.assign(Field::playingURL, playingURL_, std::optional<std::filesystem::path>());
    mixDesk_.mixSilenced();
    publisher_.assign(Field::playbackTime, playbackTime_, 0.0);
    publisher_.assign(Field::playbackDuration, playbackDuration_, 0.0);
}

void Workbench::seek(double seconds)
{
    if (player_)
        player_->setCurrentTimeSeconds(seconds);
    publisher_.assign(Field::playbackTime, playbackTime_, seconds);
}

// The tick's playback step: the position follows the player, and a player
// that has fallen silent (the end of its file) is noticed here.
void Workbench::followPlayback()
{
    if (!player_)
        return;
    publisher_.assign(Field::playbackTime, playbackTime_, player_->currentTimeSeconds());
    if (!player_->isPlaying() && playingURL_)
        publisher_.assign(Field::playingURL, playingURL_, std::optional<std::filesystem::path>());
    if (!player_->isPlaying())
        mixDesk_.mixSilenced();
}

} // namespace tonfield
