#include "host/XmlHelper.h"

#include <charconv>

namespace Vor {

std::string XmlHelper::floatingText(double v) {
    // Shortest text that reads back as the same value; plain decimal unless the exponent form
    // is shorter ("1000", "0.001", "1e+20").
    char buf[64];
    const auto result = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, result.ptr);
}

std::string XmlHelper::writeRootChildElementToString(xmlpp::Document& document) {
    xmlpp::Element* root = document.get_root_node();
    if (root == nullptr)
        return {};
    for (xmlpp::Node* child : root->get_children()) {
        if (auto* element = dynamic_cast<xmlpp::Element*>(child)) {
            xmlpp::Document copy;
            copy.create_root_node_by_import(element);
            std::string text = copy.write_to_string();
            // Drop the XML declaration: callers want the element alone.
            if (text.compare(0, 5, "<?xml") == 0) {
                auto end = text.find("?>");
                text = text.substr(end + 2);
                while (!text.empty() && (text.front() == '\n' || text.front() == '\r'))
                    text.erase(text.begin());
            }
            while (!text.empty() && text.back() == '\n')
                text.pop_back();
            return text;
        }
    }
    return {};
}

} // namespace Vor
