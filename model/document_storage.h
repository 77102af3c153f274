#pragma once
// How the document reaches its configuration file: the ".vlk" reader and writer implement
// this; document tests use a double.
#include <string>

namespace velk {

class CDoc;

class IDocumentStorage {
  public:
    virtual ~IDocumentStorage() = default;
    // Replaces the document's configuration with the file's. On failure the configuration
    // is reset as by New and message holds the user's text (e.g. "Unexpected file format.").
    virtual bool Load(CDoc& document, const std::string& path, std::string& message) = 0;
    // Writes the configuration in the newest layout without ever destroying the previous
    // file on failure; message holds the user's text.
    virtual bool Save(const CDoc& document, const std::string& path, std::string& message) = 0;
};

}  // namespace velk
