#pragma once
// The bus names of the AE objects' interfaces and of the client sinks they call.
namespace velk {

inline constexpr const char* kIOPCEventServer = "VELK.OPC.IOPCEventServer";
inline constexpr const char* kIOPCEventSubscriptionMgt = "VELK.OPC.IOPCEventSubscriptionMgt";
inline constexpr const char* kIOPCEventSubscriptionMgt2 = "VELK.OPC.IOPCEventSubscriptionMgt2";
inline constexpr const char* kIOPCEventAreaBrowser = "VELK.OPC.IOPCEventAreaBrowser";
inline constexpr const char* kIOPCEventSink = "VELK.OPC.IOPCEventSink";

// One event of OnEvent, and OnEvent's arguments.
inline constexpr const char* kOnEventStructSignature = "(qqstsuuussqbtua(qv)s)";
inline constexpr const char* kOnEventSignature = "ubba(qqstsuuussqbtua(qv)s)";

}  // namespace velk
