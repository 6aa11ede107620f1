#include "platform/authored_captions.h"

#include "platform/kernel.h"
#include "platform/resource_files.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

extern "C" {
#include <ass/ass.h>
}

namespace platform {

namespace {

template<auto Free> struct Deleter {
    template<typename T> void operator()(T* p) const { Free(p); }
};
using LibraryHandle = std::unique_ptr<ASS_Library, Deleter<ass_library_done>>;
using RendererHandle = std::unique_ptr<ASS_Renderer, Deleter<ass_renderer_done>>;
using TrackHandle = std::unique_ptr<ASS_Track, Deleter<ass_free_track>>;

// The renderer's own messages that reach the log (errors and warnings: a missing font, a broken
// override tag), and at most this many of them per track, so a hostile script cannot flood the log.
constexpr int loggedLevel = 2;
constexpr int loggedMessages = 40;

// A picture larger than this is not a frame the renderer is asked to fill.
constexpr int largestFrame = 8192;

// Events of a stream wait for the worker's next rendering, or are handed to the track once this many wait.
constexpr size_t heldEvents = 256;

// A rendering is flattened into premultiplied pixels only over the rows' runs of visible pixels; runs
// closer than this are joined, so a line of text is one run and two signs far apart are two.
constexpr int joinedGap = 24;

struct Event {
    int64_t start;
    int64_t duration;
    std::string line;
};

// One run of a rendering's pixels on one row, in frame coordinates, and where its pixels start.
struct Run {
    int x;
    int y;
    int length;
    size_t offset;
};

// The captions of one moment flattened: every layer libass gave composed in order into one picture of
// premultiplied colour with coverage (alpha << 24 | red << 16 | green << 8 | blue, each 0 to 255), kept
// only where something shows. Blending it onto a picture is then one pass over those pixels.
struct Rendering {
    int width = 0;
    int height = 0;
    int pictureWidth = 0;
    int pictureHeight = 0;
    std::vector<Run> runs;
    std::vector<uint32_t> pixels;

