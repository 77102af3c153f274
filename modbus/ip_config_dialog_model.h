#pragma once
// The "IP address configuration" dialog without its toolkit: two channels, each with an
// "IP address:" field, a "Gateway device:" list of the host's adapters and a
// "Gateway address:" field with a list of the chosen adapter's addresses. The texts are
// kept as typed; OK checks them (an address, or empty) and hands them back without the
// blanks around them.
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "modbus/ip_address_text.h"
#include "modbus/ip_addresses.h"
#include "modbus/network_adapter_list.h"

namespace velk {

enum class IpChannel { kPrimary = 0, kSecondary = 1 };

// A field that OK refuses: which one, and the message.
struct IpFieldProblem {
    IpChannel channel;
    bool gateway;  // the "Gateway address:" field, else "IP address:"
    std::string message;
};

class IpConfigDialogModel {
  public:
    static constexpr int kNone = -1;

    // Opens with the stored texts; in each channel the last adapter having a network with
    // the stored gateway address text is selected. adapters must outlive the model.
    IpConfigDialogModel(const NetworkAdapterList& adapters, const IpAddresses& stored);

    // One line per adapter, such as "LAN2 [07]"; both channels list the same lines.
    const std::vector<std::string>& GatewayDeviceLines() const { return deviceLines_; }
    int SelectedGatewayDevice(IpChannel channel) const { return Side(channel).device; }
    // Selects an adapter: its address texts fill the channel's gateway address list and
    // the first becomes the field's text (an adapter without address empties both).
    // False, changing nothing, when index is not a line.
    bool SelectGatewayDevice(IpChannel channel, int index);

    const std::vector<std::string>& GatewayAddressChoices(IpChannel channel) const {
        return Side(channel).choices;
    }
    int SelectedGatewayAddress(IpChannel channel) const { return Side(channel).choice; }
    // Takes one of the listed addresses as the field's text; false when index is not listed.
    bool SelectGatewayAddress(IpChannel channel, int index);

    const std::string& GatewayAddressText(IpChannel channel) const { return Side(channel).gateway; }
    // Typed text, kept as it is.
    void SetGatewayAddressText(IpChannel channel, std::string text);
    const std::string& IpAddressText(IpChannel channel) const { return Side(channel).address; }
    void SetIpAddressText(IpChannel channel, std::string text);

    // The first field, in the dialog's order, whose text is neither empty nor an address
    // (read as every address field is, platform/ipv4_address.h); none when all are fine.
    std::optional<IpFieldProblem> Check() const;
    // The four texts as the fields show them, without the blanks around them.
    IpAddresses Ok() const;
    // The texts the dialog was opened with.
    IpAddresses Cancel() const { return stored_; }

  private:
    struct ChannelFields {
        std::string address;
        std::string gateway;
        int device = kNone;
        std::vector<std::string> choices;
        int choice = kNone;
    };

    ChannelFields& Side(IpChannel channel) { return sides_[static_cast<int>(channel)]; }
    const ChannelFields& Side(IpChannel channel) const { return sides_[static_cast<int>(channel)]; }
    void Open(ChannelFields& side, const std::string& address, const std::string& gateway);
    void FillChoices(ChannelFields& side);

    const NetworkAdapterList& adapters_;
    IpAddresses stored_;
    std::vector<std::string> deviceLines_;
    std::array<ChannelFields, 2> sides_;
};

}  // namespace velk
