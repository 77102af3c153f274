#include "opc/bus/common_bus_interface.h"

#include <string>
#include <vector>

#include "opc/opc_common.h"
#include "platform/dbus/bus_call_arguments.h"

namespace velk {

BusInterface CommonBusInterface(IOPCCommon& common) {
    IOPCCommon& c = common;
    return {kCommonInterface,
            {{"SetLocaleID",
              "u",
              {"lcid"},
              "",
              {},
              [&c](BusCall& call) { return ReplyOf(c.SetLocaleID(UInt32Arg(call, 0))); }},
             {"GetLocaleID",
              "",
              {},
              "u",
              {"lcid"},
              [&c](BusCall&) {
                  std::uint32_t lcid = 0;
                  const HRESULT hr = c.GetLocaleID(&lcid);
                  return ReplyOf(hr, {BusValue::UInt32(lcid)});
              }},
             {"QueryAvailableLocaleIDs",
              "",
              {},
              "au",
              {"lcids"},
              [&c](BusCall&) {
                  std::vector<std::uint32_t> lcids;
                  const HRESULT hr = c.QueryAvailableLocaleIDs(&lcids);
                  BusValue::Items items;
                  for (std::uint32_t lcid : lcids) items.push_back(BusValue::UInt32(lcid));
                  return ReplyOf(hr, {BusValue::Array("u", std::move(items))});
              }},
             {"GetErrorString",
              "i",
              {"error"},
              "s",
              {"text"},
              [&c](BusCall& call) {
                  std::string text;
                  const HRESULT hr = c.GetErrorString(Int32Arg(call, 0), &text);
                  return ReplyOf(hr, {BusValue::String(text)});
              }},
             {"SetClientName", "s", {"name"}, "", {}, [&c](BusCall& call) {
                  return ReplyOf(c.SetClientName(TextArg(call, 0)));
              }}}};
}

}  // namespace velk
