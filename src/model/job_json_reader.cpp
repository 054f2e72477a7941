// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/job_json.hpp"

#include "model/job_json_readers.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <limits>
#include <variant>
#include <vector>

namespace tonfield {
namespace {

using nlohmann::json;

// The reader of every record simdjson cannot parse (see decodeJob), and so
// the one that says what the rules are.
//
// Reads a record in one pass over its bytes, with no document tree: each
// value lands in the record as the parser meets it, which makes reading a
// long history several times cheaper. The rules are those of reading the
// whole document first: the JSON must be valid throughout, the last of a
// repeated key counts, unknown keys are skipped with whatever they hold, and
// a value of the wrong type rejects the record. Driven by nlohmann's SAX
// parser, which calls one member per token and stops at the first `false`.
class RecordReader {
public:
    using number_integer_t = json::number_integer_t;
    using number_unsigned_t = json::number_unsigned_t;
    using number_float_t = json::number_float_t;
    using string_t = json::string_t;
    using binary_t = json::binary_t;

    std::optional<Job> take();

    bool null() { return value(Null{}); }
    bool boolean(bool) { return value(Other{}); }
    bool number_integer(number_integer_t number) { return value(number); }
    bool number_unsigned(number_unsigned_t number) { return value(number); }
    bool number_float(number_float_t number, const string_t&) { return value(number); }
    bool string(string_t& text) { return value(std::move(text)); }
    bool binary(binary_t&) { return value(Other{}); }
    bool start_object(std::size_t) { return open(true); }
    bool start_array(std::size_t) { return open(false); }
    bool key(string_t& name);
    bool end_object() { return close(); }
    bool end_array() { return close(); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&)
    {
        return false;
    }

private:
    struct Null {};
    struct Other {}; // a boolean, binary data, or an object or array met as a value
    using Value = std::variant<Null, Other, std::int64_t, std::uint64_t, double, std::string>;
    enum class RootKey { other, text, created, elapsed, outputs };
    enum class OutputKey { other, name, size, url };
    struct PendingOutput {
        std::optional<std::string> name;
        std::optional<std::int64_t> size;
        std::optional<std::string> url;
    };

    bool value(Value value);
    bool open(bool object);
    bool close();
    void rootValue(Value value);
    void outputValue(Value value);

    int depth_ = 0;    // containers open
    int skipping_ = 0; // containers open inside a value that is skipped
    bool rootSeen_ = false;
    RootKey rootKey_ = RootKey::other;
    std::optional<std::string>* text_ = nullptr; // the text field rootKey_ names
    OutputKey outputKey_ = OutputKey::other;
    bool inOutputs_ = false; // the "outputs" array being read is open

