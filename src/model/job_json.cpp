// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/job_json.hpp"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>

namespace tonfield {
namespace {

using nlohmann::json;

// The record writer is assembled by hand because the stored form differs from
// every stock JSON serializer in two places: "/" is escaped, and a double is
// written in its shortest round-trip form without a forced ".0".
class RecordWriter {
public:
    bool ok() const { return ok_; }
    std::string take() { return std::move(out_); }

    void beginObject()
    {
        out_ += '{';
        first_ = true;
    }
    void endObject()
    {
        out_ += '}';
        first_ = false;
    }
    void beginArray()
    {
        out_ += '[';
        first_ = true;
    }
    void endArray()
    {
        out_ += ']';
        first_ = false;
    }

    void key(std::string_view name)
    {
        separate();
        writeString(name);
        out_ += ':';
        first_ = true; // the value that follows needs no comma
    }

    void element() { separate(); }

    template <class T> void field(std::string_view name, const T& content)
    {
        key(name);
        value(content);
    }

    void value(std::string_view text)
    {
        writeString(text);
        first_ = false;
    }

    void value(std::int64_t number)
    {
        out_ += std::to_string(number);
        first_ = false;
    }

    void value(double number)
    {
        if (!std::isfinite(number)) {
            ok_ = false;
            return;
        }
        // "-0" would read back as the integer 0 and save as "0": one form for zero.
        if (number == 0)
            number = 0;
        char buffer[32];
        auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, number);
        if (ec != std::errc{}) {
            ok_ = false;
            return;
        }
        out_.append(buffer, end);
        first_ = false;
    }

private:
    void separate()
    {
        if (!first_)
            out_ += ',';
        first_ = false;
    }

    void writeString(std::string_view text)
    {
        std::string quoted;
        try {
            quoted = json(std::string(text)).dump(-1, ' ', false, json::error_handler_t::strict);
        } catch (const json::type_error&) {
            ok_ = false;
            return;
        }
        // '/' never occurs inside a multi-byte UTF-8 sequence, so escaping every
        // byte 0x2F of the quoted text is exact.
        for (char c : quoted) {
            if (c == '/')
                out_ += '\\';
            out_ += c;
        }
    }

    std::string out_;
    bool first_ = true;
    bool ok_ = true;
};

void writeOutput(RecordWriter& w, const JobOutput& output)
{
    w.beginObject();
    w.field("name", output.name);
    w.field("size", output.size);
    w.field("url", output.url);
    w.endObject();
}

} // namespace

std::optional<std::string> encodeJob(const Job& job)
{
    RecordWriter w;
    w.beginObject();
    w.field("id", job.id);
    w.field("filename", job.filename);
    w.field("mode", job.mode);
    w.field("format", job.format);
    w.field("quality", job.quality);
    w.field("status", job.status);
    w.field("created", job.created);
    w.field("message", job.message);
    if (job.elapsed)
        w.field("elapsed", *job.elapsed);
    if (job.outputs) {
        w.key("outputs");
        w.beginArray();
        for (const JobOutput& output : *job.outputs) {
            w.element();
            writeOutput(w, output);
        }
        w.endArray();
    }
    w.endObject();
    if (!w.ok())
        return std::nullopt;
    return w.take();
}

} // namespace tonfield
