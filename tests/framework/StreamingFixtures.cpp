//===- StreamingFixtures.cpp - property tables of the test classes -------===//
#include "StreamingFixtures.h"

namespace vexo::test {

const PropertyTable *TTestSub::GetPropertyTable() const {
    static const PropertyTable Table = PropertyTable::Builder<TTestSub>()
                                           .Boolean("Flag", &TTestSub::Flag, &TTestSub::Flag, true)
                                           .Integer("Rate", &TTestSub::Rate, &TTestSub::Rate)
                                           .Float("Band", &TTestSub::Band, &TTestSub::Band, true)
                                           .String("Path", &TTestSub::Path, &TTestSub::Path)
                                           .Build();
    return &Table;
}

const PropertyTable *TTestLeaf::GetPropertyTable() const {
    static const PropertyTable Table =
        PropertyTable::Builder<TTestLeaf>()
            .String("Id", &TTestLeaf::Id, &TTestLeaf::Id)
            .String("Access", &TTestLeaf::Access, &TTestLeaf::Access)
            .Boolean("Active", &TTestLeaf::Active, &TTestLeaf::Active)
            .Enumeration("Kind", &TTestLeaf::Kind, &TTestLeaf::Kind,
                         {"lkNone", "lkAnalog", "lkDigital", "lkText"})
            .Variant("Value", &TTestLeaf::Value)
            .Build();
    return &Table;
}

const PropertyTable *TTestNode::GetPropertyTable() const {
    static const PropertyTable Table =
        PropertyTable::Builder<TTestNode>()
            .String("Name", &TTestNode::Name, &TTestNode::SetName)
            .Integer("UpdateRate", &TTestNode::UpdateRate, &TTestNode::SetUpdateRate)
            .Float("Ratio", &TTestNode::Ratio, &TTestNode::Ratio, false)
            .Class("Defaults", &TTestNode::Defaults)
            .Collection("Leaves", &TTestNode::Leaves)
            .Build();
    return &Table;
}

const PropertyTable *TTestRoot::GetPropertyTable() const {
    static const PropertyTable Table =
        PropertyTable::Builder<TTestRoot>()
            .Boolean("Batch", &TTestRoot::Batch, &TTestRoot::Batch)
            .String("Server", &TTestRoot::Server, &TTestRoot::Server)
            .Collection("Nodes", &TTestRoot::Nodes)
            .Class("Sub", &TTestRoot::Sub)
            .Boolean("Active", &TTestRoot::Active, &TTestRoot::Active)
            .String("Version", &TTestRoot::Version, [](TTestRoot &, const std::string &) {})
            .Int64("Big", &TTestRoot::Big, &TTestRoot::Big)
            .Set("Access", &TTestRoot::AccessSet, &TTestRoot::AccessSet, {"afRead", "afWrite"}, 0)
            .Enumeration("Mode", &TTestRoot::Mode, &TTestRoot::Mode,
                         {"lkNone", "lkAnalog", "lkDigital", "lkText"}, lkNone)
            .Component("Link", &TTestRoot::Link, &TTestRoot::Link)
            .String("Computed", &TTestRoot::Computed, nullptr)
            .Event("OnConnect", &TTestRoot::OnConnect)
            .Event("OnDisconnect", &TTestRoot::OnDisconnect)
            .Event("OnCount", &TTestRoot::OnCount)
            .Build();
    return &Table;
}

} // namespace vexo::test
