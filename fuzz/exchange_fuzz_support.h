#pragma once
// What the import fuzz targets share: the input served as the one file to import, and the
// consistency checks every import must leave true, whatever it read.
#include <cstdlib>
#include <string>
#include <string_view>

#include "model/c_doc.h"
#include "model/config_file_reader.h"
#include "model/config_file_writer.h"
#include "model/o_modbus_tag.h"
#include "platform/file_reader.h"

namespace velk::fuzz {

class InputFile final : public IFileReader {
  public:
    explicit InputFile(std::string_view bytes) : bytes_(bytes) {}
    FileReadResult ReadAll(const std::string&, std::string& bytes) override {
        bytes.assign(bytes_);
        return FileReadResult::Ok;
    }

  private:
    std::string_view bytes_;
};

// Every listed tag belongs to a device of the tree, and the configuration saves and loads.
// The first load applies the file's post-load rules (an imported device's supervisor time 0
// loads as 1000, for one); from then on saving and loading change nothing.
inline void CheckDocument(const CDoc& document) {
    for (const OModbusTag* tag : document.documentTagList) {
        if (tag == nullptr || tag->device == nullptr) std::abort();
    }
    CDoc loaded{CDocServices{}, ModelSettings{}};
    if (!ConfigFileReader::ReadDocumentBytes(ConfigFileWriter::DocumentBytes(document), loaded)) {
        std::abort();
    }
    const std::string saved = ConfigFileWriter::DocumentBytes(loaded);
    CDoc again{CDocServices{}, ModelSettings{}};
    if (!ConfigFileReader::ReadDocumentBytes(saved, again)) std::abort();
    if (ConfigFileWriter::DocumentBytes(again) != saved) std::abort();
    if (again.documentTagList.size() != document.documentTagList.size()) std::abort();
}

}  // namespace velk::fuzz
