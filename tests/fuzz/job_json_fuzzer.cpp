// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the job.json decoder. Its fast reader must agree
// with the token reader wherever it answers at all. Whatever the decoder
// accepts must encode, and the encoding must decode back to the same record
// with the same bytes: a stored record never changes by being read and saved
// again.

#include "model/job_json.hpp"

#include "model/job_json_readers.hpp"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (auto fast = tonfield::decodeJobFast(bytes);
        fast && *fast != tonfield::decodeJobTokenByToken(bytes))
        std::abort();
    auto job = tonfield::decodeJob(bytes);
    if (!job)
        return 0;
    auto encoded = tonfield::encodeJob(*job);
    if (!encoded)
        std::abort();
    auto again = tonfield::decodeJob(*encoded);
    if (!again || !(*again == *job) || tonfield::encodeJob(*again) != encoded)
        std::abort();
    return 0;
}
