#include "host/tree/TreeLanguage.h"

#include "host/Language.h"

#include <cstring>

namespace lng {
namespace Tree {

namespace {
struct Entry {
    const char* key;
    const char* english;
    const char* russian;
};

const Entry kEntries[] = {
    {"error.ReadOnly", "The collection is read-only", "Коллекция доступна только для чтения"},
    {"error.NullItem", "An empty item cannot be added", "Нельзя добавить пустой элемент"},
    {"error.HasParent", "The node already belongs to another node", "Узел уже принадлежит другому узлу"},
    {"error.WrongType", "The node cannot contain an item of this type",
     "Узел не может содержать элемент этого типа"},
    {"error.IndexOutOfRange", "The index is out of range", "Индекс вне допустимого диапазона"},
};
} // namespace

const char* get(const std::string& key) {
    for (const Entry& e : kEntries) {
        if (key == e.key) {
            return lng::language() == 0 ? e.english : e.russian;
        }
    }
    return key.c_str();
}

} // namespace Tree
} // namespace lng
