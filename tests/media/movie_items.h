// The items of a movie list as plain values, for comparing whole lists in one expectation.
#pragma once

#include "media/movie_list.h"

#include <ostream>
#include <string>
#include <vector>

struct Item {
    std::string title, movie, caption;
    int32_t timeshift = 0;
    bool operator==(const Item&) const = default;
};

inline void PrintTo(const Item& item, std::ostream* out)
{
    *out << "{" << item.title << "|" << item.movie << "|" << item.caption << "|" << item.timeshift << "}";
}

inline std::vector<Item> itemsOf(const sublumen::MovieList& list)
{
    std::vector<Item> items;
    for (sublumen::ListNode* node = list.items; node; node = node->next) {
        auto* item = static_cast<sublumen::MovieItem*>(node->data);
        items.push_back({ item->title, item->movie, item->caption, item->timeshift });
    }
    return items;
}
