#include "platform/settings_store.h"

#include "platform/text.h"

namespace velk {

RegValue RegValue::Dword(std::uint32_t value) {
    RegValue v;
    v.type = REG_DWORD;
    for (int i = 0; i < 4; ++i) v.data += static_cast<char>((value >> (8 * i)) & 0xFF);
    return v;
}

RegValue RegValue::String(std::string_view utf8) {
    RegValue v;
    v.type = REG_SZ;
    v.data = Utf8ToUtf16LeBytes(utf8);
    v.data.append(2, '\0');
    return v;
}

}  // namespace velk