    bool sameFrame(const PictureFrame& f) const
    {
        return width == f.width && height == f.height && pictureWidth == f.pictureWidth && pictureHeight == f.pictureHeight;
    }
};

void logMessage(int level, const char* format, va_list args, void* data)
{
    if (level > loggedLevel)
        return;
    auto* count = static_cast<std::atomic<int>*>(data);
    int n = count->fetch_add(1);
    if (n > loggedMessages)
        return;
    if (n == loggedMessages) {
        platformLog("ass: further renderer messages of this track dropped\n");
        return;
    }
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    platformLog("ass: %s\n", text);
}

// x × a / 255, rounded, for x and a from 0 to 255.
inline uint32_t scale255(uint32_t x, uint32_t a)
{
    uint32_t v = x * a + 128;
    return (v + (v >> 8)) >> 8;
}

// The same in 16 bits, which the product and the rounding never leave (255 × 255 + 128 + 254 < 65536);
// the compiler then works on eight pixels at once.
inline uint16_t scale255(uint16_t x, uint16_t a)
{
    uint16_t v = static_cast<uint16_t>(x * a + 128);
    return static_cast<uint16_t>((v + (v >> 8)) >> 8);
}

// The composed picture of one rendering over its bounding box, one plane per channel: coverage and the
// premultiplied red, green and blue. The worker keeps one and reuses its memory from frame to frame.
struct Canvas {
    int left = 0, top = 0, width = 0, height = 0;
    std::vector<uint8_t> a, r, g, b;
};

// Composes n pixels of one layer (mask m in colour r, g, b at opacity) over the canvas row starting at
// index i. Without branches: a pixel the mask leaves out comes back unchanged, since x × 255 / 255
// rounds to x exactly.
__attribute__((target_clones("avx2", "default"))) void composeRow(Canvas& c, size_t i, const uint8_t* m, int n, uint16_t r, uint16_t g, uint16_t b, uint16_t opacity)
{
    uint8_t* __restrict pa = c.a.data() + i;
    uint8_t* __restrict pr = c.r.data() + i;
    uint8_t* __restrict pg = c.g.data() + i;
    uint8_t* __restrict pb = c.b.data() + i;
    for (int x = 0; x < n; ++x) {
        const uint16_t a = scale255(static_cast<uint16_t>(m[x]), opacity);
        const uint16_t keep = static_cast<uint16_t>(255 - a);
        pa[x] = static_cast<uint8_t>(scale255(static_cast<uint16_t>(pa[x]), keep) + a);
        pr[x] = static_cast<uint8_t>(scale255(static_cast<uint16_t>(pr[x]), keep) + scale255(r, a));
        pg[x] = static_cast<uint8_t>(scale255(static_cast<uint16_t>(pg[x]), keep) + scale255(g, a));
        pb[x] = static_cast<uint8_t>(scale255(static_cast<uint16_t>(pb[x]), keep) + scale255(b, a));
    }
}

// The first index from x on whose coverage is not 0, or n; eight pixels at a time over clear stretches.
int skipClear(const uint8_t* coverage, int x, int n)
{
    for (; x + 8 <= n; x += 8) {
        uint64_t eight;
        std::memcpy(&eight, coverage + x, sizeof eight);
        if (eight)
            break;
    }
    while (x < n && !coverage[x])
        ++x;
    return x;
}

// Composes libass's layers (each an alpha mask in one colour, in drawing order) over the frame, then keeps
// the runs of visible pixels. Layers are clipped to the frame; nothing outside it is touched.
std::shared_ptr<Rendering> flatten(const ASS_Image* images, const PictureFrame& frame, Canvas& c)
{
    auto made = std::make_shared<Rendering>();
    made->width = frame.width;
    made->height = frame.height;
    made->pictureWidth = frame.pictureWidth;
    made->pictureHeight = frame.pictureHeight;

    auto shown = [](const ASS_Image* i) { return i->w > 0 && i->h > 0 && i->bitmap && (i->color & 0xFF) != 0xFF; };
    int left = frame.width, top = frame.height, right = 0, bottom = 0;
    for (const ASS_Image* i = images; i; i = i->next) {
        if (!shown(i))
            continue;
        left = std::min(left, std::max(i->dst_x, 0));
        top = std::min(top, std::max(i->dst_y, 0));
        right = std::max(right, static_cast<int>(std::min<int64_t>(static_cast<int64_t>(i->dst_x) + i->w, frame.width)));
        bottom = std::max(bottom, static_cast<int>(std::min<int64_t>(static_cast<int64_t>(i->dst_y) + i->h, frame.height)));
    }
    if (left >= right || top >= bottom)
        return made;
    const size_t area = static_cast<size_t>(right - left) * static_cast<size_t>(bottom - top);
    c.left = left;
    c.top = top;
    c.width = right - left;
    c.height = bottom - top;
    for (std::vector<uint8_t>* plane : { &c.a, &c.r, &c.g, &c.b }) {
        plane->resize(std::max(plane->size(), area));
        std::fill_n(plane->begin(), area, uint8_t(0));
    }
    made->pixels.reserve(area / 2);
    for (const ASS_Image* i = images; i; i = i->next) {
        if (!shown(i))
            continue;
        const int x0 = std::max(i->dst_x, left);
        const int x1 = static_cast<int>(std::min<int64_t>(static_cast<int64_t>(i->dst_x) + i->w, right));
        const int y0 = std::max(i->dst_y, top);
        const int y1 = static_cast<int>(std::min<int64_t>(static_cast<int64_t>(i->dst_y) + i->h, bottom));
        for (int y = y0; y < y1; ++y)
            composeRow(c, static_cast<size_t>(y - top) * c.width + (x0 - left),
                i->bitmap + static_cast<ptrdiff_t>(y - i->dst_y) * i->stride + (x0 - i->dst_x), x1 - x0,
                static_cast<uint16_t>(i->color >> 24), static_cast<uint16_t>((i->color >> 16) & 0xFF),
                static_cast<uint16_t>((i->color >> 8) & 0xFF), static_cast<uint16_t>(255 - (i->color & 0xFF)));
    }
    for (int y = 0; y < c.height; ++y) {
        const size_t rowStart = static_cast<size_t>(y) * c.width;
        const uint8_t* coverage = c.a.data() + rowStart;
        const int w = c.width;
        int x = skipClear(coverage, 0, w);
        while (x < w) {
            // The run goes on over gaps shorter than joinedGap.
            int end = x;
            for (;;) {
                while (end < w && coverage[end])
                    ++end;
                const int next = skipClear(coverage, end, w);
                if (next >= w || next - end >= joinedGap)
                    break;
                end = next;
            }
            made->runs.push_back({ left + x, top + y, end - x, made->pixels.size() });
            const size_t at = made->pixels.size();
            made->pixels.resize(at + static_cast<size_t>(end - x));
            uint32_t* out = made->pixels.data() + at;
            const size_t p = rowStart + static_cast<size_t>(x);
            for (int k = 0; k < end - x; ++k)
                out[k] = static_cast<uint32_t>(c.a[p + k]) << 24 | static_cast<uint32_t>(c.r[p + k]) << 16
                    | static_cast<uint32_t>(c.g[p + k]) << 8 | c.b[p + k];
            x = skipClear(coverage, end, w);
        }
    }
    return made;
}

// dst = dst × (255 - alpha) / 255 + colour, for n premultiplied pixels; written without branches so that
// the compiler can work on several pixels at once.
__attribute__((target_clones("avx2", "default"))) void blendRun(uint32_t* dst, const uint32_t* src, int n)
{
    for (int i = 0; i < n; ++i) {
        const uint32_t s = src[i];
        const uint32_t d = dst[i];
        const uint32_t keep = 255 - (s >> 24);
        const uint32_t r = scale255((d >> 16) & 0xFF, keep) + ((s >> 16) & 0xFF);
        const uint32_t g = scale255((d >> 8) & 0xFF, keep) + ((s >> 8) & 0xFF);
        const uint32_t b = scale255(d & 0xFF, keep) + (s & 0xFF);
        dst[i] = (d & 0xFF000000u) | (std::min(r, 255u) << 16) | (std::min(g, 255u) << 8) | std::min(b, 255u);
    }
}

void blendRun565(uint16_t* dst, const uint32_t* src, int n)
{
    for (int i = 0; i < n; ++i) {
        const uint32_t s = src[i];
        if (!(s >> 24))
            continue;
        const uint32_t keep = 255 - (s >> 24);
        const uint32_t d = dst[i];
        const uint32_t r = scale255(((d >> 11) & 0x1F) * 255 / 31, keep) + ((s >> 16) & 0xFF);
        const uint32_t g = scale255(((d >> 5) & 0x3F) * 255 / 63, keep) + ((s >> 8) & 0xFF);
        const uint32_t b = scale255((d & 0x1F) * 255 / 31, keep) + (s & 0xFF);
        dst[i] = static_cast<uint16_t>(packPixel(PixelFormat::RGB565, static_cast<int>(std::min(r, 255u)),
            static_cast<int>(std::min(g, 255u)), static_cast<int>(std::min(b, 255u))));
    }
}

void blendRendering(PixelView target, const Rendering& shown, int64_t left, int64_t top)
{
    for (const Run& run : shown.runs) {
        const int64_t y = top + run.y;
        if (y < 0 || y >= target.height)
            continue;
        const int64_t x0 = std::max<int64_t>(left + run.x, 0);
        const int64_t x1 = std::min<int64_t>(left + run.x + run.length, target.width);
        if (x0 >= x1)
            continue;
        const uint32_t* src = shown.pixels.data() + run.offset + (x0 - left - run.x);
        uint8_t* row = target.row(static_cast<int>(y));
        if (target.format == PixelFormat::XRGB8888)
            blendRun(reinterpret_cast<uint32_t*>(row) + x0, src, static_cast<int>(x1 - x0));
        else
            blendRun565(reinterpret_cast<uint16_t*>(row) + x0, src, static_cast<int>(x1 - x0));
    }
}

}

struct AuthoredCaptions::State {
    std::atomic<int> messages {0};
    LibraryHandle library;
    TrackHandle track;
    // Made by the worker at its first rendering, since looking the fonts up takes a while.
    RendererHandle renderer;
    bool rendererFailed = false;
    Canvas canvas;

    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable rendered;
    // Under mutex: the events not yet handed to the track, the newest rendering wanted, the last one made.
    std::vector<Event> pending;
    bool wanted = false;
    PictureFrame wantedFrame;
    int64_t wantedTime = 0;
    uint64_t wantedSerial = 0;
    bool busy = false;
    bool quit = false;
    std::shared_ptr<const Rendering> last;
    uint64_t lastSerial = 0;
    std::chrono::milliseconds budget = defaultRenderBudget;
    std::thread worker;

