// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/job_json.hpp"

#include "model/separation_mode.hpp"
#include "model/stem.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace tonfield {
namespace {

const std::string jobId = "0123456789abcdef0123456789abcdef";

Job finishedJob()
{
    return Job{
        .id = jobId,
        .filename = "晴天 (Live).mp3",
        .mode = "four",
        .format = "WAV",
        .quality = "high",
        .status = "done",
        .created = 1733500000.25,
        .message = "分离完成：\"4\" 条音轨\n",
        .elapsed = 42,
        .outputs =
            std::vector<JobOutput>{{"晴天_(Vocals).wav", 1234,
                                    "/output/" + jobId + "/%E6%99%B4%E5%A4%A9_(Vocals).wav"}},
    };
}

TEST(JobJson, EncodesExactBytes)
{
    EXPECT_EQ(
        *encodeJob(finishedJob()),
        R"({"id":"0123456789abcdef0123456789abcdef","filename":"晴天 (Live).mp3",)"
        R"("mode":"four","format":"WAV","quality":"high","status":"done",)"
        R"("created":1733500000.25,"message":"分离完成：\"4\" 条音轨\n","elapsed":42,)"
        R"("outputs":[{"name":"晴天_(Vocals).wav","size":1234,)"
        R"("url":"\/output\/0123456789abcdef0123456789abcdef\/%E6%99%B4%E5%A4%A9_(Vocals).wav"}]})");

    Job fresh = finishedJob();
    fresh.status = "running";
    fresh.created = 1733500000;
    fresh.message = "a/b";
    fresh.elapsed.reset();
    fresh.outputs = std::vector<JobOutput>{};
    EXPECT_EQ(*encodeJob(fresh),
              R"({"id":"0123456789abcdef0123456789abcdef","filename":"晴天 (Live).mp3",)"
              R"("mode":"four","format":"WAV","quality":"high","status":"running",)"
              R"("created":1733500000,"message":"a\/b","outputs":[]})");

    fresh.outputs.reset();
    fresh.created = 0.1;
    EXPECT_EQ(*encodeJob(fresh),
              R"({"id":"0123456789abcdef0123456789abcdef","filename":"晴天 (Live).mp3",)"
              R"("mode":"four","format":"WAV","quality":"high","status":"running",)"
              R"("created":0.1,"message":"a\/b"})");
}

TEST(JobJson, RefusesTextThatIsNotUtf8OrTimeThatIsNotFinite)
{
    Job job = finishedJob();
    job.filename = "\xff\xfe.mp3";
    EXPECT_FALSE(encodeJob(job));
    job = finishedJob();
    job.created = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(encodeJob(job));
}

TEST(JobJson, DecodeThenEncodeGivesTheSameBytes)
{
    for (double created : {1733500000.25, 1733500000.0, 0.1, 1e-7, 1.7976931348623157e308}) {
        Job job = finishedJob();
        job.created = created;
        auto bytes = encodeJob(job);
        ASSERT_TRUE(bytes);
        auto decoded = decodeJob(*bytes);
        ASSERT_TRUE(decoded) << *bytes;
        EXPECT_EQ(*decoded, job);
        EXPECT_EQ(encodeJob(*decoded), bytes);
    }
}

// Found by fuzzing: "-0" reads back as the integer 0, so zero has one form.
TEST(JobJson, ExtremeTimesSurviveReadingAndSavingAgain)
{
    for (const char* created : {"-0", "-0.0", "1e300", "-1e300", "4.9e-324"}) {
        SCOPED_TRACE(created);
        const std::string stored = std::string(R"({"id":"a","filename":"s.mp3","mode":"vocal",)") +
                                   R"("format":"WAV","quality":"standard","status":"done",)" +
                                   R"("created":)" + created + R"(,"message":"m"})";
        auto job = decodeJob(stored);
        ASSERT_TRUE(job);
        auto encoded = encodeJob(*job);
        ASSERT_TRUE(encoded);
        auto again = decodeJob(*encoded);
        ASSERT_TRUE(again);
        EXPECT_EQ(encodeJob(*again), encoded);
    }
    EXPECT_NE(encodeJob(*decodeJob(R"({"id":"a","filename":"s","mode":"vocal","format":"WAV",)"
                                   R"("quality":"high","status":"done","created":-0.0,)"
                                   R"("message":""})"))
                  ->find(R"("created":0,)"),
              std::string::npos);
}

