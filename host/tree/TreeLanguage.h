#pragma once
#include <string>

namespace lng {
namespace Tree {

// The tree framework's own texts (refusal messages of collections) in the language of
// lng::language(): 0 English, any other value Russian. An unknown key is returned as it stands,
// from a copy that lives as long as the process.
const char* get(const std::string& key);

} // namespace Tree
} // namespace lng
