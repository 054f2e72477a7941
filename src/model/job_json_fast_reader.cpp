// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/job_json_readers.hpp"

#include <cstdint>
#include <simdjson.h>
#include <string>

namespace tonfield {
namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

std::optional<std::string> textOf(const element& value)
{
    std::string_view text;
    if (value.get_string().get(text))
        return std::nullopt;
    return std::string(text);
}

// A JSON integer that fits a signed 64-bit value; 12.5 or "12" do not count.
std::optional<std::int64_t> int64Of(const element& value)
{
    std::int64_t number = 0;
    if (value.type() != element_type::INT64 || value.get_int64().get(number))
        return std::nullopt;
    return number;
}

std::optional<JobOutput> outputOf(const element& value)
{
    simdjson::dom::object object;
    if (value.get_object().get(object))
        return std::nullopt;
    std::optional<std::string> name, url;
    std::optional<std::int64_t> size;
    for (const auto field : object) { // a repeated key: the last one counts
        if (field.key == "name")
            name = textOf(field.value);
        else if (field.key == "size")
            size = int64Of(field.value);
        else if (field.key == "url")
            url = textOf(field.value);
    }
    if (!name || !size || !url)
        return std::nullopt;
    return JobOutput{std::move(*name), *size, std::move(*url)};
}

// The record's rules over a document simdjson has parsed and validated.
std::optional<Job> jobOf(const element& root)
{
    simdjson::dom::object object;
    if (root.get_object().get(object))
        return std::nullopt;
    std::optional<std::string> id, filename, mode, format, quality, status, message;
    std::optional<double> created;
    std::optional<std::int64_t> elapsed;
    bool elapsedValid = true;
    std::optional<std::vector<JobOutput>> outputs;
    bool outputsValid = true;
    const std::pair<std::string_view, std::optional<std::string>*> texts[] = {
        {"id", &id},           {"filename", &filename}, {"mode", &mode},       {"format", &format},
        {"quality", &quality}, {"status", &status},     {"message", &message},
    };
    for (const auto field : object) { // a repeated key: the last one counts
        bool isText = false;
        for (auto [key, text] : texts)
            if (field.key == key) {
                *text = textOf(field.value);
                isText = true;
            }
        if (isText)
            continue;
        const element_type type = field.value.type();
        if (field.key == "created") {
            double number = 0;
            const bool isNumber = type == element_type::INT64 || type == element_type::UINT64 ||
                                  type == element_type::DOUBLE;
            created = isNumber && !field.value.get_double().get(number)
                          ? std::optional<double>(number)
                          : std::nullopt;
        } else if (field.key == "elapsed") {
            elapsed = int64Of(field.value);
            elapsedValid = elapsed || type == element_type::NULL_VALUE;
        } else if (field.key == "outputs") {
            outputs.reset();
            outputsValid = type == element_type::NULL_VALUE;
            simdjson::dom::array entries;
            if (!field.value.get_array().get(entries)) {
                outputs.emplace();
                outputsValid = true;
                for (const element entry : entries) {
                    auto output = outputOf(entry);
                    if (!output) {
                        outputsValid = false;
                        break;
                    }
                    outputs->push_back(std::move(*output));
                }
            }
        }
    }
    if (!id || !filename || !mode || !format || !quality || !status || !message || !created ||
        !elapsedValid || !outputsValid)
        return std::nullopt;
    return Job{.id = std::move(*id),
               .filename = std::move(*filename),
               .mode = std::move(*mode),
               .format = std::move(*format),
               .quality = std::move(*quality),
               .status = std::move(*status),
               .created = *created,
               .message = std::move(*message),
               .elapsed = elapsed,
               .outputs = std::move(outputs)};
}

} // namespace

std::optional<std::optional<Job>> decodeJobFast(std::string_view bytes)
{
    // One parser per thread: it keeps its buffers from one record to the next.
    thread_local simdjson::dom::parser parser;
    element root;
    if (parser.parse(bytes.data(), bytes.size()).get(root))
        return std::nullopt;
    return jobOf(root);
}

} // namespace tonfield
