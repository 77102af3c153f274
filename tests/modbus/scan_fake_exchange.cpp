#include "tests/modbus/scan_fake_exchange.h"

#include <algorithm>

#include "modbus/mbap_header.h"

namespace velk::testing {
namespace {

std::uint16_t Word(const std::vector<std::uint8_t>& pdu, std::size_t at) {
    return static_cast<std::uint16_t>(pdu[at] << 8 | pdu[at + 1]);
}

void PutWord(std::vector<std::uint8_t>& out, std::uint16_t w) {
    out.push_back(static_cast<std::uint8_t>(w >> 8));
    out.push_back(static_cast<std::uint8_t>(w & 0xFF));
}

std::vector<std::uint8_t> AnswerPdu(const std::vector<std::uint8_t>& pdu, ProcessImage& image) {
    std::vector<std::uint8_t> out{pdu[0]};
    const std::uint16_t address = Word(pdu, 1);
    const std::uint16_t second = Word(pdu, 3);
    switch (pdu[0]) {
        case 1:
        case 2: {
            auto& bits = pdu[0] == 1 ? image.coils : image.discretes;
            out.push_back(static_cast<std::uint8_t>((second + 7) / 8));
            for (std::uint16_t byte = 0; byte < (second + 7) / 8; ++byte) {
                std::uint8_t b = 0;
                for (int k = 0; k < 8 && byte * 8 + k < second; ++k)
                    if (bits[address + byte * 8 + k]) b |= static_cast<std::uint8_t>(1 << k);
                out.push_back(b);
            }
            return out;
        }
        case 3:
        case 4: {
            auto& words = pdu[0] == 3 ? image.holding : image.input;
            out.push_back(static_cast<std::uint8_t>(second * 2));
            for (std::uint16_t n = 0; n < second; ++n) PutWord(out, words[address + n]);
            return out;
        }
        case 5:
            image.coils[address] = second == 0xFF00 ? 0xFFFF : 0;
            return pdu;
        case 6:
            image.holding[address] = second;
            return pdu;
        case 15:
            for (std::uint16_t n = 0; n < second; ++n)
                image.coils[address + n] = (pdu[6 + n / 8] >> (n % 8)) & 1 ? 0xFFFF : 0;
            out.insert(out.end(), pdu.begin() + 1, pdu.begin() + 5);
            return out;
        case 16:
            for (std::uint16_t n = 0; n < second; ++n)
                image.holding[address + n] = Word(pdu, 6 + 2 * n);
            out.insert(out.end(), pdu.begin() + 1, pdu.begin() + 5);
            return out;
        default:
            return {};
    }
}

}  // namespace

std::vector<std::uint8_t> ReadPdu(std::uint8_t function, std::uint16_t start, std::uint16_t count) {
    std::vector<std::uint8_t> pdu{function};
    PutWord(pdu, start);
    PutWord(pdu, count);
    return pdu;
}

void ScanFakeExchange::Exchange(ODevice& device, OMessage& message) {
    if (beforeWire) beforeWire(device, message);
    message.MarkOnWire();
    if (beforeAnswer) beforeAnswer(device, message);
    if (!Answer(message)) message.Reset();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        devices.push_back(&device);
    }
    if (afterAnswer) afterAnswer(device, message);
}

bool ScanFakeExchange::Answer(OMessage& message) {
    const auto frame = message.Frame();
    std::vector<std::uint8_t> pdu(frame.begin() + kMbapHeaderSize, frame.end());
    std::lock_guard<std::mutex> lock(mutex_);
    const std::size_t index = requests_.size();
    requests_.push_back(pdu);
    if (failNext_ > 0) {
        --failNext_;
        return false;
    }
    if (std::find(failIndexes_.begin(), failIndexes_.end(), index) != failIndexes_.end())
        return false;
    const std::vector<std::uint8_t> answerPdu = AnswerPdu(pdu, image);
    if (answerPdu.empty()) return false;
    std::vector<std::uint8_t> answer(kMbapPrefixSize, 0);
    const auto transaction = static_cast<std::uint16_t>(frame[0] << 8 | frame[1]);
    WriteMbapPrefix(answer, transaction, static_cast<std::uint16_t>(answerPdu.size() + 1));
    answer.push_back(frame[6]);
    answer.insert(answer.end(), answerPdu.begin(), answerPdu.end());
    return message.StoreAnswer(answer, answerTime.load());
}

std::vector<std::vector<std::uint8_t>> ScanFakeExchange::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::size_t ScanFakeExchange::RequestCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_.size();
}

void ScanFakeExchange::ClearRequests() {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.clear();
    devices.clear();
    failIndexes_.clear();
}

void ScanFakeExchange::FailNext(int count) {
    std::lock_guard<std::mutex> lock(mutex_);
    failNext_ = count;
}

void ScanFakeExchange::FailRequestIndex(std::size_t index) {
    std::lock_guard<std::mutex> lock(mutex_);
    failIndexes_.push_back(index);
}

}  // namespace velk::testing
