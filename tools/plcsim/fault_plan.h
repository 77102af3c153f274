#pragma once
// Misbehaviour asked for on one channel. Counts are the number of further answers the
// fault applies to; kAlways keeps it until it is switched off.
#include <cstdint>

namespace velk::plcsim {

struct FaultPlan {
    static constexpr int kAlways = -1;

    bool silent = false;  // read requests, never answer
    int delayMs = 0;      // answer this late
    std::uint8_t exceptionCode = 0;
    int exceptionCount = 0;  // answer with an exception instead
    int lengthDelta = 0;     // bytes added (> 0) or cut (< 0) at the end of the answer
    int lengthCount = 0;
    int splitCount = 0;   // send the answer in parts
    int splitGapMs = 50;  // between two parts
    int splitParts = 2;   // parts of a split answer; beyond its length, one byte each
    int hangupCount = 0;  // close the connection instead of answering (TCP)

    // Uses up one application of a counted fault; true when it applies to this answer.
    static bool Take(int& count) {
        if (count == 0) {
            return false;
        }
        if (count > 0) {
            --count;
        }
        return true;
    }
};

}  // namespace velk::plcsim
