// Fuzz target of the RES listing import: any input, in either mode, leaves a consistent
// configuration that saves and loads back unchanged.
#include <cstddef>
#include <cstdint>

#include "exchange/res_importer.h"
#include "fuzz/exchange_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velk;
    fuzz::InputFile file(std::string_view(reinterpret_cast<const char*>(data), size));
    ExchangeServices services;
    services.reader = &file;
    CDoc document{CDocServices{}, ModelSettings{}};
    document.AddDefaultPorts();
    ResImporter(document, services).Import("/fuzz.txt", ImportMode::Replacing);
    fuzz::CheckDocument(document);
    ResImporter(document, services).Import("/fuzz.txt", ImportMode::Updating);
    fuzz::CheckDocument(document);
    return 0;
}
