#pragma once
// The UA TCP connection protocol: the 8-byte header every message and chunk starts with,
// and the Hello, Acknowledge, Error and ReverseHello messages.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "opcua/status_codes.h"

namespace velk::ua {

enum class MessageType : std::uint8_t {
    kHello,               // "HEL"
    kAcknowledge,         // "ACK"
    kError,               // "ERR"
    kReverseHello,        // "RHE"
    kMessage,             // "MSG", a service request or response on a secure channel
    kOpenSecureChannel,   // "OPN"
    kCloseSecureChannel,  // "CLO"
};

enum class ChunkType : char {
    kFinal = 'F',
    kIntermediate = 'C',
    kAbort = 'A',
};

inline constexpr std::size_t kMessageHeaderSize = 8;
// Longest EndpointUrl of a Hello and Reason of an Error or abort chunk, in bytes.
inline constexpr std::uint32_t kMaxUrlLength = 4096;
inline constexpr std::uint32_t kMaxReasonLength = 4096;
// The only version of the connection protocol there is.
inline constexpr std::uint32_t kProtocolVersion = 0;

struct MessageHeader {
    MessageType type = MessageType::kHello;
    ChunkType chunk = ChunkType::kFinal;
    // The whole chunk, header included.
    std::uint32_t size = 0;
};

// The header at the start of bytes (at least kMessageHeaderSize of them). An unknown message
// type, or a chunk type other than 'F', 'C', 'A' (other than 'F' for the connection
// messages HEL, ACK, ERR and RHE) is BadTcpMessageTypeInvalid; a size below the header's
// BadDecodingError.
StatusCode ParseMessageHeader(std::span<const std::uint8_t> bytes, MessageHeader& header);
// Appends a header; its size is patched by FinishMessage.
void AppendMessageHeader(std::vector<std::uint8_t>& out, MessageType type, ChunkType chunk);
// Writes the size of the chunk that starts at offset start of out and runs to its end.
void FinishMessage(std::vector<std::uint8_t>& out, std::size_t start = 0);

struct HelloMessage {
    std::uint32_t protocolVersion = kProtocolVersion;
    std::uint32_t receiveBufferSize = 0;
    std::uint32_t sendBufferSize = 0;
    std::uint32_t maxMessageSize = 0;  // of a response; 0: no limit
    std::uint32_t maxChunkCount = 0;   // of a response; 0: no limit
    std::string endpointUrl;
    bool operator==(const HelloMessage&) const = default;
};

struct AcknowledgeMessage {
    std::uint32_t protocolVersion = kProtocolVersion;
    std::uint32_t receiveBufferSize = 0;
    std::uint32_t sendBufferSize = 0;
    std::uint32_t maxMessageSize = 0;  // of a request; 0: no limit
    std::uint32_t maxChunkCount = 0;   // of a request; 0: no limit
    bool operator==(const AcknowledgeMessage&) const = default;
};

struct ErrorMessage {
    StatusCode error;
    std::string reason;
    bool operator==(const ErrorMessage&) const = default;
};

struct ReverseHelloMessage {
    std::string serverUri;
    std::string endpointUrl;
    bool operator==(const ReverseHelloMessage&) const = default;
};

// Whole messages, header included.
std::vector<std::uint8_t> EncodeMessage(const HelloMessage& message);
std::vector<std::uint8_t> EncodeMessage(const AcknowledgeMessage& message);
// A reason longer than kMaxReasonLength is cut (at a character boundary).
std::vector<std::uint8_t> EncodeMessage(const ErrorMessage& message);
std::vector<std::uint8_t> EncodeMessage(const ReverseHelloMessage& message);

// Decode the body that follows the header; bytes left over or missing are
// BadDecodingError. An EndpointUrl over kMaxUrlLength is BadTcpEndpointUrlInvalid; an
// Error's reason over kMaxReasonLength is dropped (the code still counts).
StatusCode DecodeMessageBody(std::span<const std::uint8_t> body, HelloMessage& message);
StatusCode DecodeMessageBody(std::span<const std::uint8_t> body, AcknowledgeMessage& message);
StatusCode DecodeMessageBody(std::span<const std::uint8_t> body, ErrorMessage& message);
StatusCode DecodeMessageBody(std::span<const std::uint8_t> body, ReverseHelloMessage& message);

// The Error and Reason of an Error message or an abort chunk, written and read the same way.
void EncodeErrorBody(std::vector<std::uint8_t>& out, StatusCode error, const std::string& reason);

}  // namespace velk::ua
