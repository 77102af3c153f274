#pragma once
// The messages that open, renew and close a secure channel, with their schema tables.
#include <cstdint>
#include <string_view>
#include <tuple>

#include "opcua/service_headers.h"

namespace velk::ua {

enum class SecurityTokenRequestType : std::int32_t { kIssue = 0, kRenew = 1 };
enum class MessageSecurityMode : std::int32_t {
    kInvalid = 0,
    kNone = 1,
    kSign = 2,
    kSignAndEncrypt = 3,
};

inline constexpr std::string_view kSecurityPolicyNoneUri =
    "http://opcfoundation.org/UA/SecurityPolicy#None";

struct ChannelSecurityToken {
    std::uint32_t channelId = 0;
    std::uint32_t tokenId = 0;
    DateTime createdAt;
    std::uint32_t revisedLifetime = 0;  // ms
    bool operator==(const ChannelSecurityToken&) const = default;
};

struct OpenSecureChannelRequest {
    RequestHeader requestHeader;
    std::uint32_t clientProtocolVersion = 0;
    SecurityTokenRequestType requestType = SecurityTokenRequestType::kIssue;
    MessageSecurityMode securityMode = MessageSecurityMode::kNone;
    ByteString clientNonce;
    std::uint32_t requestedLifetime = 0;  // ms
    bool operator==(const OpenSecureChannelRequest&) const = default;
};

struct OpenSecureChannelResponse {
    ResponseHeader responseHeader;
    std::uint32_t serverProtocolVersion = 0;
    ChannelSecurityToken securityToken;
    ByteString serverNonce;
    bool operator==(const OpenSecureChannelResponse&) const = default;
};

struct CloseSecureChannelRequest {
    RequestHeader requestHeader;
    bool operator==(const CloseSecureChannelRequest&) const = default;
};

template <>
struct StructureSchema<ChannelSecurityToken> {
    static constexpr std::string_view kName = "ChannelSecurityToken";
    static constexpr std::uint32_t kBinaryEncodingId = 443;
    static constexpr auto kFields =
        std::tuple{Field{"ChannelId", &ChannelSecurityToken::channelId},
                   Field{"TokenId", &ChannelSecurityToken::tokenId},
                   Field{"CreatedAt", &ChannelSecurityToken::createdAt},
                   Field{"RevisedLifetime", &ChannelSecurityToken::revisedLifetime}};
};

template <>
struct StructureSchema<OpenSecureChannelRequest> {
    static constexpr std::string_view kName = "OpenSecureChannelRequest";
    static constexpr std::uint32_t kBinaryEncodingId = 446;
    static constexpr auto kFields =
        std::tuple{Field{"RequestHeader", &OpenSecureChannelRequest::requestHeader},
                   Field{"ClientProtocolVersion", &OpenSecureChannelRequest::clientProtocolVersion},
                   Field{"RequestType", &OpenSecureChannelRequest::requestType},
                   Field{"SecurityMode", &OpenSecureChannelRequest::securityMode},
                   Field{"ClientNonce", &OpenSecureChannelRequest::clientNonce},
                   Field{"RequestedLifetime", &OpenSecureChannelRequest::requestedLifetime}};
};

template <>
struct StructureSchema<OpenSecureChannelResponse> {
    static constexpr std::string_view kName = "OpenSecureChannelResponse";
    static constexpr std::uint32_t kBinaryEncodingId = 449;
    static constexpr auto kFields = std::tuple{
        Field{"ResponseHeader", &OpenSecureChannelResponse::responseHeader},
        Field{"ServerProtocolVersion", &OpenSecureChannelResponse::serverProtocolVersion},
        Field{"SecurityToken", &OpenSecureChannelResponse::securityToken},
        Field{"ServerNonce", &OpenSecureChannelResponse::serverNonce}};
};

template <>
struct StructureSchema<CloseSecureChannelRequest> {
    static constexpr std::string_view kName = "CloseSecureChannelRequest";
    static constexpr std::uint32_t kBinaryEncodingId = 452;
    static constexpr auto kFields =
        std::tuple{Field{"RequestHeader", &CloseSecureChannelRequest::requestHeader}};
};

}  // namespace velk::ua
