// Fuzz target of the configuration file reader: any input either fails cleanly or loads a
// tree whose saved form loads again and saves to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "model/c_doc.h"
#include "model/config_file_reader.h"
#include "model/config_file_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velk;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    CDoc first{CDocServices{}, ModelSettings{}};
    if (!ConfigFileReader::ReadDocumentBytes(input, first)) {
        // A failed load keeps nothing of what was read.
        if (!first.Devices().empty() || !first.documentTagList.empty()) std::abort();
        return 0;
    }
    const std::string saved = ConfigFileWriter::DocumentBytes(first);
    CDoc second{CDocServices{}, ModelSettings{}};
    if (!ConfigFileReader::ReadDocumentBytes(saved, second)) std::abort();
    if (ConfigFileWriter::DocumentBytes(second) != saved) std::abort();
    if (second.documentTagList.size() != first.documentTagList.size()) std::abort();
    return 0;
}
