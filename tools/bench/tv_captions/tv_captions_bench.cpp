// tv_captions_bench [RECORDING]: what reading and decoding TV closed captions costs while a recording
// plays: the video packets of the recording are read once into memory, then for each (in the order read,
// as the video decoder thread meets them) the caption data is found (findCcData), put in presentation
// order and decoded by the CEA-708 and CEA-608 decoders with every service and channel selected, and
// the captions taken. Prints the thread CPU time of that work per second of movie, as a share of one
// core (the median of five passes), and what was found. Without RECORDING it makes one: 60 s of
// 1920x1080 H.264 at 30 pictures/s with Korean, English and CEA-608 captions every 3 s.
#include "movie_fixture.h"
#include "platform/closed_captions/cc_data.h"
#include "platform/mmstream/tv_captions.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

double threadSeconds()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct Packet {
    std::vector<uint8_t> bytes;
    std::optional<platform::MediaTime> start;
    platform::MediaTime length {0};
};

}

int main(int argc, char** argv)
{
    std::string path = argc > 1 ? argv[1] : "";
    std::filesystem::path made;
    if (path.empty()) {
        made = std::filesystem::temp_directory_path() / "sublumen-tv-captions-bench.ts";
        fixtures::MovieRecipe recipe;
        recipe.kind = fixtures::MovieKind::H264Mp2Ts;
        recipe.width = 1920;
        recipe.height = 1080;
        recipe.framesPerSecond = 30;
        recipe.frameCount = 60 * 30;
        recipe.keyFrameInterval = 30;
        recipe.withAudio = false;
        using fixtures::TvCaption;
        for (uint32_t t = 500; t + 3000 <= 60000; t += 3000) {
            recipe.tvCaptions.push_back({TvCaption::Kind::Cea708, 1, t, t + 2500, "안녕하세요, 시청자 여러분\n오늘의 뉴스입니다"});
            recipe.tvCaptions.push_back({TvCaption::Kind::Cea708, 2, t, t + 2500, "Good evening, viewers\nHere is the news"});
            recipe.tvCaptions.push_back({TvCaption::Kind::Cea608, 1, t, t + 2500, "GOOD EVENING"});
        }
        std::fprintf(stderr, "tv_captions_bench: making %s\n", made.c_str());
        std::string error = fixtures::writeMovie(made.string(), recipe);
        if (!error.empty()) {
            std::fprintf(stderr, "tv_captions_bench: %s\n", error.c_str());
            return 1;
        }
        path = made.string();
    }

    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0 || avformat_find_stream_info(format, nullptr) < 0) {
        std::fprintf(stderr, "tv_captions_bench: cannot read %s\n", path.c_str());
        return 1;
    }
    const int video = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const std::optional<platform::VideoCoding> coding
        = video >= 0 ? platform::captionCodingOf(format->streams[video]->codecpar->codec_id) : std::nullopt;
    if (!coding) {
        std::fprintf(stderr, "tv_captions_bench: %s has no MPEG-2, H.264 or HEVC video\n", path.c_str());
        return 1;
    }
    const AVRational base = format->streams[video]->time_base;
    std::vector<Packet> packets;
    AVPacket* packet = av_packet_alloc();
    int64_t first = AV_NOPTS_VALUE, last = AV_NOPTS_VALUE;
    size_t bytes = 0;
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == video) {
            Packet p;
            p.bytes.assign(packet->data, packet->data + packet->size);
            if (packet->pts != AV_NOPTS_VALUE) {
                p.start = platform::MediaTime(av_rescale_q(packet->pts, base, {1, 10'000'000}));
                first = first == AV_NOPTS_VALUE ? packet->pts : std::min(first, packet->pts);
                last = last == AV_NOPTS_VALUE ? packet->pts : std::max(last, packet->pts);
            }
            p.length = platform::MediaTime(av_rescale_q(std::max<int64_t>(packet->duration, 0), base, {1, 10'000'000}));
            bytes += p.bytes.size();
            packets.push_back(std::move(p));
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    avformat_close_input(&format);
    const double movieSeconds = first == AV_NOPTS_VALUE ? 0 : av_q2d(base) * static_cast<double>(last - first);
    if (movieSeconds <= 0) {
        std::fprintf(stderr, "tv_captions_bench: no timed video packets\n");
        return 1;
    }

    std::vector<int> everything;
    for (int s = 1; s <= 63; ++s)
        everything.push_back(platform::cea708StreamBase + s);
    for (int c = 1; c <= 4; ++c)
        everything.push_back(platform::cea608StreamBase + c);
    std::vector<double> passes;
    size_t captions = 0, streams = 0, triplets = 0;
    for (int pass = 0; pass < 5; ++pass) {
        platform::TvCaptions tv;
        std::vector<platform::CaptionText> texts;
        size_t found = 0;
        const double t0 = threadSeconds();
        for (const Packet& p : packets) {
            std::vector<uint8_t> data;
            platform::findCcData(*coding, p.bytes, data);
            found += data.size() / 3;
            tv.codedPicture(std::move(data), p.start, p.length, 2);
            tv.take(texts, everything);
        }
        tv.flushCoded();
        tv.breakOff();
        tv.take(texts, everything);
        passes.push_back(threadSeconds() - t0);
        captions = texts.size();
        streams = tv.streams().size();
        triplets = found;
    }
    std::sort(passes.begin(), passes.end());
    const double cpu = passes[passes.size() / 2];
    std::printf("recording: %s, %.1f s of movie, %zu video packets, %.1f MB\n", path.c_str(), movieSeconds, packets.size(),
        static_cast<double>(bytes) / 1e6);
    std::printf("caption data: %zu triplets, %zu streams found, %zu captions told\n", triplets, streams, captions);
    std::printf("TV captions read and decoded: %.2f ms of CPU per second of movie = %.3f %% of one core "
                "(median of 5 passes; fastest %.2f, slowest %.2f ms/s)\n",
        1000 * cpu / movieSeconds, 100 * cpu / movieSeconds, 1000 * passes.front() / movieSeconds,
        1000 * passes.back() / movieSeconds);
    if (!made.empty())
        std::filesystem::remove(made);
    return 0;
}
