#include "host/XmlHelper.h"

namespace Vor {

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
