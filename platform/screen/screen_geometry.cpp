#include "platform/screen/screen_geometry.h"

#include <algorithm>

namespace platform {

Area viewportOf(const ScreenGeometry& g)
{
    if (!g.exclusive || g.screenWidth <= 0 || g.screenHeight <= 0)
        return Area { 0, 0, g.physicalWidth, g.physicalHeight };
    long w = g.physicalWidth;
    long h = static_cast<long>(g.physicalWidth) * g.screenHeight / g.screenWidth;
    if (h > g.physicalHeight) {
        h = g.physicalHeight;
        w = static_cast<long>(g.physicalHeight) * g.screenWidth / g.screenHeight;
    }
    return Area { static_cast<int>((g.physicalWidth - w) / 2), static_cast<int>((g.physicalHeight - h) / 2),
        static_cast<int>(w), static_cast<int>(h) };
}

POINT clientFromPhysical(const ScreenGeometry& g, int x, int y)
{
    if (!g.mapped())
        return POINT { x, y };
    const Area view = viewportOf(g);
    const long w = g.clientWidth(), h = g.clientHeight();
    if (view.w <= 0 || view.h <= 0 || w <= 0 || h <= 0)
        return POINT { 0, 0 };
    const long cx = static_cast<long>(x - view.x) * w / view.w;
    const long cy = static_cast<long>(y - view.y) * h / view.h;
    return POINT { static_cast<LONG>(std::clamp<long>(cx, 0, w - 1)), static_cast<LONG>(std::clamp<long>(cy, 0, h - 1)) };
}

POINT clientFromMouse(const ScreenGeometry& g, int x, int y)
{
    auto pixels = [&](int n) { return static_cast<int>(n * g.density); };
    return clientFromPhysical(g, pixels(x), pixels(y));
}

Area physicalFromClient(const ScreenGeometry& g, const RECT& r)
{
    const long w = g.clientWidth(), h = g.clientHeight();
    if (!g.mapped() || w <= 0 || h <= 0)
        return Area { r.left, r.top, r.right - r.left, r.bottom - r.top };
    const Area view = viewportOf(g);
    auto mapX = [&](long x) { return static_cast<int>(view.x + x * view.w / w); };
    auto mapY = [&](long y) { return static_cast<int>(view.y + y * view.h / h); };
    const int x0 = mapX(r.left), x1 = mapX(r.right), y0 = mapY(r.top), y1 = mapY(r.bottom);
    return Area { x0, y0, x1 - x0, y1 - y0 };
}

bool clipToClient(int sourceWidth, int sourceHeight, RECT& src, RECT& dst, int clientWidth, int clientHeight)
{
    if (src.right - src.left <= 0 || src.bottom - src.top <= 0 || dst.right - dst.left <= 0
        || dst.bottom - dst.top <= 0)
        return false;
    if (src.left < 0 || src.top < 0 || src.right > sourceWidth || src.bottom > sourceHeight)
        return false;
    auto cut = [](LONG& dLow, LONG& dHigh, LONG& sLow, LONG& sHigh, int limit) {
        const double scale = static_cast<double>(sHigh - sLow) / (dHigh - dLow);
        if (dLow < 0) {
            sLow += static_cast<LONG>(-dLow * scale);
            dLow = 0;
        }
        if (dHigh > limit) {
            sHigh -= static_cast<LONG>((dHigh - limit) * scale);
            dHigh = limit;
        }
    };
    cut(dst.left, dst.right, src.left, src.right, clientWidth);
    cut(dst.top, dst.bottom, src.top, src.bottom, clientHeight);
    return dst.right > dst.left && dst.bottom > dst.top && src.right > src.left && src.bottom > src.top;
}

}
