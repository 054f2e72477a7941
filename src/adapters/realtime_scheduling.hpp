// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

namespace tonfield::adapters {

// Puts the calling thread, and the thread on which libpulse (inside Qt's
// PulseAudio backend) receives the server's requests for more audio, under
// real-time scheduling, as sound servers and audio applications on Linux
// do: a busy machine then cannot delay either long enough for the sink to
// run dry. Directly where the process may (CAP_SYS_NICE or an RLIMIT_RTPRIO
// allowance), else by asking RealtimeKit on the system bus without waiting
// for its answer. Where neither is possible the threads keep ordinary
// scheduling; playback still works. Runs on the audio thread, which must
// have an event loop for RealtimeKit's answer to arrive.
void requestRealtimeAudioScheduling();

} // namespace tonfield::adapters
