#include "sim/Model.h"

#include "host/StringHelper.h"

#include "mms_type_spec.h"

#include <cstdlib>
#include <cstring>

namespace iecx::sim {

// ---- nodes ----

ModelNode::ModelNode(Kind kind_, std::string name_) : kind(kind_), name(std::move(name_)) {}

ModelNode::~ModelNode() {
    if (value) {
        MmsValue_delete(value);
        MmsVariableSpecification_destroy(typeDesc); // value holders own their whole type description
    } else if (typeDesc) {
        // Structure shell: the elements belong to the children.
        free(typeDesc->name);
        if (typeDesc->type == MMS_STRUCTURE)
            free(typeDesc->typeSpec.structure.elements);
        free(typeDesc);
    }
}

ModelNode* ModelNode::child(const std::string& childName) const {
    for (const auto& c : children)
        if (c->name == childName)
            return c.get();
    return nullptr;
}

ModelNode* ModelNode::addChild(std::unique_ptr<ModelNode> node) {
    node->parent = this;
    children.push_back(std::move(node));
    return children.back().get();
}

const ModelNode* ModelNode::logicalNode() const {
    const ModelNode* n = this;
    while (n->parent)
        n = n->parent;
    return n;
}

Domain* ModelNode::owningDomain() const {
    return logicalNode()->domain;
}

std::string ModelNode::itemId() const {
    if (!parent)
        return name;
    return parent->itemId() + "$" + name;
}

std::string ModelNode::objectReference() const {
    std::string ref;
    for (const ModelNode* n = this; n; n = n->parent) {
        if (n->kind == Kind::FcGroup)
            continue;
        if (!n->parent) {
            Domain* d = n->domain;
            ref = (d ? d->name : std::string()) + "/" + n->name + (ref.empty() ? "" : "." + ref);
        } else {
            ref = ref.empty() ? n->name : n->name + "." + ref;
        }
    }
    return ref;
}

void ModelNode::collectLeaves(std::vector<ModelNode*>& out) {
    if (isValueHolder()) {
        out.push_back(this);
        return;
    }
    for (auto& c : children)
        c->collectLeaves(out);
}

void ModelNode::finishDesc() {
    if (isValueHolder()) {
        if (typeDesc && !typeDesc->name)
            typeDesc->name = strdup(name.c_str());
        return;
    }
    for (auto& c : children)
        c->finishDesc();
    typeDesc = static_cast<MmsVariableSpecification*>(calloc(1, sizeof(MmsVariableSpecification)));
    typeDesc->type = MMS_STRUCTURE;
    typeDesc->name = strdup(name.c_str());
    int n = static_cast<int>(children.size());
    typeDesc->typeSpec.structure.elementCount = n;
    typeDesc->typeSpec.structure.elements =
        static_cast<MmsVariableSpecification**>(calloc(n > 0 ? n : 1, sizeof(MmsVariableSpecification*)));
    for (int i = 0; i < n; ++i)
        typeDesc->typeSpec.structure.elements[i] = children[i]->typeDesc;
}

// ---- data sets, control blocks, domains ----

std::string DataSet::mmsReference() const {
    return (domain ? domain->name : std::string()) + "/" + itemId;
}

std::string GooseControlDef::reference() const {
    return node ? node->owningDomain()->name + "/" + node->itemId() : std::string();
}

ModelNode* Domain::logicalNode(const std::string& lnName) const {
    for (const auto& ln : logicalNodes)
        if (ln->name == lnName)
            return ln.get();
    return nullptr;
}

DataSet* Domain::dataSet(const std::string& itemId) const {
    for (const auto& ds : dataSets)
        if (ds->itemId == itemId)
            return ds.get();
    return nullptr;
}

namespace {
void listNames(const ModelNode* node, const std::string& prefix, std::vector<std::string>& out) {
    std::string name = prefix.empty() ? node->name : prefix + "$" + node->name;
    out.push_back(name);
    if (node->isValueHolder())
        return;
    for (const auto& c : node->children)
        listNames(c.get(), name, out);
}
} // namespace

std::vector<std::string> Domain::variableNames() const {
    std::vector<std::string> names;
    for (const auto& ln : logicalNodes)
        listNames(ln.get(), "", names);
    return names;
}

std::vector<std::string> Domain::dataSetNames() const {
    std::vector<std::string> names;
    for (const auto& ds : dataSets)
        names.push_back(ds->itemId);
    return names;
}

// ---- model ----

Model::Model() = default;
Model::~Model() = default;

Domain* Model::domain(const std::string& name) const {
    for (const auto& d : _domains)
        if (d->name == name)
            return d.get();
    return nullptr;
}

ModelNode* Model::find(const std::string& domainName, const std::string& itemId) const {
    Domain* d = domain(domainName);
    if (!d || itemId.empty())
        return nullptr;
    std::vector<std::string> parts = Vor::StringHelper::split(itemId, '$');
    ModelNode* node = d->logicalNode(parts[0]);
    for (size_t i = 1; node && i < parts.size(); ++i)
        node = node->child(parts[i]);
    return node;
}

ModelNode* Model::findMember(const std::string& domainName, const std::string& itemId,
                             const std::string& index, stack::mms::AccessPath& steps) const {
    steps.clear();
    Domain* d = domain(domainName);
    if (!d || itemId.empty())
        return nullptr;
    std::vector<std::string> parts = Vor::StringHelper::split(itemId, '$');
    ModelNode* node = d->logicalNode(parts[0]);
    size_t i = 1;
    for (; node && i < parts.size() && !(node->typeDesc && node->typeDesc->type == MMS_ARRAY); ++i)
        node = node->child(parts[i]);
    if (!node || !node->typeDesc || node->typeDesc->type != MMS_ARRAY)
        return i == parts.size() ? node : nullptr;
    if (index.empty())
        return i == parts.size() ? node : nullptr; // a whole array, or nothing below it
    char* end = nullptr;
    unsigned long n = std::strtoul(index.c_str(), &end, 10);
    if (*end != '\0' || n >= static_cast<unsigned long>(node->typeDesc->typeSpec.array.elementCount))
        return nullptr;
    steps.push_back(stack::mms::AccessStep::element(static_cast<uint32_t>(n)));
    for (; i < parts.size(); ++i)
        steps.push_back(stack::mms::AccessStep::named(parts[i]));
    if (!stack::mms::selectType(node->typeDesc, steps))
        return nullptr;
    return node;
}

ModelNode* Model::findReference(const std::string& reference, stack::mms::AccessPath* steps) const {
    if (steps)
        steps->clear();
    if (reference.find('(') != std::string::npos) {
        // An array element: the FC, if any, follows the steps ("LD/LN.DO.DA(2).mag[MX]").
        std::string text = reference, fcPart, base;
        size_t bracket = text.rfind('[');
        if (bracket != std::string::npos) {
            fcPart = text.substr(bracket);
            text.erase(bracket);
        }
        stack::mms::AccessPath path;
        if (!steps || !stack::mms::splitArrayPath(text, base, path))
            return nullptr;
        ModelNode* node = findReference(base + fcPart);
        if (!node || !stack::mms::selectType(node->typeDesc, path))
            return nullptr;
        *steps = std::move(path);
        return node;
    }
    std::string ref = reference;
    std::string fc;
    size_t bracket = ref.find('[');
    if (bracket != std::string::npos) {
        size_t close = ref.find(']', bracket);
        fc = ref.substr(bracket + 1, close == std::string::npos ? std::string::npos : close - bracket - 1);
        ref = ref.substr(0, bracket);
    }
    size_t slash = ref.find('/');
    if (slash == std::string::npos)
        return nullptr;
    std::string ld = ref.substr(0, slash);
    Domain* d = domain(ld);
    if (!d)
        d = domain(_iedName + ld);
    if (!d)
        return nullptr;
    std::string rest = ref.substr(slash + 1);
    for (char& c : rest)
        if (c == '.')
            c = '$';
    std::vector<std::string> parts = Vor::StringHelper::split(rest, '$');
    ModelNode* ln = d->logicalNode(parts[0]);
    if (!ln)
        return nullptr;
    auto descend = [&](ModelNode* start, size_t from) {
        ModelNode* n = start;
        for (size_t i = from; n && i < parts.size(); ++i)
            n = n->child(parts[i]);
        return n;
    };
    if (parts.size() == 1)
        return ln;
    // MMS form with the FC inside the path.
    if (ModelNode* group = ln->child(parts[1]);
        group && group->kind == ModelNode::Kind::FcGroup && (fc.empty() || fc == parts[1]))
        return descend(group, 2);
    for (auto& group : ln->children) {
        if (!fc.empty() && group->name != fc)
            continue;
        if (ModelNode* n = descend(group.get(), 1))
            return n;
    }
    return nullptr;
}

MmsValue* Model::readLocked(const ModelNode* node, const stack::mms::AccessPath& steps) const {
    MmsValue* whole = readLocked(node);
    if (steps.empty() || !whole)
        return whole;
    MmsDataAccessError error;
    const MmsValue* part = stack::mms::selectPart(whole, node->typeDesc, steps, error);
    MmsValue* result = part ? MmsValue_clone(part) : nullptr;
    MmsValue_delete(whole);
    return result;
}

bool Model::setValue(ModelNode* node, const stack::mms::AccessPath& steps, const MmsValue* value) {
    if (steps.empty())
        return setValue(node, value);
    if (!node || !node->isValueHolder() || !value)
        return false;
    std::vector<ValueChange> changes;
    bool ok = false;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        MmsValue* whole = MmsValue_clone(node->value);
        MmsDataAccessError error;
        MmsValue* part = stack::mms::selectPart(whole, node->typeDesc, steps, error);
        ok = part && MmsValue_equalTypes(part, value) && MmsValue_update(part, value) &&
             setValueLocked(node, whole, changes);
        MmsValue_delete(whole);
    }
    notify(changes);
    return ok;
}

