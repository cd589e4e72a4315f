#pragma once
#include <string>

namespace VorTree {

// A display text of the tree. The text is kept as given; the host translates it when it shows
// it. Our own stand-in has no translation tables, so toString() returns the text unchanged.
class LocalString {
public:
    LocalString() = default;
    LocalString(const char* text) : _text(text ? text : "") {}
    LocalString(std::string text) : _text(std::move(text)) {}

    static const LocalString& Empty();

    const std::string& getKey() const { return _text; }
    const std::string& toString() const { return _text; }
    bool empty() const { return _text.empty(); }

    bool operator==(const LocalString& other) const { return _text == other._text; }
    bool operator!=(const LocalString& other) const { return _text != other._text; }

private:
    std::string _text;
};

} // namespace VorTree
