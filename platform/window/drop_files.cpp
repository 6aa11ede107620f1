#include "platform/window/drop_files.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

struct DropObject {
    uint32_t windowId = 0;
    std::vector<std::string> files;
};

namespace {

// Every drop not yet finished, so that one whose message was never handled is still freed at exit.
std::vector<std::unique_ptr<DropObject>>& liveDrops()
{
    static std::vector<std::unique_ptr<DropObject>> drops;
    return drops;
}

// The drop being gathered between a begin and its end.
DropObject* gathering = nullptr;

bool isLive(HDROP drop)
{
    auto& drops = liveDrops();
    return drop && std::any_of(drops.begin(), drops.end(), [&](const auto& d) { return d.get() == drop; });
}

DropObject* newDrop(uint32_t windowId)
{
    auto& drops = liveDrops();
    drops.push_back(std::make_unique<DropObject>());
    drops.back()->windowId = windowId;
    return drops.back().get();
}

}

UINT DragQueryFileA(HDROP drop, UINT index, char* buffer, UINT size)
{
    if (!isLive(drop))
        return 0;
    if (index == 0xFFFFFFFF)
        return static_cast<UINT>(drop->files.size());
    if (index >= drop->files.size())
        return 0;
    const std::string& name = drop->files[index];
    if (buffer && size > 0) {
        const size_t n = std::min<size_t>(name.size(), size - 1);
        std::memcpy(buffer, name.data(), n);
        buffer[n] = '\0';
    }
    return static_cast<UINT>(name.size());
}

void DragFinish(HDROP drop)
{
    if (drop == gathering)
        gathering = nullptr;
    std::erase_if(liveDrops(), [&](const auto& d) { return d.get() == drop; });
}

namespace platform {

void beginDrop(uint32_t windowId)
{
    // A begin without its end leaves an unfinished drop behind; it is dropped, not delivered half.
    if (gathering)
        DragFinish(gathering);
    gathering = newDrop(windowId);
}

HDROP addDroppedFile(uint32_t windowId, const char* file)
{
    if (!file)
        return nullptr;
    if (gathering) {
        gathering->files.emplace_back(file);
        return nullptr;
    }
    DropObject* drop = newDrop(windowId);
    drop->files.emplace_back(file);
    return drop;
}

HDROP completeDrop(uint32_t)
{
    DropObject* drop = gathering;
    gathering = nullptr;
    if (drop && drop->files.empty()) {
        DragFinish(drop);
        return nullptr;
    }
    return drop;
}

uint32_t dropWindowId(HDROP drop)
{
    return isLive(drop) ? drop->windowId : 0;
}

}