    ~State()
    {
        if (worker.joinable()) {
            {
                std::lock_guard lock(mutex);
                quit = true;
            }
            wake.notify_all();
            worker.join();
        }
    }

    void start() { worker = std::thread([this] { run(); }); }

    void run()
    {
        std::shared_ptr<const Rendering> previous;
        for (;;) {
            std::unique_lock lock(mutex);
            wake.wait(lock, [&] { return quit || wanted || pending.size() >= heldEvents; });
            if (quit)
                return;
            if (!wanted) {
                // Captions shown in our style are never rendered; their events still go to the track
                // rather than pile up here.
                std::vector<Event> events;
                events.swap(pending);
                lock.unlock();
                for (Event& e : events)
                    ass_process_chunk(track.get(), e.line.data(), static_cast<int>(e.line.size()), e.start, e.duration);
                continue;
            }
            wanted = false;
            busy = true;
            const PictureFrame want = wantedFrame;
            const int64_t time = wantedTime;
            const uint64_t serial = wantedSerial;
            std::vector<Event> events;
            events.swap(pending);
            lock.unlock();

            for (Event& e : events)
                ass_process_chunk(track.get(), e.line.data(), static_cast<int>(e.line.size()), e.start, e.duration);
            std::shared_ptr<const Rendering> made = render(want, time, previous);
            previous = made;

            lock.lock();
            last = std::move(made);
            lastSerial = serial;
            busy = false;
            lock.unlock();
            rendered.notify_all();
        }
    }

