#pragma once
// The result codes of OPC Data Access and OPC Alarms & Events.
#include "platform/hresult.h"

namespace velk {

// OPC Data Access.
inline constexpr HRESULT OPC_E_INVALIDHANDLE = MakeResult(0xC0040001u);
inline constexpr HRESULT OPC_E_BADTYPE = MakeResult(0xC0040004u);
inline constexpr HRESULT OPC_E_PUBLIC = MakeResult(0xC0040005u);
inline constexpr HRESULT OPC_E_BADRIGHTS = MakeResult(0xC0040006u);
inline constexpr HRESULT OPC_E_UNKNOWNITEMID = MakeResult(0xC0040007u);
inline constexpr HRESULT OPC_E_INVALIDITEMID = MakeResult(0xC0040008u);
inline constexpr HRESULT OPC_E_INVALIDFILTER = MakeResult(0xC0040009u);
inline constexpr HRESULT OPC_E_UNKNOWNPATH = MakeResult(0xC004000Au);
inline constexpr HRESULT OPC_E_RANGE = MakeResult(0xC004000Bu);
inline constexpr HRESULT OPC_E_DUPLICATENAME = MakeResult(0xC004000Cu);
inline constexpr HRESULT OPC_S_UNSUPPORTEDRATE = MakeResult(0x0004000Du);
inline constexpr HRESULT OPC_S_CLAMP = MakeResult(0x0004000Eu);
inline constexpr HRESULT OPC_S_INUSE = MakeResult(0x0004000Fu);
inline constexpr HRESULT OPC_E_INVALIDCONFIGFILE = MakeResult(0xC0040010u);
inline constexpr HRESULT OPC_E_NOTFOUND = MakeResult(0xC0040011u);
inline constexpr HRESULT OPC_E_INVALID_PID = MakeResult(0xC0040203u);

// OPC Alarms & Events (OPC_E_INVALIDBRANCHNAME shares its value with OPC_E_INVALID_PID).
inline constexpr HRESULT OPC_S_ALREADYACKED = MakeResult(0x00040200u);
inline constexpr HRESULT OPC_S_INVALIDBUFFERTIME = MakeResult(0x00040201u);
inline constexpr HRESULT OPC_S_INVALIDMAXSIZE = MakeResult(0x00040202u);
inline constexpr HRESULT OPC_S_INVALIDKEEPALIVETIME = MakeResult(0x00040203u);
inline constexpr HRESULT OPC_E_INVALIDBRANCHNAME = MakeResult(0xC0040203u);
inline constexpr HRESULT OPC_E_INVALIDTIME = MakeResult(0xC0040204u);
inline constexpr HRESULT OPC_E_BUSY = MakeResult(0xC0040205u);
inline constexpr HRESULT OPC_E_NOINFO = MakeResult(0xC0040206u);

}  // namespace velk
