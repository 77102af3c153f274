#include "tools/client/ae_event_text.h"

#include <cctype>
#include <sstream>

#include "tools/client/lib/time_text.h"

namespace velk::client {

std::string ConditionStateText(std::uint16_t state) {
    std::string text = (state & 0x02) ? "active" : "inactive";
    text += (state & 0x04) ? ",acked" : ",unacked";
    text += (state & 0x01) ? ",enabled" : ",disabled";
    return text;
}

std::string EventLine(const AeEvent& e) {
    std::ostringstream line;
    line << FileTimeText(e.time) << "  " << e.source << "  " << e.condition;
    if (!e.subcondition.empty()) line << "/" << e.subcondition;
    line << "  severity " << e.severity << "  \"" << e.message << "\"  "
         << ConditionStateText(e.newState) << "  cookie " << e.cookie;
    if (e.changeMask == 0x02) line << "  acknowledged by \"" << e.actor << "\"";
    return line.str();
}

namespace {

bool Match(const char* s, const char* p) {
    for (; *p; ++p, ++s) {
        if (*p == '*') {
            for (const char* rest = s;; ++rest) {
                if (Match(rest, p + 1)) return true;
                if (!*rest) return false;
            }
        }
        if (!*s) return false;
        if (*p == '?') continue;
        if (*p == '#') {
            if (!std::isdigit(static_cast<unsigned char>(*s))) return false;
            continue;
        }
        if (std::tolower(static_cast<unsigned char>(*p)) !=
            std::tolower(static_cast<unsigned char>(*s)))
            return false;
    }
    return *s == '\0';
}

}  // namespace

bool SourceMatches(const std::string& source, const std::string& pattern) {
    return Match(source.c_str(), pattern.c_str());
}

}  // namespace velk::client
