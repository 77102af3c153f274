// Fuzz target of the "Modbus" clipboard tag list stream: any input either fails cleanly or
// gives tags that write and read back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/config_file_reader.h"
#include "model/config_file_writer.h"
#include "model/o_modbus_tag.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velk;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::unique_ptr<OModbusTag>> tags;
    if (!ConfigFileReader::ReadTagListBytes(input, tags)) {
        if (!tags.empty()) std::abort();
        return 0;
    }
    std::vector<const OModbusTag*> view;
    for (const auto& tag : tags) {
        if (tag->group != nullptr) std::abort();
        view.push_back(tag.get());
    }
    const std::string saved = ConfigFileWriter::TagListBytes(view);
    std::vector<std::unique_ptr<OModbusTag>> again;
    if (!ConfigFileReader::ReadTagListBytes(saved, again) || again.size() != tags.size()) {
        std::abort();
    }
    view.clear();
    for (const auto& tag : again) view.push_back(tag.get());
    if (ConfigFileWriter::TagListBytes(view) != saved) std::abort();
    return 0;
}
