#pragma once
// The whole configuration tree as readable, diffable text: one field per line, indented by
// depth, texts quoted.
#include <string>

namespace velk {

class CDoc;

std::string DumpConfiguration(const CDoc& document);

}  // namespace velk