    std::optional<std::string> id_, filename_, mode_, format_, quality_, status_, message_;
    std::optional<double> created_;
    std::optional<std::int64_t> elapsed_;
    bool elapsedValid_ = true;
    std::optional<std::vector<JobOutput>> outputs_;
    bool outputsValid_ = true;
    std::optional<PendingOutput> output_; // the element being read
};

// A JSON integer that fits a signed 64-bit value; 12.5 or "12" do not count.
std::optional<std::int64_t> int64Of(const auto& value)
{
    if (const auto* signedNumber = std::get_if<std::int64_t>(&value))
        return *signedNumber;
    if (const auto* unsignedNumber = std::get_if<std::uint64_t>(&value);
        unsignedNumber &&
        *unsignedNumber <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return static_cast<std::int64_t>(*unsignedNumber);
    return std::nullopt;
}

std::optional<std::string> textOf(auto&& value)
{
    if (auto* text = std::get_if<std::string>(&value))
        return std::move(*text);
    return std::nullopt;
}

bool RecordReader::key(string_t& name)
{
    if (skipping_ > 0)
        return true;
    if (depth_ == 1) {
        const std::pair<const char*, std::optional<std::string>*> texts[] = {
            {"id", &id_},           {"filename", &filename_}, {"mode", &mode_},
            {"format", &format_},   {"quality", &quality_},   {"status", &status_},
            {"message", &message_},
        };
        rootKey_ = RootKey::other;
        for (auto [textKey, field] : texts)
            if (name == textKey) {
                rootKey_ = RootKey::text;
                text_ = field;
            }
        if (name == "created")
            rootKey_ = RootKey::created;
        else if (name == "elapsed")
            rootKey_ = RootKey::elapsed;
        else if (name == "outputs")
            rootKey_ = RootKey::outputs;
    } else if (depth_ == 3) {
        outputKey_ = name == "name"   ? OutputKey::name
                     : name == "size" ? OutputKey::size
                     : name == "url"  ? OutputKey::url
                                      : OutputKey::other;
    }
    return true;
}

// The root object, the "outputs" array and its elements are entered; any
// other object or array is a value of the wrong type where one is expected,
// or nothing where none is, and its contents are skipped.
bool RecordReader::open(bool object)
{
    if (skipping_ > 0) {
        ++skipping_;
        return true;
    }
    if (depth_ == 0) {
        if (!object || rootSeen_)
            return false; // a record is one object
        rootSeen_ = true;
        depth_ = 1;
        return true;
    }
    if (depth_ == 1 && rootKey_ == RootKey::outputs && !object) {
        outputs_.emplace();
        outputsValid_ = true;
        inOutputs_ = true;
        depth_ = 2;
        return true;
    }
    if (depth_ == 2 && inOutputs_ && object) {
        output_.emplace();
        outputKey_ = OutputKey::other;
        depth_ = 3;
        return true;
    }
    value(Other{});
    skipping_ = 1;
    return true;
}

bool RecordReader::close()
{
    if (skipping_ > 0) {
        --skipping_;
        return true;
    }
    if (depth_ == 3) {
        if (output_ && output_->name && output_->size && output_->url)
            outputs_->push_back(
                JobOutput{std::move(*output_->name), *output_->size, std::move(*output_->url)});
        else
            outputsValid_ = false;
        output_.reset();
    } else if (depth_ == 2) {
        inOutputs_ = false;
    }
    --depth_;
    return true;
}

bool RecordReader::value(Value value)
{
    if (skipping_ > 0)
        return true;
    if (depth_ == 0)
        return false; // a record is one object, not a scalar
    if (depth_ == 1)
        rootValue(std::move(value));
    else if (depth_ == 2)
        outputsValid_ = false; // an element that is not an object
    else
        outputValue(std::move(value));
    return true;
}

void RecordReader::rootValue(Value value)
{
    switch (rootKey_) {
    case RootKey::other:
        break;
    case RootKey::text:
        *text_ = textOf(std::move(value));
        break;
    case RootKey::created:
        if (const auto* number = std::get_if<double>(&value))
            created_ = *number;
        else if (const auto* signedNumber = std::get_if<std::int64_t>(&value))
            created_ = static_cast<double>(*signedNumber);
        else if (const auto* unsignedNumber = std::get_if<std::uint64_t>(&value))
            created_ = static_cast<double>(*unsignedNumber);
        else
            created_.reset();
        break;
    case RootKey::elapsed:
        elapsed_ = int64Of(value);
        elapsedValid_ = elapsed_ || std::holds_alternative<Null>(value);
        break;
    case RootKey::outputs:
        // An array arrives through open(); here only null (none) or a wrong type.
        outputs_.reset();
        outputsValid_ = std::holds_alternative<Null>(value);
        break;
    }
}

void RecordReader::outputValue(Value value)
{
    switch (outputKey_) {
    case OutputKey::other:
        break;
    case OutputKey::name:
        output_->name = textOf(std::move(value));
        break;
    case OutputKey::size:
        output_->size = int64Of(value);
        break;
    case OutputKey::url:
        output_->url = textOf(std::move(value));
        break;
    }
}

std::optional<Job> RecordReader::take()
{
    if (!id_ || !filename_ || !mode_ || !format_ || !quality_ || !status_ || !message_ ||
        !created_ || !elapsedValid_ || !outputsValid_)
        return std::nullopt;
    Job job;
    job.id = std::move(*id_);
    job.filename = std::move(*filename_);
    job.mode = std::move(*mode_);
    job.format = std::move(*format_);
    job.quality = std::move(*quality_);
    job.status = std::move(*status_);
    job.message = std::move(*message_);
    job.created = *created_;
    job.elapsed = elapsed_;
    job.outputs = std::move(outputs_);
    return job;
}

} // namespace

std::optional<Job> decodeJobTokenByToken(std::string_view bytes)
{
    RecordReader reader;
    if (!json::sax_parse(bytes, &reader))
        return std::nullopt;
    return reader.take();
}

// simdjson reads nearly every record; what it cannot parse, the token reader
// decides.
std::optional<Job> decodeJob(std::string_view bytes)
{
    if (auto fast = decodeJobFast(bytes))
        return std::move(*fast);
    return decodeJobTokenByToken(bytes);
}

} // namespace tonfield
