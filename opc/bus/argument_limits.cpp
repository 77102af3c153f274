#include "opc/bus/argument_limits.h"

#include <string>

#include "core/trace_file.h"

namespace velk {

namespace {

constexpr std::size_t kScalarBytes = 8;

// Walks a value, adding its size to the call's total; false as soon as a limit is passed.
// Inside a value to write (a bus variant) texts and arrays are bounded by the value limit.
class SizeCheck {
  public:
    bool Fits(const BusValue& value, bool inValue) {
        if (const std::string* text = value.Text()) {
            if (text->size() >
                (inValue ? ArgumentLimits::kMaxValueBytes : ArgumentLimits::kMaxTextBytes)) {
                return false;
            }
            return Add(text->size());
        }
        const BusValue::Items& children = value.Children();
        if (children.empty()) return Add(kScalarBytes);
        if (value.TypeCode() == 'a') {
            if (children.size() > ArgumentLimits::kMaxElements) return false;
            if (inValue && children.size() * kScalarBytes > ArgumentLimits::kMaxValueBytes) {
                return false;
            }
        }
        const bool childInValue = inValue || value.TypeCode() == 'v';
        for (const BusValue& child : children) {
            if (!Fits(child, childInValue)) return false;
        }
        return true;
    }

  private:
    bool Add(std::size_t bytes) {
        total_ += bytes;
        return total_ <= ArgumentLimits::kMaxCallBytes;
    }
    std::size_t total_ = 0;
};

// "VELK.OPC.IOPCSyncIO" -> "IOPCSyncIO".
std::string ShortName(const std::string& interfaceName) {
    const std::size_t dot = interfaceName.rfind('.');
    return dot == std::string::npos ? interfaceName : interfaceName.substr(dot + 1);
}

}  // namespace

bool ArgumentsWithinLimits(const BusValue::Items& arguments) {
    SizeCheck check;
    for (const BusValue& argument : arguments) {
        if (!check.Fits(argument, false)) return false;
    }
    return true;
}

std::vector<BusInterface> WithArgumentLimits(std::vector<BusInterface> interfaces) {
    for (BusInterface& bus : interfaces) {
        for (BusMethod& method : bus.methods) {
            std::string traced = "Called " + ShortName(bus.name) + "::" + method.name;
            method.handler = [traced = std::move(traced),
                              inner = std::move(method.handler)](BusCall& call) {
                if (!ArgumentsWithinLimits(call.arguments)) {
                    TraceResult(traced, E_INVALIDARG, true);
                    return BusReply::Fail(E_INVALIDARG,
                                          "arguments beyond the limits of an OPC call");
                }
                return inner(call);
            };
        }
    }
    return interfaces;
}

}  // namespace velk
