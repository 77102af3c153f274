#pragma once
// The UA status codes this server sends and checks. A code's top two bits give its severity
// (00 good, 01 uncertain, 10 bad); the sub-code sits in bits 16..27 and the low 16 bits carry
// info bits that the codes here leave at zero.
#include <cstdint>
#include <string_view>

namespace velk::ua {

struct StatusCode {
    std::uint32_t code = 0;
    constexpr bool operator==(const StatusCode&) const = default;
};

inline constexpr bool IsGood(StatusCode s) { return (s.code & 0xC0000000u) == 0; }
inline constexpr bool IsUncertain(StatusCode s) { return (s.code & 0xC0000000u) == 0x40000000u; }
inline constexpr bool IsBad(StatusCode s) { return (s.code & 0x80000000u) != 0; }

inline constexpr StatusCode kGood{0x00000000};
inline constexpr StatusCode kUncertain{0x40000000};
inline constexpr StatusCode kBad{0x80000000};
inline constexpr StatusCode kBadUnexpectedError{0x80010000};
inline constexpr StatusCode kBadInternalError{0x80020000};
inline constexpr StatusCode kBadOutOfMemory{0x80030000};
inline constexpr StatusCode kBadResourceUnavailable{0x80040000};
inline constexpr StatusCode kBadCommunicationError{0x80050000};
inline constexpr StatusCode kBadEncodingError{0x80060000};
inline constexpr StatusCode kBadDecodingError{0x80070000};
inline constexpr StatusCode kBadEncodingLimitsExceeded{0x80080000};
inline constexpr StatusCode kBadTimeout{0x800A0000};
inline constexpr StatusCode kBadServiceUnsupported{0x800B0000};
inline constexpr StatusCode kBadShutdown{0x800C0000};
inline constexpr StatusCode kBadNothingToDo{0x800F0000};
inline constexpr StatusCode kBadTooManyOperations{0x80100000};
inline constexpr StatusCode kBadDataTypeIdUnknown{0x80110000};
inline constexpr StatusCode kBadCertificateInvalid{0x80120000};
inline constexpr StatusCode kBadSecurityChecksFailed{0x80130000};
inline constexpr StatusCode kBadCertificateTimeInvalid{0x80140000};
inline constexpr StatusCode kBadCertificateIssuerTimeInvalid{0x80150000};
inline constexpr StatusCode kBadCertificateUriInvalid{0x80170000};
inline constexpr StatusCode kBadCertificateUseNotAllowed{0x80180000};
inline constexpr StatusCode kBadCertificateIssuerUseNotAllowed{0x80190000};
inline constexpr StatusCode kBadCertificateUntrusted{0x801A0000};
inline constexpr StatusCode kBadCertificateRevocationUnknown{0x801B0000};
inline constexpr StatusCode kBadCertificateIssuerRevocationUnknown{0x801C0000};
inline constexpr StatusCode kBadCertificateRevoked{0x801D0000};
inline constexpr StatusCode kBadCertificateIssuerRevoked{0x801E0000};
inline constexpr StatusCode kBadUserAccessDenied{0x801F0000};
inline constexpr StatusCode kBadIdentityTokenInvalid{0x80200000};
inline constexpr StatusCode kBadIdentityTokenRejected{0x80210000};
inline constexpr StatusCode kBadSecureChannelIdInvalid{0x80220000};
inline constexpr StatusCode kBadInvalidTimestamp{0x80230000};
inline constexpr StatusCode kBadNonceInvalid{0x80240000};
inline constexpr StatusCode kBadSessionIdInvalid{0x80250000};
inline constexpr StatusCode kBadSessionClosed{0x80260000};
inline constexpr StatusCode kBadSessionNotActivated{0x80270000};
inline constexpr StatusCode kBadSubscriptionIdInvalid{0x80280000};
inline constexpr StatusCode kBadRequestHeaderInvalid{0x802A0000};
inline constexpr StatusCode kBadTimestampsToReturnInvalid{0x802B0000};
inline constexpr StatusCode kBadRequestCancelledByClient{0x802C0000};
inline constexpr StatusCode kBadNoCommunication{0x80310000};
inline constexpr StatusCode kBadNodeIdInvalid{0x80330000};
inline constexpr StatusCode kBadNodeIdUnknown{0x80340000};
inline constexpr StatusCode kBadAttributeIdInvalid{0x80350000};
inline constexpr StatusCode kBadIndexRangeInvalid{0x80360000};
inline constexpr StatusCode kBadIndexRangeNoData{0x80370000};
inline constexpr StatusCode kBadDataEncodingInvalid{0x80380000};
inline constexpr StatusCode kBadDataEncodingUnsupported{0x80390000};
inline constexpr StatusCode kBadNotReadable{0x803A0000};
inline constexpr StatusCode kBadNotWritable{0x803B0000};
inline constexpr StatusCode kBadOutOfRange{0x803C0000};
inline constexpr StatusCode kBadNotSupported{0x803D0000};
inline constexpr StatusCode kBadMonitoringModeInvalid{0x80410000};
inline constexpr StatusCode kBadMonitoredItemIdInvalid{0x80420000};
inline constexpr StatusCode kBadMonitoredItemFilterInvalid{0x80430000};
inline constexpr StatusCode kBadMonitoredItemFilterUnsupported{0x80440000};
inline constexpr StatusCode kBadFilterNotAllowed{0x80450000};
inline constexpr StatusCode kBadEventFilterInvalid{0x80470000};
inline constexpr StatusCode kBadFilterOperandInvalid{0x80490000};
inline constexpr StatusCode kBadContinuationPointInvalid{0x804A0000};
inline constexpr StatusCode kBadNoContinuationPoints{0x804B0000};
inline constexpr StatusCode kBadReferenceTypeIdInvalid{0x804C0000};
inline constexpr StatusCode kBadBrowseDirectionInvalid{0x804D0000};
inline constexpr StatusCode kBadSecurityModeRejected{0x80540000};
inline constexpr StatusCode kBadSecurityPolicyRejected{0x80550000};
inline constexpr StatusCode kBadTooManySessions{0x80560000};
inline constexpr StatusCode kBadBrowseNameInvalid{0x80600000};
inline constexpr StatusCode kBadTypeDefinitionInvalid{0x80630000};
inline constexpr StatusCode kBadViewIdUnknown{0x806B0000};
inline constexpr StatusCode kBadNoMatch{0x806F0000};
inline constexpr StatusCode kBadMaxAgeInvalid{0x80700000};
inline constexpr StatusCode kBadWriteNotSupported{0x80730000};
inline constexpr StatusCode kBadTypeMismatch{0x80740000};
inline constexpr StatusCode kBadMethodInvalid{0x80750000};
inline constexpr StatusCode kBadArgumentsMissing{0x80760000};
inline constexpr StatusCode kBadTooManySubscriptions{0x80770000};
inline constexpr StatusCode kBadTooManyPublishRequests{0x80780000};
inline constexpr StatusCode kBadNoSubscription{0x80790000};
inline constexpr StatusCode kBadSequenceNumberUnknown{0x807A0000};
inline constexpr StatusCode kBadMessageNotAvailable{0x807B0000};
inline constexpr StatusCode kBadTcpServerTooBusy{0x807D0000};
inline constexpr StatusCode kBadTcpMessageTypeInvalid{0x807E0000};
inline constexpr StatusCode kBadTcpSecureChannelUnknown{0x807F0000};
inline constexpr StatusCode kBadTcpMessageTooLarge{0x80800000};
inline constexpr StatusCode kBadTcpNotEnoughResources{0x80810000};
inline constexpr StatusCode kBadTcpInternalError{0x80820000};
inline constexpr StatusCode kBadTcpEndpointUrlInvalid{0x80830000};
inline constexpr StatusCode kBadRequestTimeout{0x80850000};
inline constexpr StatusCode kBadSecureChannelClosed{0x80860000};
inline constexpr StatusCode kBadSecureChannelTokenUnknown{0x80870000};
inline constexpr StatusCode kBadSequenceNumberInvalid{0x80880000};
inline constexpr StatusCode kBadOutOfService{0x808D0000};
inline constexpr StatusCode kBadDeadbandFilterInvalid{0x808E0000};
inline constexpr StatusCode kBadConditionAlreadyDisabled{0x80980000};
inline constexpr StatusCode kBadConditionDisabled{0x80990000};
inline constexpr StatusCode kBadEventIdUnknown{0x809A0000};
inline constexpr StatusCode kBadRequestTooLarge{0x80B80000};
inline constexpr StatusCode kBadResponseTooLarge{0x80B90000};
inline constexpr StatusCode kBadProtocolVersionUnsupported{0x80BE0000};
inline constexpr StatusCode kBadFilterOperatorInvalid{0x80C10000};
inline constexpr StatusCode kBadFilterOperatorUnsupported{0x80C20000};
inline constexpr StatusCode kBadFilterOperandCountMismatch{0x80C30000};
inline constexpr StatusCode kBadFilterElementInvalid{0x80C40000};
inline constexpr StatusCode kBadConditionAlreadyEnabled{0x80CC0000};
inline constexpr StatusCode kBadConditionBranchAlreadyAcked{0x80CF0000};
inline constexpr StatusCode kBadTooManyMonitoredItems{0x80DB0000};
inline constexpr StatusCode kBadCertificateChainIncomplete{0x810D0000};

// The symbolic name of a code listed above ("BadDecodingError"), for traces; an unlisted
// code gives an empty view.
std::string_view StatusCodeName(StatusCode status);

}  // namespace velk::ua
