#pragma once
// The UaServer as the front's request handler, over the plant's pieces: the address space,
// the tag values, the write path and the sampling of monitored items.
#include "app/opcua/ua_front.h"

namespace velk {

struct UaPlantServices {
    const IClock& clock;
    const ua::IAddressSpace& space;
    ua::ITagValueReader& values;
    ua::ITagValueWriter& writer;
    ua::ISamplingSource& sampling;
    // Checks user-name identities; null: every user name is refused.
    ua::IUserAuthenticator* users = nullptr;
};

// The factory the front makes its UaServer with; the plant's pieces outlive the front.
UaHandlerFactory UaServerHandlerFactory(UaPlantServices plant);

}  // namespace velk
