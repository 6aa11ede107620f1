// The doubly linked node list that holds both the caption track and the movie list. A list is the
// address of its first-node pointer; none (nullptr) is the empty list.
#pragma once

#include <cstdint>

namespace sublumen {

struct ListNode {
    ListNode* prev;
    ListNode* next;
    int32_t dataSize;
    void* data;  // The zero-filled payload that follows the node in the same allocation; none when empty.
};

// One allocation holding the node and a zero-filled payload of size bytes; none without memory.
ListNode* nodeCreate(int32_t size);
void nodeFree(ListNode* node);
void listPushFront(ListNode** list, ListNode* node);
void listInsertBefore(ListNode** list, ListNode* at, ListNode* node);
void listAppend(ListNode** list, ListNode* node);
// Takes node out of the list; node's own links are left as they were.
void listUnlink(ListNode** list, ListNode* node);
void listClear(ListNode** list);
ListNode* listAppendNew(ListNode** list, int32_t size);
void* nodeData(const ListNode* node);
ListNode* nodeNext(const ListNode* node);
ListNode* nodePrev(const ListNode* node);

}
