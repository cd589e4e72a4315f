// Singly linked list with a dummy head element.
#include "linked_list.h"

#include <cstdio>
#include <cstdlib>

namespace {

LinkedList newElement(void* data) {
    // malloc and two stores: lists of names are built by the thousand while browsing.
    auto* element = static_cast<LinkedList>(std::malloc(sizeof(struct sLinkedList)));
    if (element) {
        element->next = nullptr;
        element->data = data;
    }
    return element;
}

template <typename F> void destroyWith(LinkedList self, F onData) {
    LinkedList element = self;
    while (element) {
        LinkedList next = element->next;
        if (element != self && element->data)
            onData(element->data);
        std::free(element);
        element = next;
    }
}

} // namespace

extern "C" {

LinkedList LinkedList_create(void) try { return newElement(nullptr); } catch (...) {
    return nullptr;
}

void LinkedList_destroy(LinkedList self) try {
    destroyWith(self, [](void* data) { std::free(data); });
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void LinkedList_destroyDeep(LinkedList self, LinkedListValueDeleteFunction valueDeleteFunction) try {
    destroyWith(self, [valueDeleteFunction](void* data) {
        if (valueDeleteFunction)
            valueDeleteFunction(data);
    });
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void LinkedList_destroyStatic(LinkedList self) try {
    destroyWith(self, [](void*) {});
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

void LinkedList_add(LinkedList self, void* data) try {
    if (!self)
        return;
    LinkedList_insertAfter(LinkedList_getLastElement(self), data);
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

bool LinkedList_contains(LinkedList self, void* data) try {
    for (LinkedList e = LinkedList_getNext(self); e; e = e->next)
        if (e->data == data)
            return true;
    return false;
} catch (...) {
    return false;
}

bool LinkedList_remove(LinkedList self, void* data) try {
    if (!self)
        return false;
    for (LinkedList previous = self; previous->next; previous = previous->next) {
        LinkedList element = previous->next;
        if (element->data == data) {
            previous->next = element->next;
            std::free(element);
            return true;
        }
    }
    return false;
} catch (...) {
    return false;
}

LinkedList LinkedList_get(LinkedList self, int index) try {
    if (index < 0)
        return nullptr;
    LinkedList element = LinkedList_getNext(self);
    while (element && index > 0) {
        element = element->next;
        --index;
    }
    return element;
} catch (...) {
    return nullptr;
}

LinkedList LinkedList_getNext(LinkedList self) try { return self ? self->next : nullptr; } catch (...) {
    return nullptr;
}

LinkedList LinkedList_getLastElement(LinkedList self) try {
    if (!self)
        return nullptr;
    while (self->next)
        self = self->next;
    return self;
} catch (...) {
    return nullptr;
}

LinkedList LinkedList_insertAfter(LinkedList listElement, void* data) try {
    if (!listElement)
        return nullptr;
    LinkedList element = newElement(data);
    if (!element)
        return nullptr;
    element->next = listElement->next;
    listElement->next = element;
    return element;
} catch (...) {
    return nullptr;
}

int LinkedList_size(LinkedList self) {
    int size = 0;
    for (LinkedList e = LinkedList_getNext(self); e; e = e->next)
        ++size;
    return size;
}

void* LinkedList_getData(LinkedList self) try { return self ? self->data : nullptr; } catch (...) {
    return nullptr;
}

void LinkedList_printStringList(LinkedList self) try {
    for (LinkedList e = LinkedList_getNext(self); e; e = e->next)
        std::printf("%s\n", e->data ? static_cast<const char*>(e->data) : "");
} catch (...) {
    // an exception ends the call here instead of crossing into C
}

} // extern "C"
