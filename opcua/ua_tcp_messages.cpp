// The connection protocol's messages. Their fields are listed once, in schema tables, and
// encoded by the structure codec.
#include "opcua/ua_tcp_messages.h"

#include <array>
#include <string_view>
#include <tuple>

#include "opcua/structure_codec.h"

namespace velk::ua {

template <>
struct StructureSchema<HelloMessage> {
    static constexpr std::string_view kName = "Hello";
    static constexpr auto kFields =
        std::tuple{Field{"ProtocolVersion", &HelloMessage::protocolVersion},
                   Field{"ReceiveBufferSize", &HelloMessage::receiveBufferSize},
                   Field{"SendBufferSize", &HelloMessage::sendBufferSize},
                   Field{"MaxMessageSize", &HelloMessage::maxMessageSize},
                   Field{"MaxChunkCount", &HelloMessage::maxChunkCount},
                   Field{"EndpointUrl", &HelloMessage::endpointUrl}};
};

template <>
struct StructureSchema<AcknowledgeMessage> {
    static constexpr std::string_view kName = "Acknowledge";
    static constexpr auto kFields =
        std::tuple{Field{"ProtocolVersion", &AcknowledgeMessage::protocolVersion},
                   Field{"ReceiveBufferSize", &AcknowledgeMessage::receiveBufferSize},
                   Field{"SendBufferSize", &AcknowledgeMessage::sendBufferSize},
                   Field{"MaxMessageSize", &AcknowledgeMessage::maxMessageSize},
                   Field{"MaxChunkCount", &AcknowledgeMessage::maxChunkCount}};
};

template <>
struct StructureSchema<ErrorMessage> {
    static constexpr std::string_view kName = "Error";
    static constexpr auto kFields =
        std::tuple{Field{"Error", &ErrorMessage::error}, Field{"Reason", &ErrorMessage::reason}};
};

template <>
struct StructureSchema<ReverseHelloMessage> {
    static constexpr std::string_view kName = "ReverseHello";
    static constexpr auto kFields =
        std::tuple{Field{"ServerUri", &ReverseHelloMessage::serverUri},
                   Field{"EndpointUrl", &ReverseHelloMessage::endpointUrl}};
};

namespace {

struct TypeCode {
    MessageType type;
    std::array<char, 3> code;
};

constexpr TypeCode kTypeCodes[] = {
    {MessageType::kHello, {'H', 'E', 'L'}},
    {MessageType::kAcknowledge, {'A', 'C', 'K'}},
    {MessageType::kError, {'E', 'R', 'R'}},
    {MessageType::kReverseHello, {'R', 'H', 'E'}},
    {MessageType::kMessage, {'M', 'S', 'G'}},
    {MessageType::kOpenSecureChannel, {'O', 'P', 'N'}},
    {MessageType::kCloseSecureChannel, {'C', 'L', 'O'}},
};

bool IsConnectionMessage(MessageType type) {
    return type == MessageType::kHello || type == MessageType::kAcknowledge ||
           type == MessageType::kError || type == MessageType::kReverseHello;
}

template <class M>
std::vector<std::uint8_t> EncodeWhole(MessageType type, const M& message) {
    std::vector<std::uint8_t> out;
    AppendMessageHeader(out, type, ChunkType::kFinal);
    BinaryWriter w;
    Encode(w, message);
    const auto& body = w.Bytes();
    out.insert(out.end(), body.begin(), body.end());
    FinishMessage(out);
    return out;
}

template <class M>
StatusCode DecodeWhole(std::span<const std::uint8_t> body, M& message, DecodeLimits limits) {
    BinaryReader r(body, limits);
    Decode(r, message);
    if (r.Ok() && r.Remaining() != 0) r.Fail(kBadDecodingError);
    return r.Status();
}

// A string cut to at most limit bytes without splitting a UTF-8 sequence.
std::string CutUtf8(const std::string& text, std::size_t limit) {
    if (text.size() <= limit) return text;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

}  // namespace

StatusCode ParseMessageHeader(std::span<const std::uint8_t> bytes, MessageHeader& header) {
    if (bytes.size() < kMessageHeaderSize) return kBadDecodingError;
    const TypeCode* found = nullptr;
    for (const auto& t : kTypeCodes) {
        if (bytes[0] == t.code[0] && bytes[1] == t.code[1] && bytes[2] == t.code[2]) found = &t;
    }
    if (found == nullptr) return kBadTcpMessageTypeInvalid;
    const char chunk = static_cast<char>(bytes[3]);
    if (chunk != 'F' && (IsConnectionMessage(found->type) || (chunk != 'C' && chunk != 'A'))) {
        return kBadTcpMessageTypeInvalid;
    }
    header.type = found->type;
    header.chunk = static_cast<ChunkType>(chunk);
    header.size =
        static_cast<std::uint32_t>(bytes[4]) | (static_cast<std::uint32_t>(bytes[5]) << 8) |
        (static_cast<std::uint32_t>(bytes[6]) << 16) | (static_cast<std::uint32_t>(bytes[7]) << 24);
    if (header.size < kMessageHeaderSize) return kBadDecodingError;
    return kGood;
}

void AppendMessageHeader(std::vector<std::uint8_t>& out, MessageType type, ChunkType chunk) {
    for (const auto& t : kTypeCodes) {
        if (t.type != type) continue;
        out.insert(out.end(), t.code.begin(), t.code.end());
    }
    out.push_back(static_cast<std::uint8_t>(chunk));
    out.insert(out.end(), 4, 0);
}

void FinishMessage(std::vector<std::uint8_t>& out, std::size_t start) {
    const auto size = static_cast<std::uint32_t>(out.size() - start);
    for (int i = 0; i < 4; ++i) out[start + 4 + i] = static_cast<std::uint8_t>(size >> (8 * i));
}

std::vector<std::uint8_t> EncodeMessage(const HelloMessage& message) {
    return EncodeWhole(MessageType::kHello, message);
}

std::vector<std::uint8_t> EncodeMessage(const AcknowledgeMessage& message) {
    return EncodeWhole(MessageType::kAcknowledge, message);
}

std::vector<std::uint8_t> EncodeMessage(const ErrorMessage& message) {
    return EncodeWhole(MessageType::kError,
                       ErrorMessage{message.error, CutUtf8(message.reason, kMaxReasonLength)});
}

std::vector<std::uint8_t> EncodeMessage(const ReverseHelloMessage& message) {
    return EncodeWhole(MessageType::kReverseHello, message);
}

StatusCode DecodeMessageBody(std::span<const std::uint8_t> body, HelloMessage& message) {
    DecodeLimits limits;
    limits.maxStringLength = kMaxUrlLength;
    const StatusCode status = DecodeWhole(body, message, limits);
    return status == kBadEncodingLimitsExceeded ? kBadTcpEndpointUrlInvalid : status;
}

StatusCode DecodeMessageBody(std::span<const std::uint8_t> body, AcknowledgeMessage& message) {
    return DecodeWhole(body, message, DecodeLimits{});
}

StatusCode DecodeMessageBody(std::span<const std::uint8_t> body, ErrorMessage& message) {
    BinaryReader r(body);
    Decode(r, message.error);
    // A reason longer than allowed is ignored, not the error it comes with.
    bool isNull = false;
    const std::uint32_t length = r.ReadByteLength(0x7FFFFFFF, isNull);
    const auto text = r.ReadBytes(length);
    if (!r.Ok()) return r.Status();
    if (r.Remaining() != 0) return kBadDecodingError;
    message.reason = length <= kMaxReasonLength
                         ? std::string(reinterpret_cast<const char*>(text.data()), text.size())
                         : std::string();
    return kGood;
}

StatusCode DecodeMessageBody(std::span<const std::uint8_t> body, ReverseHelloMessage& message) {
    DecodeLimits limits;
    limits.maxStringLength = kMaxUrlLength;
    const StatusCode status = DecodeWhole(body, message, limits);
    return status == kBadEncodingLimitsExceeded ? kBadTcpEndpointUrlInvalid : status;
}

void EncodeErrorBody(std::vector<std::uint8_t>& out, StatusCode error, const std::string& reason) {
    BinaryWriter w;
    Encode(w, ErrorMessage{error, CutUtf8(reason, kMaxReasonLength)});
    const auto& body = w.Bytes();
    out.insert(out.end(), body.begin(), body.end());
}

}  // namespace velk::ua
