#pragma once
// Records the signals of a source model for the model tests.
#include "models/SourceModel.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace iecx {
namespace test {

using namespace VorIec61850;

const std::string kStation = IECX_EXAMPLES_DIR "/station.scd";

// Records every signal of a source as one text line, in emission order.
struct Recorder {
    std::vector<std::string> events;
    std::vector<tConnectedAP> params;
    std::vector<tGSE> sentGoose;
    std::vector<tSMV> sentSv;
    std::vector<SourceModel::DataList> sentData;

    explicit Recorder(SourceModel& model) {
        model.signalAddNode.connect([this](std::vector<std::string> path, std::string unit) {
            std::string text = "add:";
            for (std::size_t i = 0; i < path.size(); ++i) {
                text += (i ? "|" : "") + path[i];
            }
            events.push_back(text + ";" + unit);
        });
        model.signalClearTree.connect([this] { events.push_back("clearTree"); });
        model.signalClearParams.connect([this] { events.push_back("clearParams"); });
        model.signalSetParams.connect(
            [this](tConnectedAP ap, unsigned long long protocol, unsigned long long index) {
                events.push_back("set:" + ap.iedName + "," + std::to_string(protocol) + "," +
                                 std::to_string(index));
                params.push_back(ap);
            });
        model.signalSendGoose.connect([this](tGSE gse, SourceModel::DataList data) {
            sentGoose.push_back(gse);
            sentData.push_back(data);
        });
        model.signalSendSv.connect([this](tSMV smv, SourceModel::DataList data) {
            sentSv.push_back(smv);
            sentData.push_back(data);
        });
    }
    void clear() {
        events.clear();
        params.clear();
    }
    // The emissions from the last clear of the tree on: what the user finally sees.
    std::vector<std::string> lastRound() const {
        for (std::size_t i = events.size(); i-- > 0;) {
            if (events[i] == "clearTree") {
                return std::vector<std::string>(events.begin() + static_cast<std::ptrdiff_t>(i),
                                                events.end());
            }
        }
        return {};
    }
};

inline std::vector<std::pair<std::string, int>> items(const VorTree::EnumUnit* unit) {
    std::vector<std::pair<std::string, int>> out;
    for (VorTree::Node* node : *unit->getLimiter()) {
        auto* item = static_cast<VorTree::EnumItem*>(node);
        EXPECT_EQ(item->getLabel().toString(), item->getKey());
        out.emplace_back(item->getKey(), item->getIntValue());
    }
    return out;
}

using Items = std::vector<std::pair<std::string, int>>;

} // namespace test
} // namespace iecx
