#pragma once
// The namespace 0 nodes that generic clients browse and type-check, held as data: the
// folders from Root down, the reference type hierarchy, the base object, variable and data
// types, the Data Access variable types, and the Server object with its status,
// capabilities and operation limits. The Server's status values are filled in when the node
// is asked for (CurrentTime from the clock).
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "opcua/space/node.h"
#include "opcua/space/service_limits.h"
#include "opcua/space/value_structures.h"

namespace velk {
class IClock;
}

namespace velk::ua {

// The namespace URI of the plant's nodes (namespace 1).
inline constexpr const char* kPlantNamespaceUri = "urn:velk:ModbusOPCServer";
inline constexpr const char* kStandardNamespaceUri = "http://opcfoundation.org/UA/";

struct ServerDescription {
    std::string applicationUri = "urn:velk:ModbusOPCServer:Server";
    BuildInfo buildInfo{"urn:velk:ModbusOPCServer", "VELK", "VELK Modbus OPC Server", "", "", {}};
    DateTime startTime;
    std::uint8_t serviceLevel = 255;
};

class NamespaceZero {
  public:
    // clock gives CurrentTime; it outlives this object.
    NamespaceZero(ServerDescription server, ServiceLimits limits, const IClock& clock);

    std::optional<Node> FindNode(std::uint32_t id) const;
    // The direct supertype of a type node (its inverse HasSubtype), 0 for none.
    std::uint32_t SupertypeOf(std::uint32_t id) const;
    std::vector<std::string> NamespaceUris() const;

  private:
    Node& Add(std::uint32_t id, NodeClass nodeClass, const std::string& name);
    void Link(std::uint32_t source, std::uint32_t referenceType, std::uint32_t target);
    void AddFolder(std::uint32_t id, const std::string& name, std::uint32_t parent);
    void AddReferenceType(std::uint32_t id, const std::string& name, std::uint32_t supertype,
                          const std::string& inverseName, bool isAbstract, bool symmetric = false);
    void AddType(std::uint32_t id, NodeClass nodeClass, const std::string& name,
                 std::uint32_t supertype, bool isAbstract);
    void AddVariableType(std::uint32_t id, const std::string& name, std::uint32_t supertype,
                         std::uint32_t dataType, std::int32_t valueRank, bool isAbstract);
    Node& AddVariable(std::uint32_t id, const std::string& name, std::uint32_t parent,
                      std::uint32_t reference, std::uint32_t typeDefinition, std::uint32_t dataType,
                      Variant value, std::int32_t valueRank = kValueRankScalar);
    void AddObject(std::uint32_t id, const std::string& name, std::uint32_t parent,
                   std::uint32_t reference, std::uint32_t typeDefinition);
    void BuildFolders();
    void BuildReferenceTypes();
    void BuildDataTypes();
    void BuildObjectAndVariableTypes();
    void BuildServer();
    // The values that change while the server runs.
    void FillLiveValue(Node& node) const;
    ServerStatusDataType Status() const;

    ServerDescription server_;
    ServiceLimits limits_;
    const IClock& clock_;
    std::map<std::uint32_t, Node> nodes_;
};

}  // namespace velk::ua
