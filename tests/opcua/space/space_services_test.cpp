// The address space services beyond one node: continuation points and their bound per
// session, the reference filters, the operation limits, and the requests decoded and the
// responses encoded through the schema tables.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "opcua/space/browse_next_service.h"
#include "opcua/space/browse_service.h"
#include "opcua/space/register_nodes_service.h"
#include "opcua/space/service_dispatch.h"
#include "opcua/status_codes.h"
#include "tests/opcua/space/space_test_support.h"

namespace velk::ua {
namespace {

using test::Ns0;
using test::Plant;
using test::SpaceFixture;

ServiceLimits SmallLimits() {
    ServiceLimits limits;
    limits.maxBrowseContinuationPoints = 2;
    limits.maxNodesPerBrowse = 3;
    limits.maxNodesPerRead = 3;
    return limits;
}

BrowseRequest BrowseOf(const NodeId& id, std::uint32_t maxReferences,
                       BrowseDirection direction = BrowseDirection::kForward,
                       NodeId referenceType = {}, bool includeSubtypes = true,
                       std::uint32_t nodeClassMask = 0) {
    BrowseRequest request;
    request.requestedMaxReferencesPerNode = maxReferences;
    request.nodesToBrowse.push_back(
        {id, direction, std::move(referenceType), includeSubtypes, nodeClassMask, kResultAll});
    return request;
}

BrowseResult Next(SpaceFixture& f, const ByteString& point, bool release = false) {
    BrowseNextRequest request;
    request.releaseContinuationPoints = release;
    request.continuationPoints.push_back(point);
    BrowseNextResponse response = BrowseNext(f.context, request);
    EXPECT_EQ(response.responseHeader.serviceResult, kGood);
    return response.results.at(0);
}

std::vector<std::string> Names(const BrowseResult& result) {
    std::vector<std::string> names;
    for (const ReferenceDescription& r : result.references) names.push_back(r.browseName.name);
    return names;
}

TEST(UaBrowseContinuationTest, BrowseNextHandsOutTheRestInPiecesAndUsesPointsUp) {
    SpaceFixture f(SmallLimits());
    for (const char* name : {"A1", "A2"}) f.AddTag(*f.pumps, name, VT_I2, kAccessReadable);
    // The group organizes five tags: Count, Running, Speed, A1, A2.
    BrowseResult first =
        Browse(f.context,
               BrowseOf(Plant("Line1.Pumps."), 2, BrowseDirection::kForward, Ns0(ids::kOrganizes)))
            .results.at(0);
    ASSERT_EQ(first.references.size(), 2u);
    ASSERT_FALSE(first.continuationPoint.bytes.empty());
    BrowseResult second = Next(f, first.continuationPoint);
    ASSERT_EQ(second.references.size(), 2u);
    ASSERT_FALSE(second.continuationPoint.bytes.empty());
    BrowseResult third = Next(f, second.continuationPoint);
    EXPECT_EQ(third.references.size(), 1u);
    EXPECT_TRUE(third.continuationPoint.bytes.empty());
    std::set<std::string> all;
    for (const BrowseResult* r : {&first, &second, &third})
        for (const std::string& n : Names(*r)) all.insert(n);
    EXPECT_EQ(all.size(), 5u);
    EXPECT_EQ(f.session.continuations.Size(), 0u);
    // A point once used is gone.
    EXPECT_EQ(Next(f, first.continuationPoint).statusCode, kBadContinuationPointInvalid);
}

TEST(UaBrowseContinuationTest, SessionHoldsAtMostItsBoundOfPointsUntilOneIsReleased) {
    SpaceFixture f(SmallLimits());
    const auto browseOne = [&] {
        return Browse(f.context, BrowseOf(Plant("Line1.Pumps."), 1)).results.at(0);
    };
    const BrowseResult a = browseOne();
    const BrowseResult b = browseOne();
    ASSERT_EQ(a.statusCode, kGood);
    ASSERT_EQ(b.statusCode, kGood);
    const BrowseResult refused = browseOne();
    EXPECT_EQ(refused.statusCode, kBadNoContinuationPoints);
    EXPECT_TRUE(refused.references.empty());

    const BrowseResult released = Next(f, a.continuationPoint, true);
    EXPECT_EQ(released.statusCode, kGood);
    EXPECT_TRUE(released.references.empty());
    EXPECT_EQ(browseOne().statusCode, kGood);
    EXPECT_EQ(Next(f, a.continuationPoint, true).statusCode, kBadContinuationPointInvalid);
    EXPECT_EQ(Next(f, ByteString{{1, 2, 3}}).statusCode, kBadContinuationPointInvalid);
}

TEST(UaBrowseFilterTest, DirectionReferenceTypeAndNodeClassSelectTheReferences) {
    SpaceFixture f;
    const NodeId group = Plant("Line1.Pumps.");
    const auto names = [&](BrowseRequest request) {
        return Names(Browse(f.context, request).results.at(0));
    };
    EXPECT_EQ(names(BrowseOf(group, 0, BrowseDirection::kInverse)),
              std::vector<std::string>{"Line1"});
    // Organizes is a subtype of HierarchicalReferences, but not HierarchicalReferences itself.
    EXPECT_EQ(names(BrowseOf(group, 0, BrowseDirection::kForward, Ns0(ids::kHierarchicalReferences),
                             false)),
              std::vector<std::string>{});
    EXPECT_EQ(names(BrowseOf(group, 0, BrowseDirection::kForward, Ns0(ids::kHasChild))),
              std::vector<std::string>{});
    EXPECT_EQ(names(BrowseOf(group, 0, BrowseDirection::kBoth, Ns0(ids::kHasTypeDefinition))),
              std::vector<std::string>{"FolderType"});
    const std::vector<std::string> objects =
        names(BrowseOf(Plant("Line1."), 0, BrowseDirection::kForward, Ns0(ids::kOrganizes), true,
                       static_cast<std::uint32_t>(NodeClass::kObject)));
    EXPECT_EQ(objects, std::vector<std::string>{"Pumps"});

    BrowseRequest masked = BrowseOf(group, 0);
    masked.nodesToBrowse[0].resultMask = kResultBrowseName;
    const ReferenceDescription first = Browse(f.context, masked).results.at(0).references.at(0);
    EXPECT_FALSE(first.browseName.name.empty());
    EXPECT_TRUE(first.referenceTypeId.IsNull());
    EXPECT_TRUE(first.displayName.text.empty());
    EXPECT_EQ(first.nodeClass, NodeClass::kUnspecified);

    BrowseRequest badDirection = BrowseOf(group, 0, static_cast<BrowseDirection>(3));
    EXPECT_EQ(Browse(f.context, badDirection).results.at(0).statusCode, kBadBrowseDirectionInvalid);
    BrowseRequest notAReferenceType =
        BrowseOf(group, 0, BrowseDirection::kForward, Ns0(ids::kBaseObjectType));
    EXPECT_EQ(Browse(f.context, notAReferenceType).results.at(0).statusCode,
              kBadReferenceTypeIdInvalid);
    EXPECT_EQ(Browse(f.context, BrowseOf(Plant("Line2."), 0)).results.at(0).statusCode,
              kBadNodeIdUnknown);
}

TEST(UaOperationLimitsTest, ServicesRefuseMoreOperationsThanAdvertised) {
    SpaceFixture f(SmallLimits());
    ReadRequest read;
    for (int i = 0; i < 4; ++i) read.nodesToRead.push_back({Plant("Line1.Mode"), 13, "", {}});
    EXPECT_EQ(Read(f.context, read).responseHeader.serviceResult, kBadTooManyOperations);
    read.nodesToRead.pop_back();
    EXPECT_EQ(Read(f.context, read).responseHeader.serviceResult, kGood);
    EXPECT_EQ(Read(f.context, ReadRequest{}).responseHeader.serviceResult, kBadNothingToDo);
    read.maxAge = -1.0;
    EXPECT_EQ(Read(f.context, read).responseHeader.serviceResult, kBadMaxAgeInvalid);

    BrowseRequest browse = BrowseOf(Plant("Line1."), 0);
    for (int i = 0; i < 3; ++i) browse.nodesToBrowse.push_back(browse.nodesToBrowse[0]);
    EXPECT_EQ(Browse(f.context, browse).responseHeader.serviceResult, kBadTooManyOperations);

    // The Server object advertises the limits enforced.
    const DataValue advertised = f.ReadAttribute(Ns0(ids::kMaxNodesPerRead), AttributeId::kValue);
    EXPECT_EQ(std::get<std::uint32_t>(advertised.value->scalar), 3u);
    const DataValue points =
        f.ReadAttribute(Ns0(ids::kMaxBrowseContinuationPoints), AttributeId::kValue);
    EXPECT_EQ(std::get<std::uint16_t>(points.value->scalar), 2u);
}

TEST(UaServerObjectTest, StatusCurrentTimeFollowsTheClockAndNamespacesListThePlant) {
    SpaceFixture f;
    f.clock.Advance(2500);
    const DataValue now = f.ReadAttribute(Ns0(ids::kServerStatusCurrentTime), AttributeId::kValue);
    EXPECT_EQ(std::get<DateTime>(now.value->scalar).ticks,
              static_cast<std::int64_t>(f.clock.NowUtc()));
    const DataValue uris = f.ReadAttribute(Ns0(ids::kNamespaceArray), AttributeId::kValue);
    ASSERT_EQ(uris.value->elements.size(), 2u);
    EXPECT_EQ(std::get<std::string>(uris.value->elements[1]), "urn:velk:ModbusOPCServer");
    EXPECT_EQ(std::get<std::int32_t>(
                  f.ReadAttribute(Ns0(ids::kServerStatusState), AttributeId::kValue).value->scalar),
              0);
}

std::vector<std::uint8_t> EncodeBody(const ReadRequest& request) {
    BinaryWriter w;
    Encode(w, request);
    return w.Take();
}

template <class Response>
Response DecodeResponse(const std::vector<std::uint8_t>& message, NodeId& typeId) {
    BinaryReader r(message);
    Decode(r, typeId);
    Response response;
    Decode(r, response);
    EXPECT_EQ(r.Status(), kGood);
    EXPECT_EQ(r.Remaining(), 0u);
    return response;
}

TEST(UaServiceDispatchTest, DecodesTheRequestAndEncodesTheResponseOrAFault) {
    SpaceFixture f;
    ReadRequest read;
    read.requestHeader.requestHandle = 77;
    read.timestampsToReturn = TimestampsToReturn::kNeither;
    read.nodesToRead.push_back({Plant("Line1.Pumps.Speed"), 3, "", {}});
    const std::vector<std::uint8_t> body = EncodeBody(read);

    const auto answer = CallSpaceService(f.context, BinaryEncodingId<ReadRequest>(), body);
    ASSERT_TRUE(answer.has_value());
    NodeId typeId;
    const ReadResponse response = DecodeResponse<ReadResponse>(*answer, typeId);
    EXPECT_EQ(typeId, BinaryEncodingId<ReadResponse>());
    EXPECT_EQ(response.responseHeader.requestHandle, 77u);
    ASSERT_EQ(response.results.size(), 1u);
    EXPECT_EQ(std::get<QualifiedName>(response.results[0].value->scalar).name, "Speed");

    for (const std::size_t cut : {body.size() - 1, body.size() / 2}) {
        SCOPED_TRACE(cut);
        std::vector<std::uint8_t> shortBody(body.begin(), body.begin() + cut);
        const auto fault = CallSpaceService(f.context, BinaryEncodingId<ReadRequest>(), shortBody);
        ASSERT_TRUE(fault.has_value());
        const ServiceFault decoded = DecodeResponse<ServiceFault>(*fault, typeId);
        EXPECT_EQ(typeId, BinaryEncodingId<ServiceFault>());
        EXPECT_EQ(decoded.responseHeader.serviceResult, kBadDecodingError);
    }
    std::vector<std::uint8_t> longBody = body;
    longBody.push_back(0);
    const auto trailing = CallSpaceService(f.context, BinaryEncodingId<ReadRequest>(), longBody);
    EXPECT_EQ(DecodeResponse<ServiceFault>(*trailing, typeId).responseHeader.serviceResult,
              kBadDecodingError);
    EXPECT_FALSE(CallSpaceService(f.context, NodeId::Numeric(0, 673), body).has_value());
}

TEST(UaServiceDispatchTest, RegisterNodesHandsTheNodeIdsBackWithinTheLimit) {
    ServiceLimits limits;
    limits.maxNodesPerRegisterNodes = 2;
    SpaceFixture f(limits);
    RegisterNodesRequest request;
    request.nodesToRegister = {Plant("Line1.Mode"), Plant("Line1.Gone")};
    BinaryWriter w;
    Encode(w, request);
    const auto answer =
        CallSpaceService(f.context, BinaryEncodingId<RegisterNodesRequest>(), w.Bytes());
    ASSERT_TRUE(answer.has_value());
    NodeId typeId;
    const auto response = DecodeResponse<RegisterNodesResponse>(*answer, typeId);
    EXPECT_EQ(typeId, BinaryEncodingId<RegisterNodesResponse>());
    EXPECT_EQ(response.registeredNodeIds, request.nodesToRegister);
    request.nodesToRegister.push_back(Plant("Line1."));
    EXPECT_EQ(RegisterNodes(f.context, request).responseHeader.serviceResult,
              kBadTooManyOperations);
    EXPECT_EQ(UnregisterNodes(f.context, UnregisterNodesRequest{}).responseHeader.serviceResult,
              kBadNothingToDo);
}

}  // namespace
}  // namespace velk::ua
