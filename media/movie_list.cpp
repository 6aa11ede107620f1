#include "media/movie_list.h"

#include "app/debug_log.h"
#include "app/path_text.h"

#include <cstring>
#include <string_view>

namespace sublumen {

std::string shownTitle(const MovieItem& item)
{
    return platform::textToUtf8(
        std::string_view(item.title, strnlen(item.title, sizeof item.title)), item.titleEncoding);
}

int MovieList::addItem(
    const char* title, const char* movie, const char* caption, int32_t timeshift, platform::TextEncoding titleEncoding)
{
    ListNode* node = nodeCreate(static_cast<int32_t>(sizeof(MovieItem)));
    cursor = node;
    if (!node)
        return -1;
    if (!items || !last || last->next) {
        listAppend(&items, node);
    } else {
        node->prev = last;
        last->next = node;
    }
    last = node;
    auto* item = static_cast<MovieItem*>(node->data);
    boundedCopy(item->title, title, sizeof item->title);
    boundedCopy(item->movie, movie, sizeof item->movie);
    boundedCopy(item->caption, caption, sizeof item->caption);
    item->timeshift = timeshift;
    item->titleEncoding = titleEncoding;
    debugLog("MovieItem : %s/%s/%s/%d\n", item->title, item->movie, item->caption, item->timeshift);
    return 0;
}

int MovieList::rewind()
{
    cursor = items;
    return 0;
}

MovieItem* MovieList::cursorItem() const
{
    return static_cast<MovieItem*>(nodeData(cursor));
}

MovieItem* MovieList::stepForward()
{
    cursor = nodeNext(cursor);
    return cursorItem();
}

MovieItem* MovieList::stepBack()
{
    cursor = nodePrev(cursor);
    return cursorItem();
}

int MovieList::clearList()
{
    listClear(&items);
    cursor = nullptr;
    last = nullptr;
    return 0;
}

MovieItem* MovieList::stepToLast()
{
    if (items && (!last || last->next)) {
        last = items;
        while (last->next)
            last = last->next;
    }
    cursor = items ? last : nullptr;
    return cursorItem();
}

}
