#pragma once
// Finding and reading the user condition file "AE_Cond.INI".
#include <string>
#include <vector>

#include "model/ae_event_space.h"

namespace velk {

class IFileReader;

inline constexpr const char* kUserConditionFileName = "AE_Cond.INI";
inline constexpr const char* kMsgNoConditionFile = "Unable to open user condition file.";
inline constexpr const char* kMsgConditionFileReadError = "File exception while reading.";

// The directories searched, in order: the program's directory, /etc/velkopc, the current
// directory, and last the installation's data directory, which holds the default file that
// the package ships. Empty entries are left out.
std::vector<std::string> UserConditionDirectories(const std::string& programDirectory,
                                                  const std::string& currentDirectory,
                                                  const std::string& dataDirectory = {});

enum class UserConditionLoad { Loaded, NotFound, ReadError };

// Reads the first user condition file found in the directories into the event space.
// NotFound leaves the tables as they were; ReadError keeps what was read before the error.
UserConditionLoad LoadUserConditionFile(AeEventSpace& space, IFileReader& files,
                                        const std::vector<std::string>& directories,
                                        std::string* foundPath = nullptr);

}  // namespace velk