MmsValue* Model::read(const ModelNode* node) const {
    std::lock_guard<std::mutex> lock(_mutex);
    return readLocked(node);
}

MmsValue* Model::readLocked(const ModelNode* node) const {
    if (!node)
        return nullptr;
    if (node->isValueHolder())
        return MmsValue_clone(node->value);
    MmsValue* s = MmsValue_createEmptyStructure(static_cast<int>(node->children.size()));
    for (size_t i = 0; i < node->children.size(); ++i)
        MmsValue_setElement(s, static_cast<int>(i), readLocked(node->children[i].get()));
    return s;
}

bool Model::setValue(ModelNode* node, const MmsValue* value) {
    std::vector<ValueChange> changes;
    bool ok;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        ok = setValueLocked(node, value, changes);
    }
    notify(changes);
    return ok;
}

bool Model::setValueLocked(ModelNode* node, const MmsValue* value, std::vector<ValueChange>& changes) {
    if (!node || !value)
        return false;
    if (node->isValueHolder()) {
        MmsType have = MmsValue_getType(node->value);
        if (have != MmsValue_getType(value))
            return false;
        if ((have == MMS_ARRAY || have == MMS_STRUCTURE) && !MmsValue_equalTypes(node->value, value))
            return false;
        bool same = MmsValue_equals(node->value, value);
        if (!same && !MmsValue_update(node->value, value))
            return false;
        uint8_t reason = same ? (node->triggers & kTrgDupd) : (node->triggers & (kTrgDchg | kTrgQchg));
        if (reason)
            changes.push_back({node, reason});
        return true;
    }
    if (MmsValue_getType(value) != MMS_STRUCTURE ||
        MmsValue_getArraySize(value) != static_cast<uint32_t>(node->children.size()))
        return false;
    bool ok = true;
    for (size_t i = 0; i < node->children.size(); ++i) {
        MmsValue* element = MmsValue_getElement(value, static_cast<int>(i));
        ok = setValueLocked(node->children[i].get(), element, changes) && ok;
    }
    return ok;
}

void Model::notify(const std::vector<ValueChange>& changes) {
    if (changes.empty())
        return;
    std::vector<ChangeListener> listeners;
    {
        std::lock_guard<std::mutex> lock(_listenerMutex);
        listeners = _listeners;
    }
    for (auto& l : listeners)
        l(changes);
}

void Model::addChangeListener(ChangeListener listener) {
    std::lock_guard<std::mutex> lock(_listenerMutex);
    _listeners.push_back(std::move(listener));
}

size_t Model::attributeCount() const {
    size_t count = 0;
    for (const auto& d : _domains)
        for (const auto& ln : d->logicalNodes) {
            std::vector<ModelNode*> leaves;
            ln->collectLeaves(leaves);
            count += leaves.size();
        }
    return count;
}

} // namespace iecx::sim
