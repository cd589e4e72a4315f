#pragma once
#include <cstddef>
#include <string>

namespace lng {

// The user interface language: 0 English, 1 Russian.
int language();
// Chooses the language (the host sets it at start; tests switch it).
void setLanguage(int language);

// One user-facing text in both languages.
struct Text {
    const char* key;
    const char* english;
    const char* russian;
};

// A process-wide copy of key that is never freed (keys are program constants, so few).
const char* unknownKey(const std::string& key);

// The text of key from table in the current language. An unknown key is returned as it stands,
// from a copy that lives as long as the process, so the argument may be a temporary.
template <std::size_t N> const char* lookup(const Text (&table)[N], const std::string& key) {
    for (const Text& text : table)
        if (key == text.key)
            return language() == 0 ? text.english : text.russian;
    return unknownKey(key);
}

} // namespace lng
