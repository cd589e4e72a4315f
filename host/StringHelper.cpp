#include "host/StringHelper.h"

#include <cstdarg>
#include <cstdio>
#include <stdexcept>

namespace Vor {

std::vector<std::string> StringHelper::split(const std::string& text, char separator) {
    std::vector<std::string> pieces;
    std::string::size_type start = 0;
    for (;;) {
        auto pos = text.find(separator, start);
        if (pos == std::string::npos) {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, pos - start));
        start = pos + 1;
    }
}

bool StringHelper::startsWith(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

bool StringHelper::endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string StringHelper::formatC(const char* format, ...) {
    static const char* const kError = "Vor::StringHelper::format - Error during formatting.";
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length < 1) {
        va_end(args);
        std::printf("%s", kError);
        throw std::runtime_error(kError);
    }
    std::string result(static_cast<size_t>(length) + 1, '\0');
    std::vsnprintf(&result[0], result.size(), format, args);
    va_end(args);
    result.resize(static_cast<size_t>(length));
    return result;
}

} // namespace Vor