TEST(JobJson, ReadsLenientlyWhereTheFormatAllows)
{
    auto job = decodeJob(R"({"message":"m","status":"queued","mode":"karaoke","id":"x",)"
                         R"("filename":"f","format":"WAV","quality":"standard","created":17,)"
                         R"("elapsed":null,"outputs":null,"extra":{"nested":[1,2]}})");
    ASSERT_TRUE(job);
    EXPECT_EQ(job->status, "queued");
    EXPECT_EQ(job->mode, "karaoke");
    EXPECT_EQ(job->created, 17.0);
    EXPECT_FALSE(job->elapsed);
    EXPECT_FALSE(job->outputs);

    auto withoutOptionals =
        decodeJob(R"({"id":"x","filename":"f","mode":"vocal","format":"WAV",)"
                  R"("quality":"high","status":"done","created":1.5,"message":""})");
    ASSERT_TRUE(withoutOptionals);
    EXPECT_FALSE(withoutOptionals->elapsed);
    EXPECT_FALSE(withoutOptionals->outputs);
}

TEST(JobJson, RejectsBrokenRecordsWhole)
{
    const std::string head = R"({"id":"x","filename":"f","mode":"vocal","format":"WAV",)"
                             R"("quality":"high","status":"done","created":1.5)";
    const std::string good = head + R"(,"message":"m")";
    const std::string rejected[] = {
        "",
        "not json",
        "[]",
        good.substr(0, good.size() - 3), // truncated
        head + "}",                      // no message
        good + R"(,"elapsed":1.5})",     // elapsed not an integer
        good + R"(,"elapsed":"3"})",
        good + R"(,"outputs":{}})", // outputs not a list
        good + R"(,"outputs":[{"name":"a","size":"12","url":"u"}]})",
        good + R"(,"outputs":[{"name":"a","size":12.5,"url":"u"}]})",
        good + R"(,"outputs":[{"name":"a","size":9223372036854775808,"url":"u"}]})",
        good + R"(,"outputs":[{"name":"a","size":1}]})", // no url
        good + R"(,"outputs":[null]})",
        R"({"id":7,"filename":"f","mode":"vocal","format":"WAV","quality":"high",)"
        R"("status":"done","created":1.5,"message":"m"})",
        R"({"id":"x","filename":"f","mode":"vocal","format":"WAV","quality":"high",)"
        R"("status":"done","created":"1.5","message":"m"})",
        R"({"id":"x","filename":"f","mode":"vocal","format":"WAV","quality":"high",)"
        R"("status":null,"created":1.5,"message":"m"})",
        good + "} trailing",
    };
    ASSERT_TRUE(decodeJob(good + "}"));
    for (const std::string& bytes : rejected)
        EXPECT_FALSE(decodeJob(bytes)) << bytes;
}

