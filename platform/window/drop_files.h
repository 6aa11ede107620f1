// Files dropped on a window, handed to its procedure as WM_DROPFILES with the drop in the first
// parameter; the procedure reads the names with DragQueryFileA and lets the drop go with DragFinish.
#pragma once

#include "platform/win32.h"

#include <cstdint>

struct DropObject;
using HDROP = DropObject*;

constexpr UINT WM_DROPFILES = 0x0233;

// With index 0xFFFFFFFF the number of files; otherwise copies the index-th name into buffer (size
// bytes, always terminated, when buffer is given) and returns the name's full length, 0 for a bad index.
UINT DragQueryFileA(HDROP drop, UINT index, char* buffer, UINT size);
// Frees the drop; its names are gone afterwards.
void DragFinish(HDROP drop);

namespace platform {

// Gathering a drop as the window layer receives it: one begin, a name per file, one end. A name that
// arrives without a begin is a drop of its own. Each answers the drop to post when one is complete.
void beginDrop(uint32_t windowId);
HDROP addDroppedFile(uint32_t windowId, const char* file);
HDROP completeDrop(uint32_t windowId);
// The window a complete drop was made on (its SDL id).
uint32_t dropWindowId(HDROP drop);

}
