#pragma once
// HRESULT-style result codes of the system interfaces (the OPC ones are in opc/opc_result.h).
#include <cstdint>

namespace velk {

using HRESULT = std::int32_t;

constexpr HRESULT MakeResult(std::uint32_t v) { return static_cast<HRESULT>(v); }
constexpr bool Succeeded(HRESULT hr) { return hr >= 0; }
constexpr bool Failed(HRESULT hr) { return hr < 0; }

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = MakeResult(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = MakeResult(0x80004002u);
inline constexpr HRESULT E_POINTER = MakeResult(0x80004003u);
inline constexpr HRESULT E_ABORT = MakeResult(0x80004004u);
inline constexpr HRESULT E_FAIL = MakeResult(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = MakeResult(0x8000FFFFu);
inline constexpr HRESULT E_ACCESSDENIED = MakeResult(0x80070005u);
inline constexpr HRESULT E_HANDLE = MakeResult(0x80070006u);
inline constexpr HRESULT E_OUTOFMEMORY = MakeResult(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = MakeResult(0x80070057u);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = MakeResult(0x80040110u);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeResult(0x80040111u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = MakeResult(0x80040154u);
inline constexpr HRESULT CONNECT_E_NOCONNECTION = MakeResult(0x80040200u);
inline constexpr HRESULT CONNECT_E_ADVISELIMIT = MakeResult(0x80040201u);
inline constexpr HRESULT CONNECT_E_CANNOTCONNECT = MakeResult(0x80040202u);
inline constexpr HRESULT CONNECT_E_OVERRIDDEN = MakeResult(0x80040203u);
inline constexpr HRESULT DISP_E_BADVARTYPE = MakeResult(0x80020008u);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = MakeResult(0x80020005u);
inline constexpr HRESULT DISP_E_OVERFLOW = MakeResult(0x8002000Au);
inline constexpr HRESULT RPC_E_DISCONNECTED = MakeResult(0x80010108u);

}  // namespace velk
