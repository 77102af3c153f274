// Symbolic names of the status codes, for traces.
#include "opcua/status_codes.h"

namespace velk::ua {

std::string_view StatusCodeName(StatusCode status) {
    switch (status.code) {
        case kGood.code:
            return "Good";
        case kUncertain.code:
            return "Uncertain";
        case kBad.code:
            return "Bad";
        case kBadUnexpectedError.code:
            return "BadUnexpectedError";
        case kBadInternalError.code:
            return "BadInternalError";
        case kBadOutOfMemory.code:
            return "BadOutOfMemory";
        case kBadResourceUnavailable.code:
            return "BadResourceUnavailable";
        case kBadCommunicationError.code:
            return "BadCommunicationError";
        case kBadEncodingError.code:
            return "BadEncodingError";
        case kBadDecodingError.code:
            return "BadDecodingError";
        case kBadEncodingLimitsExceeded.code:
            return "BadEncodingLimitsExceeded";
        case kBadTimeout.code:
            return "BadTimeout";
        case kBadServiceUnsupported.code:
            return "BadServiceUnsupported";
        case kBadShutdown.code:
            return "BadShutdown";
        case kBadNothingToDo.code:
            return "BadNothingToDo";
        case kBadTooManyOperations.code:
            return "BadTooManyOperations";
        case kBadDataTypeIdUnknown.code:
            return "BadDataTypeIdUnknown";
        case kBadSecurityChecksFailed.code:
            return "BadSecurityChecksFailed";
        case kBadSecureChannelIdInvalid.code:
            return "BadSecureChannelIdInvalid";
        case kBadInvalidTimestamp.code:
            return "BadInvalidTimestamp";
        case kBadNonceInvalid.code:
            return "BadNonceInvalid";
        case kBadRequestHeaderInvalid.code:
            return "BadRequestHeaderInvalid";
        case kBadNoCommunication.code:
            return "BadNoCommunication";
        case kBadNodeIdInvalid.code:
            return "BadNodeIdInvalid";
        case kBadNodeIdUnknown.code:
            return "BadNodeIdUnknown";
        case kBadNotWritable.code:
            return "BadNotWritable";
        case kBadSecurityModeRejected.code:
            return "BadSecurityModeRejected";
        case kBadSecurityPolicyRejected.code:
            return "BadSecurityPolicyRejected";
        case kBadTcpServerTooBusy.code:
            return "BadTcpServerTooBusy";
        case kBadTcpMessageTypeInvalid.code:
            return "BadTcpMessageTypeInvalid";
        case kBadTcpSecureChannelUnknown.code:
            return "BadTcpSecureChannelUnknown";
        case kBadTcpMessageTooLarge.code:
            return "BadTcpMessageTooLarge";
        case kBadTcpNotEnoughResources.code:
            return "BadTcpNotEnoughResources";
        case kBadTcpInternalError.code:
            return "BadTcpInternalError";
        case kBadTcpEndpointUrlInvalid.code:
            return "BadTcpEndpointUrlInvalid";
        case kBadRequestTimeout.code:
            return "BadRequestTimeout";
        case kBadSecureChannelClosed.code:
            return "BadSecureChannelClosed";
        case kBadSecureChannelTokenUnknown.code:
            return "BadSecureChannelTokenUnknown";
        case kBadSequenceNumberInvalid.code:
            return "BadSequenceNumberInvalid";
        case kBadOutOfService.code:
            return "BadOutOfService";
        case kBadRequestTooLarge.code:
            return "BadRequestTooLarge";
        case kBadResponseTooLarge.code:
            return "BadResponseTooLarge";
        case kBadProtocolVersionUnsupported.code:
            return "BadProtocolVersionUnsupported";
    }
    return {};
}

}  // namespace velk::ua
