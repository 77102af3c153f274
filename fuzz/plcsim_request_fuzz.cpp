// Fuzz target of the controller simulator's request side: the byte stream of a line or
// connection cut into requests (framing by the first input byte; the rest arrives in
// segments of a length byte and that many bytes, a length with the top bit set also lets
// the line fall silent after it), and every request answered on the process image. Each
// request taken must come out the same from its own frame, each answer must fit a frame,
// and cutting must end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>

#include "modbus/message_framing.h"
#include "tools/plcsim/modbus_slave.h"
#include "tools/plcsim/process_image.h"
#include "tools/plcsim/request_assembler.h"

namespace {

using namespace velk;
using velk::plcsim::DecodedRequest;
using velk::plcsim::RequestAssembler;

// The request framed again (as an answer frame of the same bytes) reads back as itself.
void CheckReframed(MessageFraming framing, const DecodedRequest& request) {
    const auto frame =
        plcsim::EncodeAnswer(framing, request.transactionId, request.unit, request.pdu);
    if (frame.empty()) std::abort();  // a request that came in a frame fits one
    RequestAssembler again(framing);
    again.Feed(frame);
    std::optional<DecodedRequest> read = again.Next();
    if (!read) read = again.Idle();
    if (!read || read->unit != request.unit || read->pdu != request.pdu ||
        read->transactionId != request.transactionId || again.HasPartial()) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const auto framing = static_cast<MessageFraming>(data[0] % 3);
    plcsim::ProcessImage image;
    plcsim::ModbusSlave slave(image, 1);
    RequestAssembler assembler(framing);
    auto answer = [&](const DecodedRequest& request) {
        if (request.pdu.empty()) std::abort();
        CheckReframed(framing, request);
        const auto pdu = slave.Handle(request.pdu, 1);
        if (!pdu || pdu->empty()) std::abort();
        if (plcsim::EncodeAnswer(framing, request.transactionId, 1, *pdu).empty()) std::abort();
    };
    std::size_t at = 1;
    while (at < size) {
        const std::uint8_t header = data[at++];
        const std::size_t length = std::min<std::size_t>(header & 0x7F, size - at);
        assembler.Feed(std::span(data + at, length));
        at += length;
        // Each request takes bytes: never more requests than bytes fed.
        for (std::size_t n = 0;; ++n) {
            if (n > size) std::abort();
            const auto request = assembler.Next();
            if (!request) break;
            answer(*request);
        }
        if ((header & 0x80) != 0) {
            if (const auto request = assembler.Idle()) answer(*request);
            if (assembler.HasPartial()) std::abort();
        }
    }
    return 0;
}