    // The rendering at time over want; previous itself when nothing changed since it was made.
    std::shared_ptr<const Rendering> render(const PictureFrame& want, int64_t time,
        const std::shared_ptr<const Rendering>& previous)
    {
        if (!renderer) {
            if (rendererFailed)
                return nullptr;
            renderer.reset(ass_renderer_init(library.get()));
            if (!renderer) {
                rendererFailed = true;
                platformLog("ass: the renderer cannot start; captions as authored are not shown\n");
                return nullptr;
            }
            const std::string config = resourceFile("fonts.conf");
            ass_set_fonts(renderer.get(), nullptr, "sans-serif", ASS_FONTPROVIDER_AUTODETECT,
                config.empty() ? nullptr : config.c_str(), 1);
        }
        const bool resized = !previous || !previous->sameFrame(want);
        if (resized) {
            ass_set_frame_size(renderer.get(), want.width, want.height);
            ass_set_storage_size(renderer.get(), want.pictureWidth, want.pictureHeight);
        }
        int changed = 0;
        ASS_Image* image = ass_render_frame(renderer.get(), track.get(), time, &changed);
        if (!resized && changed == 0)
            return previous;

        return flatten(image, want, canvas);
    }
};

AuthoredCaptions::AuthoredCaptions(std::unique_ptr<State> state)
    : state_(std::move(state))
{
    state_->start();
}

AuthoredCaptions::~AuthoredCaptions() = default;

namespace {

std::unique_ptr<AuthoredCaptions::State> newState()
{
    auto state = std::make_unique<AuthoredCaptions::State>();
    state->library.reset(ass_library_init());
    if (!state->library) {
        platformLog("ass: the library cannot start; captions as authored are not shown\n");
        return nullptr;
    }
    ass_set_message_cb(state->library.get(), logMessage, &state->messages);
    // Fonts embedded in a script's [Fonts] section are used like attached ones.
    ass_set_extract_fonts(state->library.get(), 1);
    return state;
}

}

std::unique_ptr<AuthoredCaptions> AuthoredCaptions::fromScript(std::string_view utf8)
{
    std::unique_ptr<State> state = newState();
    if (!state)
        return nullptr;
    std::string text(utf8);
    state->track.reset(ass_read_memory(state->library.get(), text.data(), text.size(), nullptr));
    if (!state->track) {
        platformLog("ass: no script found in the caption file; it is shown in our style only\n");
        return nullptr;
    }
    return std::unique_ptr<AuthoredCaptions>(new AuthoredCaptions(std::move(state)));
}

std::unique_ptr<AuthoredCaptions> AuthoredCaptions::fromStream(const AuthoredStyle& style)
{
    std::unique_ptr<State> state = newState();
    if (!state)
        return nullptr;
    size_t fontBytes = 0;
    for (const CaptionFont& font : style.fonts) {
        if (font.data.empty() || font.data.size() > maximumFontBytes || fontBytes + font.data.size() > maximumFontsBytes) {
            platformLog("ass: attached font \"%s\" of %zu bytes not used\n", font.name.c_str(), font.data.size());
            continue;
        }
        fontBytes += font.data.size();
        ass_add_font(state->library.get(), font.name.c_str(), font.data.data(), static_cast<int>(font.data.size()));
    }
    state->track.reset(ass_new_track(state->library.get()));
    if (!state->track) {
        platformLog("ass: no track could be made; captions as authored are not shown\n");
        return nullptr;
    }
    std::string header = style.header;
    if (!header.empty())
        ass_process_codec_private(state->track.get(), header.data(), static_cast<int>(header.size()));
    return std::unique_ptr<AuthoredCaptions>(new AuthoredCaptions(std::move(state)));
}

void AuthoredCaptions::addEvent(int64_t start, int64_t duration, std::string_view line)
{
    std::lock_guard lock(state_->mutex);
    state_->pending.push_back({ start, duration, std::string(line) });
    if (state_->pending.size() >= heldEvents)
        state_->wake.notify_one();
}

void AuthoredCaptions::setRenderBudget(std::chrono::milliseconds budget)
{
    std::lock_guard lock(state_->mutex);
    state_->budget = budget;
}

void AuthoredCaptions::blend(PixelView target, const PictureFrame& frame, int64_t time)
{
    if (frame.width <= 0 || frame.height <= 0 || frame.width > largestFrame || frame.height > largestFrame
        || frame.pictureWidth <= 0 || frame.pictureHeight <= 0)
        return;
    State& s = *state_;
    std::shared_ptr<const Rendering> shown;
    {
        std::unique_lock lock(s.mutex);
        const bool waitFor = !s.busy;
        s.wanted = true;
        s.wantedFrame = frame;
        s.wantedTime = time;
        const uint64_t serial = ++s.wantedSerial;
        s.wake.notify_one();
        // While the worker is still on an earlier rendering, the last one is shown without waiting.
        if (waitFor)
            s.rendered.wait_for(lock, s.budget, [&] { return s.lastSerial >= serial; });
        shown = s.last;
    }
    if (!shown || !shown->sameFrame(frame))
        return;
    blendRendering(target, *shown, frame.left, frame.top);
}

}
