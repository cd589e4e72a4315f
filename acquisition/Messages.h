#pragma once
#include <string>

namespace lng {
namespace Iec61850 {

// The extension's user-facing message for a key, in the language of lng::language()
// (0 English, any other value Russian). An unknown key is returned as it stands, from a copy
// that lives as long as the process, so the argument may be a temporary.
const char* get(const std::string& key);

} // namespace Iec61850
} // namespace lng
