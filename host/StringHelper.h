#pragma once
#include <string>
#include <vector>

namespace Vor {

// Small string utilities shared by every part of the library.
class StringHelper {
public:
    // Pieces between separators, in order; empty pieces are kept ("a,,b" gives "a", "", "b").
    static std::vector<std::string> split(const std::string& text, char separator);
    static bool startsWith(const std::string& text, const std::string& prefix);
    static bool endsWith(const std::string& text, const std::string& suffix);
    // printf-style formatting into a std::string. Throws std::runtime_error when the
    // formatted length is below one.
    static std::string formatC(const char* format, ...) __attribute__((format(printf, 1, 2)));
};

} // namespace Vor
