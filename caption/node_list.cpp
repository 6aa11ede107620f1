#include "caption/node_list.h"

#include <cstddef>
#include <cstdlib>
#include <new>

namespace sublumen {

namespace {
// The payload starts right after the node, aligned for any field a payload may hold.
constexpr size_t payloadOffset = (sizeof(ListNode) + alignof(std::max_align_t) - 1) / alignof(std::max_align_t)
    * alignof(std::max_align_t);
}

ListNode* nodeCreate(int32_t size)
{
    if (size < 0)
        return nullptr;
    void* memory = std::calloc(1, payloadOffset + static_cast<size_t>(size));
    if (!memory)
        return nullptr;
    ListNode* node = new (memory) ListNode {};
    node->dataSize = size;
    node->data = size > 0 ? static_cast<char*>(memory) + payloadOffset : nullptr;
    return node;
}

void nodeFree(ListNode* node)
{
    if (!node)
        return;
    node->prev = nullptr;
    node->next = nullptr;
    node->data = nullptr;
    std::free(node);
}

void listPushFront(ListNode** list, ListNode* node)
{
    node->prev = nullptr;
    node->next = *list;
    if (*list)
        (*list)->prev = node;
    *list = node;
}

void listInsertBefore(ListNode** list, ListNode* at, ListNode* node)
{
    if (!at) {
        listAppend(list, node);
        return;
    }
    node->prev = at->prev;
    node->next = at;
    if (at->prev)
        at->prev->next = node;
    else
        *list = node;
    at->prev = node;
}

void listAppend(ListNode** list, ListNode* node)
{
    node->prev = nullptr;
    node->next = nullptr;
    if (!*list) {
        *list = node;
        return;
    }
    ListNode* last = *list;
    while (last->next)
        last = last->next;
    last->next = node;
    node->prev = last;
}

void listUnlink(ListNode** list, ListNode* node)
{
    if (*list == node)
        *list = node->next;
    if (node->prev)
        node->prev->next = node->next;
    if (node->next)
        node->next->prev = node->prev;
}

void listClear(ListNode** list)
{
    while (ListNode* first = *list) {
        listUnlink(list, first);
        nodeFree(first);
    }
}

ListNode* listAppendNew(ListNode** list, int32_t size)
{
    ListNode* node = nodeCreate(size);
    if (node)
        listAppend(list, node);
    return node;
}

void* nodeData(const ListNode* node) { return node ? node->data : nullptr; }
ListNode* nodeNext(const ListNode* node) { return node ? node->next : nullptr; }
ListNode* nodePrev(const ListNode* node) { return node ? node->prev : nullptr; }

}
