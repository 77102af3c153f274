#include "tools/plcsim/request_assembler.h"

#include <algorithm>
#include <limits>

#include "modbus/crc16.h"
#include "modbus/hex_pair.h"
#include "modbus/lrc.h"
#include "modbus/mbap_header.h"

namespace velk::plcsim {
namespace {

constexpr std::size_t kUnknownLength = std::numeric_limits<std::size_t>::max();
constexpr std::size_t kMaxRtuFrame = 256;
constexpr std::size_t kMaxAsciiFrame = 513;

}  // namespace

void RequestAssembler::Feed(std::span<const std::uint8_t> bytes) {
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
}

std::optional<DecodedRequest> RequestAssembler::Next() {
    switch (framing_) {
        case MessageFraming::kRtu:
            return NextRtu();
        case MessageFraming::kTcp:
            return NextTcp();
        case MessageFraming::kAscii:
            break;
    }
    return NextAscii();
}

std::optional<DecodedRequest> RequestAssembler::Idle() {
    if (pending_.empty()) {
        return std::nullopt;
    }
    if (framing_ == MessageFraming::kRtu && RtuRequestLength() == kUnknownLength) {
        return TakeRtu(pending_.size());
    }
    ++dropped_;
    pending_.clear();
    return std::nullopt;
}

std::size_t RequestAssembler::RtuRequestLength() const {
    if (pending_.size() < 2) {
        return 0;
    }
    switch (pending_[1]) {
        case 1:
        case 2:
        case 3:
        case 4:
        case 5:
        case 6:
        case 8:
            return 8;
        case 7:
        case 11:
        case 12:
        case 17:
            return 4;
        case 15:
        case 16:
            return pending_.size() < 7 ? 0 : 9 + std::size_t{pending_[6]};
        case 70:
            return pending_.size() < 3 ? 0 : 5 + std::size_t{pending_[2]};
        default:
            return kUnknownLength;
    }
}

std::optional<DecodedRequest> RequestAssembler::TakeRtu(std::size_t length) {
    std::vector<std::uint8_t> frame(pending_.begin(), pending_.begin() + length);
    pending_.erase(pending_.begin(), pending_.begin() + length);
    if (frame.size() < 4) {
        ++dropped_;
        return std::nullopt;
    }
    const std::uint16_t crc = Crc16(std::span(frame).first(frame.size() - 2));
    if (frame[frame.size() - 2] != (crc & 0xFF) || frame[frame.size() - 1] != (crc >> 8)) {
        // Whatever follows a corrupted frame cannot be trusted either.
        ++dropped_;
        pending_.clear();
        return std::nullopt;
    }
    DecodedRequest request;
    request.unit = frame[0];
    request.pdu.assign(frame.begin() + 1, frame.end() - 2);
    return request;
}

std::optional<DecodedRequest> RequestAssembler::NextRtu() {
    const std::size_t length = RtuRequestLength();
    if (length == 0 || length == kUnknownLength) {
        if (pending_.size() > kMaxRtuFrame) {
            ++dropped_;
            pending_.clear();
        }
        return std::nullopt;
    }
    if (pending_.size() < length) {
        return std::nullopt;
    }
    return TakeRtu(length);
}

std::optional<DecodedRequest> RequestAssembler::NextAscii() {
    while (true) {
        const auto colon = std::find(pending_.begin(), pending_.end(), ':');
        pending_.erase(pending_.begin(), colon);  // noise before the start character
        const auto lf = std::find(pending_.begin(), pending_.end(), '\n');
        if (lf == pending_.end()) {
            if (pending_.size() > kMaxAsciiFrame) {
                ++dropped_;
                pending_.clear();
            }
            return std::nullopt;
        }
        std::vector<std::uint8_t> frame(pending_.begin(), lf + 1);
        pending_.erase(pending_.begin(), lf + 1);
        // ':' , at least address, function and LRC pairs, CR LF, an even number of digits.
        bool good =
            frame.size() >= 9 && frame[frame.size() - 2] == '\r' && (frame.size() - 3) % 2 == 0;
        for (std::size_t i = 1; good && i < frame.size() - 2; ++i) {
            good = IsUpperHexDigit(static_cast<char>(frame[i]));
        }
        if (!good) {
            ++dropped_;
            continue;
        }
        std::vector<std::uint8_t> bytes;
        for (std::size_t i = 1; i + 2 < frame.size(); i += 2) {
            bytes.push_back(
                DecodeHexPair(static_cast<char>(frame[i]), static_cast<char>(frame[i + 1])));
        }
        const std::uint8_t lrc = bytes.back();
        bytes.pop_back();
        if (Lrc(bytes) != lrc) {
            ++dropped_;
            continue;
        }
        DecodedRequest request;
        request.unit = bytes[0];
        request.pdu.assign(bytes.begin() + 1, bytes.end());
        return request;
    }
}

std::optional<DecodedRequest> RequestAssembler::NextTcp() {
    if (broken_) {
        return std::nullopt;
    }
    const auto header = ReadMbapHeader(pending_);
    if (!header) {
        return std::nullopt;
    }
    if (header->protocolId != 0 || header->length < 2 || header->length > 254) {
        broken_ = true;
        ++dropped_;
        pending_.clear();
        return std::nullopt;
    }
    const std::size_t total = kMbapPrefixSize + header->length;
    if (pending_.size() < total) {
        return std::nullopt;
    }
    DecodedRequest request;
    request.transactionId = header->transactionId;
    request.unit = header->unitId;
    request.pdu.assign(pending_.begin() + kMbapHeaderSize, pending_.begin() + total);
    pending_.erase(pending_.begin(), pending_.begin() + total);
    return request;
}

std::vector<std::uint8_t> EncodeAnswer(MessageFraming framing, std::uint16_t transactionId,
                                       std::uint8_t unit, std::span<const std::uint8_t> pdu) {
    auto message = CreateMessage(framing);
    bool fits = message->PutByte(unit);
    for (std::uint8_t byte : pdu) {
        fits = fits && message->PutByte(byte);
    }
    if (!fits || !message->Finish()) {
        return {};
    }
    std::vector<std::uint8_t> frame(message->Frame().begin(), message->Frame().end());
    if (framing == MessageFraming::kTcp) {
        WriteMbapPrefix(frame, transactionId, static_cast<std::uint16_t>(frame.size() - 6));
    }
    return frame;
}

}  // namespace velk::plcsim
