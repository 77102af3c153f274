#pragma once
// "&Application Look": the looks with IDs 210 to 220, each a Qt style with a palette, stored
// per user as "ApplicationLook" (default 219) and applied at once and at the next start.
#include <vector>

namespace velk {
class ISettingsStore;
}

namespace velk::gui {

inline constexpr int kDefaultLook = 219;
inline constexpr const char* kLookValueName = "ApplicationLook";
inline constexpr const char* kLookSubkey = "Settings";

struct LookInfo {
    int id;
    const char* name;
};

const std::vector<LookInfo>& Looks();
// The look stored for the user (the default when none or an unknown one is stored).
int StoredLook(ISettingsStore& userStore);
void StoreLook(ISettingsStore& userStore, int lookId);
// Sets the application's style and palette; unknown IDs take the default look.
void ApplyApplicationLook(int lookId);
int CurrentLook();

}  // namespace velk::gui
