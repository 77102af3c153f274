#include "modbus/ip_config_dialog_model.h"

#include <utility>

#include "platform/ipv4_address.h"

namespace velk {

IpConfigDialogModel::IpConfigDialogModel(const NetworkAdapterList& adapters,
                                         const IpAddresses& stored)
    : adapters_(adapters), stored_(stored) {
    for (const auto& adapter : adapters_.Adapters()) deviceLines_.push_back(adapter->ListLine());
    Open(Side(IpChannel::kPrimary), stored.primaryIpAddress, stored.primaryGatewayAddress);
    Open(Side(IpChannel::kSecondary), stored.secondaryIpAddress, stored.secondaryGatewayAddress);
}

void IpConfigDialogModel::Open(ChannelFields& side, const std::string& address,
                               const std::string& gateway) {
    side.address = address;
    side.gateway = gateway;
    for (std::size_t i = 0; i < adapters_.Count(); ++i) {
        if (adapters_.At(i).HasAddress(gateway)) side.device = static_cast<int>(i);
    }
    // The list offers the selected adapter's addresses; the field keeps the stored text.
    FillChoices(side);
    for (std::size_t i = 0; i < side.choices.size(); ++i) {
        if (side.choices[i] == gateway) {
            side.choice = static_cast<int>(i);
            break;
        }
    }
}

void IpConfigDialogModel::FillChoices(ChannelFields& side) {
    side.choices.clear();
    side.choice = kNone;
    if (side.device == kNone) return;
    for (const auto& network : adapters_.At(static_cast<std::size_t>(side.device)).networks) {
        side.choices.push_back(network->address);
    }
}

bool IpConfigDialogModel::SelectGatewayDevice(IpChannel channel, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= deviceLines_.size()) return false;
    ChannelFields& side = Side(channel);
    side.device = index;
    FillChoices(side);
    side.gateway.clear();
    SelectGatewayAddress(channel, 0);
    return true;
}

bool IpConfigDialogModel::SelectGatewayAddress(IpChannel channel, int index) {
    ChannelFields& side = Side(channel);
    if (index < 0 || static_cast<std::size_t>(index) >= side.choices.size()) return false;
    side.choice = index;
    side.gateway = side.choices[static_cast<std::size_t>(index)];
    return true;
}

void IpConfigDialogModel::SetGatewayAddressText(IpChannel channel, std::string text) {
    ChannelFields& side = Side(channel);
    side.gateway = std::move(text);
    side.choice = kNone;
}

void IpConfigDialogModel::SetIpAddressText(IpChannel channel, std::string text) {
    Side(channel).address = std::move(text);
}

std::optional<IpFieldProblem> IpConfigDialogModel::Check() const {
    const auto bad = [](const std::string& text) {
        return !TrimAddressBlanks(text).empty() && !ParseIpv4Address(text);
    };
    for (IpChannel channel : {IpChannel::kPrimary, IpChannel::kSecondary}) {
        const ChannelFields& side = Side(channel);
        if (bad(side.address))
            return IpFieldProblem{channel, false, std::string(kEnterIpAddressMessage)};
        if (bad(side.gateway))
            return IpFieldProblem{channel, true, std::string(kEnterIpAddressMessage)};
    }
    return std::nullopt;
}

IpAddresses IpConfigDialogModel::Ok() const {
    const auto trimmed = [](const std::string& text) {
        return std::string(TrimAddressBlanks(text));
    };
    IpAddresses result;
    result.primaryIpAddress = trimmed(Side(IpChannel::kPrimary).address);
    result.secondaryIpAddress = trimmed(Side(IpChannel::kSecondary).address);
    result.primaryGatewayAddress = trimmed(Side(IpChannel::kPrimary).gateway);
    result.secondaryGatewayAddress = trimmed(Side(IpChannel::kSecondary).gateway);
    return result;
}

}  // namespace velk
