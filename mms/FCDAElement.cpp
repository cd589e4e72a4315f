#include "mms/FCDAElement.h"

#include "host/XmlHelper.h"
#include "mms/MmsPathHelper.h"

#include <libxml++/libxml++.h>

#include <algorithm>

namespace VorIec61850 {

namespace {

const char* const kElementName = "FCDA";

// Codes outside the table (only reachable through casts) read as NONE.
bool isDefinite(tFCEnum fc) {
    const int code = static_cast<int>(fc);
    return code >= 0 && code < static_cast<int>(tFCEnum::NONE);
}

std::string fcText(tFCEnum fc) {
    return isDefinite(fc) ? tFCEnum_STRING[static_cast<int>(fc)] : "NONE";
}

} // namespace

FCDAElement::FCDAElement(const std::string& path, tFCEnum fc, tMmsTypeEnum dataType, FCDAElement* parent)
    : _path(path), _fc(fc), _dataType(dataType), _parent(parent) {}

FCDAElement::~FCDAElement() = default;

void FCDAElement::addChild(std::unique_ptr<FCDAElement> child) {
    if (!child)
        return;
    child->_parent = this;
    _children.push_back(std::move(child));
}

void FCDAElement::insertChild(std::size_t index, std::unique_ptr<FCDAElement> child) {
    if (!child)
        return;
    child->_parent = this;
    const std::size_t position = std::min(index, _children.size());
    _children.insert(_children.begin() + static_cast<std::ptrdiff_t>(position), std::move(child));
}

bool FCDAElement::removeChild(FCDAElement* child) {
    auto it = std::find_if(_children.begin(), _children.end(),
                           [child](const std::unique_ptr<FCDAElement>& c) { return c.get() == child; });
    if (child == nullptr || it == _children.end())
        return false;
    _children.erase(it);
    return true;
}

std::unique_ptr<FCDAElement> FCDAElement::clone() const {
    auto copy = std::make_unique<FCDAElement>(_path, _fc, _dataType, nullptr);
    for (const auto& child : _children)
        copy->addChild(child->clone());
    return copy;
}

std::string FCDAElement::getFullPath() const {
    std::string fullPath = _path;
    for (const FCDAElement* ancestor = _parent; ancestor; ancestor = ancestor->_parent)
        if (!ancestor->_path.empty())
            fullPath = ancestor->_path + "." + fullPath;
    return fullPath;
}

std::string FCDAElement::getFullPathWithFC() const {
    if (!isDefinite(_fc))
        return getFullPath();
    return getFullPath() + "[" + fcText(_fc) + "]";
}

const FCDAElement* FCDAElement::findElement(const std::string& path) const {
    const std::string base = MmsPathHelper::getPathWithoutFC(path);
    const tFCEnum fc = MmsPathHelper::getPathFC(path);
    for (const auto& child : _children) {
        if (child->_fc != fc && child->_fc != tFCEnum::NONE)
            continue;
        const std::string& childPath = child->_path;
        if (childPath == base) {
            if (child->_fc == fc)
                return child.get();
            continue;
        }
        if (base.size() > childPath.size() && base.compare(0, childPath.size(), childPath) == 0 &&
            base[childPath.size()] == '.')
            return child->findElement(path.substr(childPath.size() + 1));
    }
    return nullptr;
}

FCDAElement* FCDAElement::findElement(const std::string& path) {
    return const_cast<FCDAElement*>(static_cast<const FCDAElement*>(this)->findElement(path));
}

xmlpp::Element* FCDAElement::serialize(xmlpp::Element* parent) const {
    if (!parent)
        return nullptr;
    xmlpp::Element* element = parent->add_child(kElementName);
    element->set_attribute("path", _path);
    if (isDefinite(_fc))
        element->set_attribute("fc", fcText(_fc));
    element->set_attribute("dataType", toString(_dataType));
    for (const auto& child : _children)
        child->serialize(element);
    return element;
}

std::string FCDAElement::serializeToString() const {
    xmlpp::Document document("1.0");
    xmlpp::Element* root = document.create_root_node("root");
    serialize(root);
    return Vor::XmlHelper::writeRootChildElementToString(document);
}

std::unique_ptr<FCDAElement> FCDAElement::deserialize(const xmlpp::Element* element) {
    if (!element || element->get_name() != kElementName)
        return nullptr;
    const std::string path = element->get_attribute_value("path");
    const std::string fc = element->get_attribute_value("fc");
    const std::string dataType = element->get_attribute_value("dataType");
    auto result = std::make_unique<FCDAElement>(path, fc.empty() ? tFCEnum::NONE : fcFromString(fc),
                                                mmsTypeFromString(dataType), nullptr);
    for (const xmlpp::Node* node : element->get_children(kElementName)) {
        auto child = deserialize(dynamic_cast<const xmlpp::Element*>(node));
        if (child)
            result->addChild(std::move(child));
    }
    return result;
}

std::unique_ptr<FCDAElement> FCDAElement::deserialize(const std::string& text) {
    if (text.empty())
        return std::make_unique<FCDAElement>();
    xmlpp::DomParser parser;
    parser.parse_memory(text);
    const xmlpp::Document* document = parser.get_document();
    if (!document)
        return nullptr;
    return deserialize(document->get_root_node());
}

} // namespace VorIec61850
