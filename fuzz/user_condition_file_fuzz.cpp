// Fuzz target of the user condition file: whatever the file holds (the first input byte
// says whether reading it failed part-way), the event space keeps its capacities, every
// name fits, and every condition's subconditions are its own and follow each other. Line
// feeds end lines; every other character, carriage returns amid a line too, is kept.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "model/ae_event_space.h"
#include "model/user_condition_file.h"
#include "platform/file_reader.h"
#include "platform/text.h"

namespace {

using velk::AeEventSpace;

class InputReader final : public velk::IFileReader {
  public:
    InputReader(std::string_view bytes, bool failPartWay) : bytes_(bytes), fail_(failPartWay) {}
    velk::FileReadResult ReadAll(const std::string&, std::string& bytes) override {
        bytes.assign(bytes_);
        return fail_ ? velk::FileReadResult::ReadError : velk::FileReadResult::Ok;
    }

  private:
    std::string_view bytes_;
    bool fail_;
};

void Check(const AeEventSpace& space) {
    const auto& conditions = space.Conditions();
    const auto& subconditions = space.Subconditions();
    if (conditions.size() > AeEventSpace::kMaxConditions ||
        subconditions.size() > AeEventSpace::kMaxSubconditions) {
        std::abort();
    }
    for (std::size_t c = 0; c < conditions.size(); ++c) {
        const auto& condition = conditions[c];
        if (velk::Utf8ToUtf16(condition.name).size() > AeEventSpace::kMaxNameLength) std::abort();
        if (condition.name.find('\n') != std::string::npos) std::abort();
        if (condition.id != c + 1 || space.CategoryIndex(condition.categoryId) < 0) std::abort();
        if (condition.firstSubcondition + condition.subconditionCount > subconditions.size()) {
            std::abort();
        }
        for (std::uint16_t k = 0; k < condition.subconditionCount; ++k) {
            if (space.ConditionOfSubcondition(condition.firstSubcondition + k) !=
                static_cast<int>(c)) {
                std::abort();
            }
        }
        if (space.SubconditionNames(static_cast<std::uint16_t>(c)).size() !=
            condition.subconditionCount) {
            std::abort();
        }
    }
    for (std::size_t s = 0; s < subconditions.size(); ++s) {
        const auto& sub = subconditions[s];
        if (sub.index != s || sub.conditionIndex >= conditions.size()) std::abort();
        if (velk::Utf8ToUtf16(sub.name).size() > AeEventSpace::kMaxNameLength) std::abort();
        if (sub.name.empty() || sub.name.find('\n') != std::string::npos) std::abort();
        // "Normal" is shared; every other subcondition lies in its condition's run.
        const auto& owner = conditions[sub.conditionIndex];
        if (s != 0 && (s < owner.firstSubcondition ||
                       s >= std::size_t{owner.firstSubcondition} + owner.subconditionCount)) {
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    InputReader reader(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1),
                       (data[0] & 1) != 0);
    AeEventSpace space;
    const std::size_t conditionsBefore = space.Conditions().size();
    const auto result = velk::LoadUserConditionFile(space, reader, {"/fuzz"});
    if (result == velk::UserConditionLoad::NotFound) std::abort();
    Check(space);
    if (space.ConditionsOfCategory(velk::kCategoryUserDefined).size() !=
        space.Conditions().size() - conditionsBefore) {
        std::abort();
    }
    // A second file adds to the first within the same limits.
    velk::LoadUserConditionFile(space, reader, {"/fuzz"});
    Check(space);
    return 0;
}
