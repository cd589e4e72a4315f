#pragma once
#include <libxml++/libxml++.h>

#include <string>
#include <type_traits>

namespace Vor {

class XmlHelper {
public:
    // The root element's first child element as XML text (empty when there is none).
    static std::string writeRootChildElementToString(xmlpp::Document& document);

    // Sets an attribute to the text of a value: numbers in decimal, bools as "true"/"false",
    // texts unchanged.
    template <typename T>
    static void set_attribute(xmlpp::Element* element, const std::string& name, const T& value) {
        element->set_attribute(name, toText(value));
    }

    static std::string toText(const std::string& v) { return v; }
    static std::string toText(const Glib::ustring& v) { return v; }
    static std::string toText(const char* v) { return v; }
    static std::string toText(bool v) { return v ? "true" : "false"; }
    // Shortest decimal text that reads back as the same double ("0.001", not "0.001000").
    static std::string floatingText(double v);
    template <typename T, typename = std::enable_if_t<std::is_arithmetic<T>::value>>
    static std::string toText(T v) {
        if constexpr (std::is_same<T, char>::value || std::is_same<T, signed char>::value ||
                      std::is_same<T, unsigned char>::value)
            return std::to_string(static_cast<int>(v));
        else if constexpr (std::is_floating_point<T>::value)
            return floatingText(static_cast<double>(v));
        else
            return std::to_string(v);
    }
};

} // namespace Vor
