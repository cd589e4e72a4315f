#pragma once
#include "host/NonCopyable.h"
#include "scl/SclTypes.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace xmlpp {
class Element;
}

namespace VorIec61850 {

// A node of a data set structure: a path segment (or a whole element path), its functional
// constraint and MMS data type, and its owned children. Held in memory and exchanged as XML:
//   <FCDA path="LD0/LLN0.Mod" fc="ST" dataType="STRUCTURE"><FCDA path="stVal" .../></FCDA>
class FCDAElement : Vor::NonCopyable {
public:
    using Children = std::vector<std::unique_ptr<FCDAElement>>;

    FCDAElement() = default;
    FCDAElement(const std::string& path, tFCEnum fc, tMmsTypeEnum dataType, FCDAElement* parent);
    ~FCDAElement();

    const std::string& getPath() const { return _path; }
    void setPath(const std::string& path) { _path = path; }
    tFCEnum getFC() const { return _fc; }
    void setFC(tFCEnum fc) { _fc = fc; }
    tMmsTypeEnum getDataType() const { return _dataType; }
    void setDataType(tMmsTypeEnum type) { _dataType = type; }
    FCDAElement* getParent() const { return _parent; }
    const Children& getChildren() const { return _children; }
    bool getIsSelected() const { return _isSelected; }
    void setIsSelected(bool isSelected) { _isSelected = isSelected; }

    // Takes the child over and makes this element its parent.
    void addChild(std::unique_ptr<FCDAElement> child);
    // Inserts before position index; an index at or past the end appends.
    void insertChild(std::size_t index, std::unique_ptr<FCDAElement> child);
    // Destroys the child and its subtree; false when it is not a child of this element.
    bool removeChild(FCDAElement* child);

    // A deep copy of this element and its subtree (without parent, not selected).
    std::unique_ptr<FCDAElement> clone() const;

    // The paths of the ancestors and of this element joined by '.', empty paths skipped.
    std::string getFullPath() const;
    // getFullPath() followed by "[FC]" unless the FC is NONE.
    std::string getFullPathWithFC() const;

    // The descendant named by a path relative to this element (with optional "[FC]"), or null.
    const FCDAElement* findElement(const std::string& path) const;
    FCDAElement* findElement(const std::string& path);

    // Appends this element as an "FCDA" child of parent, with all children; returns it.
    xmlpp::Element* serialize(xmlpp::Element* parent) const;
    // The XML text of this element and its subtree.
    std::string serializeToString() const;

    // The tree of an "FCDA" element; null for a null element or another element name.
    static std::unique_ptr<FCDAElement> deserialize(const xmlpp::Element* element);
    // The tree of an XML text: an empty text gives a default element, a text without document
    // gives null. Malformed XML raises the XML library's parse exception.
    static std::unique_ptr<FCDAElement> deserialize(const std::string& text);

private:
    std::string _path;
    tFCEnum _fc = tFCEnum::NONE;
    tMmsTypeEnum _dataType = tMmsTypeEnum::BOOLEAN;
    FCDAElement* _parent = nullptr;
    Children _children;
    bool _isSelected = false;
};

} // namespace VorIec61850