// The record is read token by token; the rules stay those of reading the
// whole document: the last of a repeated key counts, unknown keys are
// skipped whatever they hold, and a wrong type anywhere it matters rejects.
TEST(JobJson, RepeatedAndUnknownKeysReadAsInTheWholeDocument)
{
    const std::string head = R"({"id":"x","filename":"f","mode":"vocal","format":"WAV",)"
                             R"("quality":"high","status":"done","created":1.5,"message":"m")";
    auto read = [&](const std::string& tail) { return decodeJob(head + tail + "}"); };

    auto repeated = read(R"(,"status":7,"status":"queued","elapsed":3,"elapsed":null)"
                         R"(,"outputs":[{"name":"a","size":1,"url":"u"}],"outputs":null)");
    ASSERT_TRUE(repeated);
    EXPECT_EQ(repeated->status, "queued");
    EXPECT_FALSE(repeated->elapsed);
    EXPECT_FALSE(repeated->outputs);
    EXPECT_FALSE(read(R"(,"status":"queued","status":{"a":"b"})")) << "the last one counts";
    EXPECT_FALSE(read(R"(,"outputs":[],"outputs":"none")"));

    auto skipped = read(R"(,"x":{"id":1,"outputs":[{"name":2}],"deep":[[{"created":"no"}]]})"
                        R"(,"outputs":[{"name":"a","extra":{"size":"no"},"size":2,"url":"u",)"
                        R"("name":"b"}],"y":[null,true,-1,1e300])");
    ASSERT_TRUE(skipped) << "nothing inside an unknown key is read";
    ASSERT_TRUE(skipped->outputs);
    ASSERT_EQ(skipped->outputs->size(), 1u);
    EXPECT_EQ((*skipped->outputs)[0].name, "b");
    EXPECT_EQ((*skipped->outputs)[0].size, 2);

    auto bigCreated = read(R"(,"created":18446744073709551616,"elapsed":-4)");
    ASSERT_TRUE(bigCreated) << "an integer past 64 bits is still a number";
    EXPECT_EQ(bigCreated->created, 18446744073709551616.0);
    EXPECT_EQ(bigCreated->elapsed, -4);

    const std::string rejected[] = {
        R"(,"outputs":[{"name":"a","size":1,"url":"u"},[]])",         // an element not an object
        R"(,"outputs":[{"name":{"x":1},"size":1,"url":"u"}])",        // a name that is an object
        R"(,"outputs":[{"name":"a","size":1,"url":"u","size":"2"}])", // its last size
        R"(,"elapsed":[])",
        R"(,"message":["m"])",
        R"(,"x":[1,2)",     // invalid inside an unknown key
        R"(,"x":"\ud800")", // a lone surrogate, even where unread
    };
    for (const std::string& tail : rejected)
        EXPECT_FALSE(read(tail)) << tail;
    EXPECT_FALSE(decodeJob(head + "}" + head + "}")) << "one object, then nothing";
    EXPECT_FALSE(decodeJob("\"x\""));
}

TEST(SeparationMode, RawValuesAreExact)
{
    std::vector<std::string_view> raws;
    for (SeparationMode mode : allSeparationModes)
        raws.push_back(rawValue(mode));
    EXPECT_EQ(raws, (std::vector<std::string_view>{"vocal", "four", "six"}));
    EXPECT_EQ(separationModeFromRaw("six"), SeparationMode::six);
    EXPECT_FALSE(separationModeFromRaw("Six"));
    EXPECT_FALSE(separationModeFromRaw(""));
}

TEST(Stem, LabelComesFromTheBracketedKeyInExactCase)
{
    const std::pair<const char*, const char*> cases[] = {
        {"/o/x_(Vocals).wav", "人声"},    {"/o/x_(Instrumental).flac", "伴奏"},
        {"/o/x_(Drums).mp3", "鼓"},       {"/o/x_(Bass).wav", "贝斯"},
        {"/o/x_(Guitar).wav", "吉他"},    {"/o/x_(Piano).wav", "钢琴"},
        {"/o/x_(Other).wav", "其他乐器"}, {"/o/x_(vocals).wav", "x_(vocals)"},
        {"/o/Vocals.wav", "Vocals"},      {"/o/song.v2.wav", "song.v2"},
    };
    for (auto [path, label] : cases)
        EXPECT_EQ(Stem{path}.name(), label) << path;
    EXPECT_EQ(Stem{"/o/a.wav"}, Stem{"/o/a.wav"});
    EXPECT_EQ(Stem{"/o/a.wav"}.id(), "/o/a.wav");
}

} // namespace
} // namespace tonfield
