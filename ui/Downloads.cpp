#include "ui/Downloads.h"

namespace iecx::ui {

std::string Downloads::add(const std::string& path, const std::string& name, const std::string& contentType) {
    std::lock_guard<std::mutex> lock(_mutex);
    const std::string id = std::to_string(_next++);
    _files[id] = File{path, name, contentType};
    return id;
}

bool Downloads::find(const std::string& id, File& file) const {
    std::lock_guard<std::mutex> lock(_mutex);
    auto it = _files.find(id);
    if (it == _files.end())
        return false;
    file = it->second;
    return true;
}

} // namespace iecx::ui
