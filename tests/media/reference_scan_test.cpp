// Shift+F5's reading of a movie: the caption times a Matroska or MP4 movie's index gives place the
// captions exactly where the movie read whole places them; a file whose index cannot be trusted is read
// whole. The movies are muxed with the ffmpeg program.
#include "caption/sync_alignment.h"
#include "platform/mmstream/movie_scan.h"
#include "support/run_ffmpeg.h"
#include "support/test_files.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace sublumen;

namespace {

// 60 captions at uneven times over four minutes, in SubRip; late moves them all.
std::string subRip(uint32_t late)
{
    std::string text;
    uint32_t at = 1500;
    for (int i = 0; i < 60; ++i) {
        const uint32_t start = at + late;
        const uint32_t end = start + 900 + (i * 577) % 2400;
        char cue[128];
        std::snprintf(cue, sizeof cue, "%d\n%02u:%02u:%02u,%03u --> %02u:%02u:%02u,%03u\nline %d\n\n", i + 1,
            start / 3600000, start / 60000 % 60, start / 1000 % 60, start % 1000, end / 3600000, end / 60000 % 60,
            end / 1000 % 60, end % 1000, i);
        text += cue;
        at = end - late + 400 + (i * i * 331) % 3100;
    }
    return text;
}

struct Placed {
    platform::MovieScanResult scan;
    Alignment alignment;
};

// Shift+F5 on the movie: stream 2 synced to stream 1.
Placed placed(const std::string& movie, bool timesOnly)
{
    platform::MovieScanRequest request;
    request.path = movie;
    request.captionStreams = { 1, 2 };
    request.captionTimesOnly = timesOnly;
    std::atomic<bool> cancelled { false };
    Placed p { platform::scanMovie(request, cancelled), {} };
    std::vector<CaptionSpan> spans[3];
    for (const platform::CaptionText& c : p.scan.captions)
        spans[c.stream].push_back(
            { static_cast<uint32_t>(c.start.count() / 10000), static_cast<uint32_t>(c.end.count() / 10000) });
    p.alignment = alignCaptions(activityOfSpans(spans[1]), spans[2]);
    return p;
}

std::vector<int64_t> startsOf(const platform::MovieScanResult& scan)
{
    std::vector<int64_t> starts;
    for (const platform::CaptionText& c : scan.captions)
        starts.push_back(c.stream * 1'000'000'000'000LL + c.start.count());
    std::sort(starts.begin(), starts.end());
    return starts;
}

}

TEST(ReferenceScan, TheIndexPlacesTheCaptionsAsTheWholeMovieDoesAndADamagedOneIsNotTrusted)
{
    testing_support::ScratchDir dir;
    const std::string reference = dir.write("reference.srt", subRip(0));
    const std::string late = dir.write("late.srt", subRip(2700));
    for (const char* container : { "mkv", "mp4" }) {
        SCOPED_TRACE(container);
        const std::string movie = dir.file(std::string("movie.") + container);
        ASSERT_TRUE(testing_support::runFfmpeg({ "-f", "lavfi", "-i", "color=c=gray:s=32x32:r=2:d=240", "-i", reference,
            "-i", late, "-map", "0", "-map", "1", "-map", "2", "-c:v", "mpeg4", "-c:s",
            container == std::string("mkv") ? "srt" : "mov_text", movie }));
        const Placed whole = placed(movie, false);
        const Placed indexed = placed(movie, true);
        EXPECT_FALSE(whole.scan.fromIndex);
        ASSERT_TRUE(indexed.scan.fromIndex);
        EXPECT_EQ(startsOf(indexed.scan), startsOf(whole.scan));
        ASSERT_EQ(whole.alignment.verdict, AlignmentVerdict::Fitted);
        EXPECT_EQ(whole.alignment.shift, 2700);
        ASSERT_EQ(indexed.alignment.verdict, AlignmentVerdict::Fitted);
        EXPECT_EQ(indexed.alignment.shift, whole.alignment.shift);
        EXPECT_EQ(indexed.alignment.rate, whole.alignment.rate);

        // Cut short, the file's index lists captions it no longer holds, or is gone: it is read whole.
        std::filesystem::resize_file(movie, std::filesystem::file_size(movie) * 2 / 3);
        const Placed cut = placed(movie, true);
        EXPECT_FALSE(cut.scan.fromIndex);
        EXPECT_LT(cut.scan.captions.size(), whole.scan.captions.size());
    }
}
