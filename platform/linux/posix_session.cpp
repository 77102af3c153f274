#include "platform/linux/posix_session.h"

#include <grp.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace velk {
namespace {
constexpr const char kAdminGroup[] = "velkopc-admin";

bool InAdminGroup() {
    const group* admins = ::getgrnam(kAdminGroup);
    if (admins == nullptr) return false;
    if (::getegid() == admins->gr_gid) return true;
    const int count = ::getgroups(0, nullptr);
    if (count <= 0) return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = ::getgroups(count, groups.data());
    for (int i = 0; i < got; ++i) {
        if (groups[static_cast<std::size_t>(i)] == admins->gr_gid) return true;
    }
    return false;
}
}  // namespace

bool PosixAdminCheck::IsAdministrator() const {
    const char* withdrawn = std::getenv("VELKOPC_NOT_ADMIN");
    if (withdrawn && std::strcmp(withdrawn, "1") == 0) return false;
    return ::geteuid() == 0 || InAdminGroup();
}

void ConsoleMessageBox::Show(const std::string& text, MessageKind kind) {
    const char* prefix = kind == MessageKind::Error     ? "error: "
                         : kind == MessageKind::Warning ? "warning: "
                                                        : "";
    std::fprintf(stderr, "velkopc: %s%s\n", prefix, text.c_str());
    std::fflush(stderr);
    if (alsoTo_) alsoTo_(text);
}

bool ConsoleMessageBox::AskYesNo(const std::string& text) {
    Show(text + " (answered no: no one to ask)", MessageKind::Warning);
    return false;
}

}  // namespace velk
