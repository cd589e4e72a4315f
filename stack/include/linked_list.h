/*
 * Singly linked list with a dummy head element.
 *
 * The list handle is the head element; it never carries data. Elements after it hold the
 * stored pointers in insertion order. Iterate with
 *
 *     LinkedList e = LinkedList_getNext(list);
 *     while (e) { use(LinkedList_getData(e)); e = LinkedList_getNext(e); }
 */
#ifndef LINKED_LIST_H_
#define LINKED_LIST_H_

#include "libiec61850_common_api.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct sLinkedList* LinkedList;

struct sLinkedList {
    void* data;
    struct sLinkedList* next;
};

typedef void (*LinkedListValueDeleteFunction)(void*);

/* A new empty list (just the head element). */
LIB61850_API LinkedList LinkedList_create(void);

/* Frees the list and every element's data with free(). */
LIB61850_API void LinkedList_destroy(LinkedList self);

/* Frees the list and calls valueDeleteFunction on every element's data. */
LIB61850_API void LinkedList_destroyDeep(LinkedList self, LinkedListValueDeleteFunction valueDeleteFunction);

/* Frees the list elements only; the data stays untouched. */
LIB61850_API void LinkedList_destroyStatic(LinkedList self);

/* Appends data at the end of the list. */
LIB61850_API void LinkedList_add(LinkedList self, void* data);

/* true when an element holds exactly this pointer. */
LIB61850_API bool LinkedList_contains(LinkedList self, void* data);

/* Removes the first element holding this pointer (the data is not freed); false when none does. */
LIB61850_API bool LinkedList_remove(LinkedList self, void* data);

/* The element at position index (0 is the first element after the head), or NULL. */
LIB61850_API LinkedList LinkedList_get(LinkedList self, int index);

/* The element after this one, or NULL. */
LIB61850_API LinkedList LinkedList_getNext(LinkedList self);

/* The last element (the head itself when the list is empty). */
LIB61850_API LinkedList LinkedList_getLastElement(LinkedList self);

/* Inserts a new element holding data right after listElement and returns it. */
LIB61850_API LinkedList LinkedList_insertAfter(LinkedList listElement, void* data);

/* Number of data elements (the head is not counted). */
LIB61850_API int LinkedList_size(LinkedList self);

/* The data of an element (NULL for the head or a NULL element). */
LIB61850_API void* LinkedList_getData(LinkedList self);

/* Prints every element's data as a zero-terminated text, one per line, to stdout. */
LIB61850_API void LinkedList_printStringList(LinkedList self);

#ifdef __cplusplus
}
#endif

#endif /* LINKED_LIST_H_ */
