// IecModelExplorer: object path tokens, expansion of data set members into FunctionalConDA
// trees, and the functional constraint conversion.
#include "mms/IecModelExplorer.h"

#include "linked_list.h"

#include <algorithm>
#include <cstddef>
#include <memory>

namespace VorIec61850 {

namespace {

// Deepest attribute nesting followed below a data set member. Real models nest a handful of
// levels; the bound only keeps a server that keeps inventing children from recursing forever:
// at this depth the attribute is taken as a leaf.
constexpr int kMaxExpansionDepth = 32;

// Appends a new FunctionalConDA to the node's children and returns it. A refusal of the
// collection is thrown as std::logic_error and the new node is not kept.
FunctionalConDA& addChild(VorTree::Node& parent) {
    auto child = std::make_unique<FunctionalConDA>();
    FunctionalConDA& added = *child;
    parent.getChildren().add(child.get());
    child.release(); // owned by the parent's collection from now on
    return added;
}

} // namespace

tFCEnum IecModelExplorer::_functionalConToEnum(FunctionalConstraint fc) {
    // The client numbers its constraints ST, MX, SP, SV, CF, DC, ...; tFCEnum has its own order
    // (ST, MX, CO, SP, ...), so the values are matched by name, never by number.
    switch (fc) {
    case IEC61850_FC_MX:
        return tFCEnum::MX;
    case IEC61850_FC_SP:
        return tFCEnum::SP;
    case IEC61850_FC_SV:
        return tFCEnum::SV;
    case IEC61850_FC_CF:
        return tFCEnum::CF;
    case IEC61850_FC_DC:
        return tFCEnum::DC;
    case IEC61850_FC_SG:
        return tFCEnum::SG;
    case IEC61850_FC_SE:
        return tFCEnum::SE;
    case IEC61850_FC_SR:
        return tFCEnum::SR;
    case IEC61850_FC_OR:
        return tFCEnum::OR;
    case IEC61850_FC_BL:
        return tFCEnum::BL;
    case IEC61850_FC_EX:
        return tFCEnum::EX;
    case IEC61850_FC_CO:
        return tFCEnum::CO;
    default:
        return tFCEnum::ST;
    }
}

IecModelExplorer::TokenList IecModelExplorer::parseObjectPath(const std::string& path) {
    TokenList tokens;
    if (path.empty())
        return tokens;
    std::string current;
    bool first = true;
    for (char c : path) {
        const bool delimiter = first ? (c == '.' || c == '/') : (c == '.' || c == '[');
        if (delimiter) {
            tokens.push_back(current);
            current.clear();
            first = false;
        } else {
            current += c;
        }
    }
    tokens.push_back(current);
    return tokens;
}

void IecModelExplorer::setObjectPaths(const std::string& memberReference) {
    const std::size_t open = memberReference.find('[');
    const std::string reference = memberReference.substr(0, open);
    std::string fcText;
    if (open != std::string::npos) {
        fcText = memberReference.substr(open + 1);
        fcText = fcText.substr(0, fcText.find(']'));
    }
    const FunctionalConstraint fc = FunctionalConstraint_fromString(fcText.c_str());

    // Paths recorded for a tree that the collection then refuses are taken back, so that the
    // recorded paths always belong to nodes that exist.
    const std::size_t pathsBefore = objectPaths.size();
    auto tree = std::make_unique<FunctionalConDA>();
    try {
        _setObjectPath(reference, *tree, fc, 0);
        nodes.getItems().add(tree.get());
    } catch (...) {
        objectPaths.resize(pathsBefore);
        throw;
    }
    tree.release(); // owned by the node collection
}

void IecModelExplorer::_setObjectPath(const std::string& reference, FunctionalConDA& node,
                                      FunctionalConstraint fc, int depth) {
    std::vector<std::string> children;
    if (depth < kMaxExpansionDepth) {
        if (connection == nullptr)
            error = IED_ERROR_NOT_CONNECTED;
        else
            children =
                takeNames(IedConnection_getDataDirectoryByFC(connection, &error, reference.c_str(), fc));
    }

    if (!children.empty()) {
        for (const std::string& child : children) {
            FunctionalConDA& added = addChild(node);
            _setObjectPath(reference + "." + child, added, fc, depth + 1);
        }
        return;
    }

    // A leaf: a basic attribute (or whatever the server has no children for).
    TokenList tokens = parseObjectPath(reference);
    objectPaths.push_back(tokens);
    FunctionalConDA& leaf = addChild(node);
    // A path shorter than LD/LN.DO.DA leaves the missing names empty.
    tokens.resize(std::max<std::size_t>(tokens.size(), 4));
    leaf.ldName = tokens[0];
    leaf.lnName = tokens[1];
    leaf.doName = tokens[2];
    leaf.daName = tokens[3];
    leaf.fc = _functionalConToEnum(fc);
}

} // namespace VorIec61850
