#include "host/tree/TreeLanguage.h"

#include "host/Language.h"

namespace lng {
namespace Tree {

namespace {
const Text kEntries[] = {
    {"error.ReadOnly", "The collection is read-only", "Коллекция доступна только для чтения"},
    {"error.NullItem", "An empty item cannot be added", "Нельзя добавить пустой элемент"},
    {"error.HasParent", "The node already belongs to another node", "Узел уже принадлежит другому узлу"},
    {"error.WrongType", "The node cannot contain an item of this type",
     "Узел не может содержать элемент этого типа"},
    {"error.IndexOutOfRange", "The index is out of range", "Индекс вне допустимого диапазона"},
};
} // namespace

const char* get(const std::string& key) {
    return lookup(kEntries, key);
}

} // namespace Tree
} // namespace lng
