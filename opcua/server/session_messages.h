#pragma once
// The messages of the Discovery and Session services and the structures they carry
// (application and endpoint descriptions, user token policies, signatures, the identity
// tokens an ActivateSession carries in an ExtensionObject), each with its schema table.
#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "opcua/secure_channel_messages.h"
#include "opcua/service_headers.h"
#include "opcua/structure_codec.h"

namespace velk::ua {

enum class ApplicationType : std::int32_t {
    kServer = 0,
    kClient = 1,
    kClientAndServer = 2,
    kDiscoveryServer = 3,
};
enum class UserTokenType : std::int32_t {
    kAnonymous = 0,
    kUserName = 1,
    kCertificate = 2,
    kIssuedToken = 3,
};

inline constexpr std::string_view kUaTcpBinaryTransportProfileUri =
    "http://opcfoundation.org/UA-Profile/Transport/uatcp-uasc-uabinary";

struct ApplicationDescription {
    std::string applicationUri;
    std::string productUri;
    LocalizedText applicationName;
    ApplicationType applicationType = ApplicationType::kServer;
    std::string gatewayServerUri;
    std::string discoveryProfileUri;
    std::vector<std::string> discoveryUrls;
    bool operator==(const ApplicationDescription&) const = default;
};

struct UserTokenPolicy {
    std::string policyId;
    UserTokenType tokenType = UserTokenType::kAnonymous;
    std::string issuedTokenType;
    std::string issuerEndpointUrl;
    std::string securityPolicyUri;
    bool operator==(const UserTokenPolicy&) const = default;
};

struct EndpointDescription {
    std::string endpointUrl;
    ApplicationDescription server;
    ByteString serverCertificate;
    MessageSecurityMode securityMode = MessageSecurityMode::kNone;
    std::string securityPolicyUri;
    std::vector<UserTokenPolicy> userIdentityTokens;
    std::string transportProfileUri;
    std::uint8_t securityLevel = 0;
    bool operator==(const EndpointDescription&) const = default;
};

struct SignatureData {
    std::string algorithm;
    ByteString signature;
    bool operator==(const SignatureData&) const = default;
};

struct SignedSoftwareCertificate {
    ByteString certificateData;
    ByteString signature;
    bool operator==(const SignedSoftwareCertificate&) const = default;
};

struct AnonymousIdentityToken {
    std::string policyId;
    bool operator==(const AnonymousIdentityToken&) const = default;
};

struct UserNameIdentityToken {
    std::string policyId;
    std::string userName;
    ByteString password;
    std::string encryptionAlgorithm;
    bool operator==(const UserNameIdentityToken&) const = default;
};

struct FindServersRequest {
    RequestHeader requestHeader;
    std::string endpointUrl;
    std::vector<std::string> localeIds;
    std::vector<std::string> serverUris;
    bool operator==(const FindServersRequest&) const = default;
};

struct FindServersResponse {
    ResponseHeader responseHeader;
    std::vector<ApplicationDescription> servers;
    bool operator==(const FindServersResponse&) const = default;
};

struct GetEndpointsRequest {
    RequestHeader requestHeader;
    std::string endpointUrl;
    std::vector<std::string> localeIds;
    std::vector<std::string> profileUris;
    bool operator==(const GetEndpointsRequest&) const = default;
};

struct GetEndpointsResponse {
    ResponseHeader responseHeader;
    std::vector<EndpointDescription> endpoints;
    bool operator==(const GetEndpointsResponse&) const = default;
};

struct CreateSessionRequest {
    RequestHeader requestHeader;
    ApplicationDescription clientDescription;
    std::string serverUri;
    std::string endpointUrl;
    std::string sessionName;
    ByteString clientNonce;
    ByteString clientCertificate;
    double requestedSessionTimeout = 0;
    std::uint32_t maxResponseMessageSize = 0;
    bool operator==(const CreateSessionRequest&) const = default;
};

struct CreateSessionResponse {
    ResponseHeader responseHeader;
    NodeId sessionId;
    NodeId authenticationToken;
    double revisedSessionTimeout = 0;
    ByteString serverNonce;
    ByteString serverCertificate;
    std::vector<EndpointDescription> serverEndpoints;
    std::vector<SignedSoftwareCertificate> serverSoftwareCertificates;
    SignatureData serverSignature;
    std::uint32_t maxRequestMessageSize = 0;
    bool operator==(const CreateSessionResponse&) const = default;
};

struct ActivateSessionRequest {
    RequestHeader requestHeader;
    SignatureData clientSignature;
    std::vector<SignedSoftwareCertificate> clientSoftwareCertificates;
    std::vector<std::string> localeIds;
    ExtensionObject userIdentityToken;
    SignatureData userTokenSignature;
    bool operator==(const ActivateSessionRequest&) const = default;
};

struct ActivateSessionResponse {
    ResponseHeader responseHeader;
    ByteString serverNonce;
    std::vector<StatusCode> results;
    std::vector<DiagnosticInfo> diagnosticInfos;
    bool operator==(const ActivateSessionResponse&) const = default;
};

struct CloseSessionRequest {
    RequestHeader requestHeader;
    bool deleteSubscriptions = false;
    bool operator==(const CloseSessionRequest&) const = default;
};

struct CloseSessionResponse {
    ResponseHeader responseHeader;
    bool operator==(const CloseSessionResponse&) const = default;
};

struct CancelRequest {
    RequestHeader requestHeader;
    std::uint32_t requestHandle = 0;
    bool operator==(const CancelRequest&) const = default;
};

struct CancelResponse {
    ResponseHeader responseHeader;
    std::uint32_t cancelCount = 0;
    bool operator==(const CancelResponse&) const = default;
};

template <>
struct StructureSchema<ApplicationDescription> {
    static constexpr std::string_view kName = "ApplicationDescription";
    static constexpr std::uint32_t kBinaryEncodingId = 310;
    static constexpr auto kFields =
        std::tuple{Field{"ApplicationUri", &ApplicationDescription::applicationUri},
                   Field{"ProductUri", &ApplicationDescription::productUri},
                   Field{"ApplicationName", &ApplicationDescription::applicationName},
                   Field{"ApplicationType", &ApplicationDescription::applicationType},
                   Field{"GatewayServerUri", &ApplicationDescription::gatewayServerUri},
                   Field{"DiscoveryProfileUri", &ApplicationDescription::discoveryProfileUri},
                   Field{"DiscoveryUrls", &ApplicationDescription::discoveryUrls}};
};

template <>
struct StructureSchema<UserTokenPolicy> {
    static constexpr std::string_view kName = "UserTokenPolicy";
    static constexpr std::uint32_t kBinaryEncodingId = 306;
    static constexpr auto kFields =
        std::tuple{Field{"PolicyId", &UserTokenPolicy::policyId},
                   Field{"TokenType", &UserTokenPolicy::tokenType},
                   Field{"IssuedTokenType", &UserTokenPolicy::issuedTokenType},
                   Field{"IssuerEndpointUrl", &UserTokenPolicy::issuerEndpointUrl},
                   Field{"SecurityPolicyUri", &UserTokenPolicy::securityPolicyUri}};
};

template <>
struct StructureSchema<EndpointDescription> {
    static constexpr std::string_view kName = "EndpointDescription";
    static constexpr std::uint32_t kBinaryEncodingId = 314;
    static constexpr auto kFields =
        std::tuple{Field{"EndpointUrl", &EndpointDescription::endpointUrl},
                   Field{"Server", &EndpointDescription::server},
                   Field{"ServerCertificate", &EndpointDescription::serverCertificate},
                   Field{"SecurityMode", &EndpointDescription::securityMode},
                   Field{"SecurityPolicyUri", &EndpointDescription::securityPolicyUri},
                   Field{"UserIdentityTokens", &EndpointDescription::userIdentityTokens},
                   Field{"TransportProfileUri", &EndpointDescription::transportProfileUri},
                   Field{"SecurityLevel", &EndpointDescription::securityLevel}};
};

template <>
struct StructureSchema<SignatureData> {
    static constexpr std::string_view kName = "SignatureData";
    static constexpr std::uint32_t kBinaryEncodingId = 458;
    static constexpr auto kFields = std::tuple{Field{"Algorithm", &SignatureData::algorithm},
                                               Field{"Signature", &SignatureData::signature}};
};

template <>
struct StructureSchema<SignedSoftwareCertificate> {
    static constexpr std::string_view kName = "SignedSoftwareCertificate";
    static constexpr std::uint32_t kBinaryEncodingId = 346;
    static constexpr auto kFields =
        std::tuple{Field{"CertificateData", &SignedSoftwareCertificate::certificateData},
                   Field{"Signature", &SignedSoftwareCertificate::signature}};
};

template <>
struct StructureSchema<AnonymousIdentityToken> {
    static constexpr std::string_view kName = "AnonymousIdentityToken";
    static constexpr std::uint32_t kBinaryEncodingId = 321;
    static constexpr auto kFields =
        std::tuple{Field{"PolicyId", &AnonymousIdentityToken::policyId}};
};

template <>
struct StructureSchema<UserNameIdentityToken> {
    static constexpr std::string_view kName = "UserNameIdentityToken";
    static constexpr std::uint32_t kBinaryEncodingId = 324;
    static constexpr auto kFields =
        std::tuple{Field{"PolicyId", &UserNameIdentityToken::policyId},
                   Field{"UserName", &UserNameIdentityToken::userName},
                   Field{"Password", &UserNameIdentityToken::password},
                   Field{"EncryptionAlgorithm", &UserNameIdentityToken::encryptionAlgorithm}};
};

template <>
struct StructureSchema<FindServersRequest> {
    static constexpr std::string_view kName = "FindServersRequest";
    static constexpr std::uint32_t kBinaryEncodingId = 422;
    static constexpr auto kFields =
        std::tuple{Field{"RequestHeader", &FindServersRequest::requestHeader},
                   Field{"EndpointUrl", &FindServersRequest::endpointUrl},
                   Field{"LocaleIds", &FindServersRequest::localeIds},
                   Field{"ServerUris", &FindServersRequest::serverUris}};
};

template <>
struct StructureSchema<FindServersResponse> {
    static constexpr std::string_view kName = "FindServersResponse";
    static constexpr std::uint32_t kBinaryEncodingId = 425;
    static constexpr auto kFields =
        std::tuple{Field{"ResponseHeader", &FindServersResponse::responseHeader},
                   Field{"Servers", &FindServersResponse::servers}};
};

template <>
struct StructureSchema<GetEndpointsRequest> {
    static constexpr std::string_view kName = "GetEndpointsRequest";
    static constexpr std::uint32_t kBinaryEncodingId = 428;
    static constexpr auto kFields =
        std::tuple{Field{"RequestHeader", &GetEndpointsRequest::requestHeader},
                   Field{"EndpointUrl", &GetEndpointsRequest::endpointUrl},
                   Field{"LocaleIds", &GetEndpointsRequest::localeIds},
                   Field{"ProfileUris", &GetEndpointsRequest::profileUris}};
};

template <>
struct StructureSchema<GetEndpointsResponse> {
    static constexpr std::string_view kName = "GetEndpointsResponse";
    static constexpr std::uint32_t kBinaryEncodingId = 431;
    static constexpr auto kFields =
        std::tuple{Field{"ResponseHeader", &GetEndpointsResponse::responseHeader},
                   Field{"Endpoints", &GetEndpointsResponse::endpoints}};
};

template <>
struct StructureSchema<CreateSessionRequest> {
    static constexpr std::string_view kName = "CreateSessionRequest";
    static constexpr std::uint32_t kBinaryEncodingId = 461;
    static constexpr auto kFields =
        std::tuple{Field{"RequestHeader", &CreateSessionRequest::requestHeader},
                   Field{"ClientDescription", &CreateSessionRequest::clientDescription},
                   Field{"ServerUri", &CreateSessionRequest::serverUri},
                   Field{"EndpointUrl", &CreateSessionRequest::endpointUrl},
                   Field{"SessionName", &CreateSessionRequest::sessionName},
                   Field{"ClientNonce", &CreateSessionRequest::clientNonce},
                   Field{"ClientCertificate", &CreateSessionRequest::clientCertificate},
                   Field{"RequestedSessionTimeout", &CreateSessionRequest::requestedSessionTimeout},
                   Field{"MaxResponseMessageSize", &CreateSessionRequest::maxResponseMessageSize}};
};

template <>
struct StructureSchema<CreateSessionResponse> {
    static constexpr std::string_view kName = "CreateSessionResponse";
    static constexpr std::uint32_t kBinaryEncodingId = 464;
    static constexpr auto kFields = std::tuple{
        Field{"ResponseHeader", &CreateSessionResponse::responseHeader},
        Field{"SessionId", &CreateSessionResponse::sessionId},
        Field{"AuthenticationToken", &CreateSessionResponse::authenticationToken},
        Field{"RevisedSessionTimeout", &CreateSessionResponse::revisedSessionTimeout},
        Field{"ServerNonce", &CreateSessionResponse::serverNonce},
        Field{"ServerCertificate", &CreateSessionResponse::serverCertificate},
        Field{"ServerEndpoints", &CreateSessionResponse::serverEndpoints},
        Field{"ServerSoftwareCertificates", &CreateSessionResponse::serverSoftwareCertificates},
        Field{"ServerSignature", &CreateSessionResponse::serverSignature},
        Field{"MaxRequestMessageSize", &CreateSessionResponse::maxRequestMessageSize}};
};

template <>
struct StructureSchema<ActivateSessionRequest> {
    static constexpr std::string_view kName = "ActivateSessionRequest";
    static constexpr std::uint32_t kBinaryEncodingId = 467;
    static constexpr auto kFields = std::tuple{
        Field{"RequestHeader", &ActivateSessionRequest::requestHeader},
        Field{"ClientSignature", &ActivateSessionRequest::clientSignature},
        Field{"ClientSoftwareCertificates", &ActivateSessionRequest::clientSoftwareCertificates},
        Field{"LocaleIds", &ActivateSessionRequest::localeIds},
        Field{"UserIdentityToken", &ActivateSessionRequest::userIdentityToken},
        Field{"UserTokenSignature", &ActivateSessionRequest::userTokenSignature}};
};

template <>
struct StructureSchema<ActivateSessionResponse> {
    static constexpr std::string_view kName = "ActivateSessionResponse";
    static constexpr std::uint32_t kBinaryEncodingId = 470;
    static constexpr auto kFields =
        std::tuple{Field{"ResponseHeader", &ActivateSessionResponse::responseHeader},
                   Field{"ServerNonce", &ActivateSessionResponse::serverNonce},
                   Field{"Results", &ActivateSessionResponse::results},
                   Field{"DiagnosticInfos", &ActivateSessionResponse::diagnosticInfos}};
};

template <>
struct StructureSchema<CloseSessionRequest> {
    static constexpr std::string_view kName = "CloseSessionRequest";
    static constexpr std::uint32_t kBinaryEncodingId = 473;
    static constexpr auto kFields =
        std::tuple{Field{"RequestHeader", &CloseSessionRequest::requestHeader},
                   Field{"DeleteSubscriptions", &CloseSessionRequest::deleteSubscriptions}};
};

template <>
struct StructureSchema<CloseSessionResponse> {
    static constexpr std::string_view kName = "CloseSessionResponse";
    static constexpr std::uint32_t kBinaryEncodingId = 476;
    static constexpr auto kFields =
        std::tuple{Field{"ResponseHeader", &CloseSessionResponse::responseHeader}};
};

template <>
struct StructureSchema<CancelRequest> {
    static constexpr std::string_view kName = "CancelRequest";
    static constexpr std::uint32_t kBinaryEncodingId = 479;
    static constexpr auto kFields =
        std::tuple{Field{"RequestHeader", &CancelRequest::requestHeader},
                   Field{"RequestHandle", &CancelRequest::requestHandle}};
};

template <>
struct StructureSchema<CancelResponse> {
    static constexpr std::string_view kName = "CancelResponse";
    static constexpr std::uint32_t kBinaryEncodingId = 482;
    static constexpr auto kFields =
        std::tuple{Field{"ResponseHeader", &CancelResponse::responseHeader},
                   Field{"CancelCount", &CancelResponse::cancelCount}};
};

}  // namespace velk::ua
