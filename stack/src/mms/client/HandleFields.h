#pragma once
// Field access behind the client's C handles (report and GOOSE control blocks, reports): a null
// handle reads as the field type's empty value (false, 0, null) and ignores a write; a null text
// is stored as an empty one. A text store ends a failed allocation here instead of letting it
// cross into C.
#include <string>

namespace stack::mms {

template <class T> struct FieldValue { using type = T; };

template <class Object, class T> T fieldOf(const Object* self, T Object::*field) {
    return self != nullptr ? self->*field : T();
}

template <class Object, class T>
void setField(Object* self, T Object::*field, typename FieldValue<T>::type value) {
    if (self != nullptr)
        self->*field = value;
}

template <class Object> const char* textOf(const Object* self, std::string Object::*field) {
    return self != nullptr ? (self->*field).c_str() : nullptr;
}

template <class Object> void setText(Object* self, std::string Object::*field, const char* text) noexcept {
    try {
        if (self != nullptr)
            self->*field = text != nullptr ? text : "";
    } catch (...) {
        // the text stays as it was
    }
}

} // namespace stack::mms
