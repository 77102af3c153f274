#include "model/user_condition_file.h"

#include "platform/file_reader.h"

namespace velk {

std::vector<std::string> UserConditionDirectories(const std::string& programDirectory,
                                                  const std::string& currentDirectory,
                                                  const std::string& dataDirectory) {
    std::vector<std::string> directories;
    for (const std::string& d :
         {programDirectory, std::string("/etc/velkopc"), currentDirectory, dataDirectory})
        if (!d.empty()) directories.push_back(d);
    return directories;
}

UserConditionLoad LoadUserConditionFile(AeEventSpace& space, IFileReader& files,
                                        const std::vector<std::string>& directories,
                                        std::string* foundPath) {
    for (const std::string& directory : directories) {
        std::string path = directory;
        if (path.back() != '/') path += '/';
        path += kUserConditionFileName;
        std::string bytes;
        const FileReadResult result = files.ReadAll(path, bytes);
        if (result == FileReadResult::CannotOpen) continue;
        if (foundPath) *foundPath = path;
        if (result == FileReadResult::ReadError) {
            // Keep the complete lines read before the error.
            const std::size_t lastEnd = bytes.rfind('\n');
            bytes.resize(lastEnd == std::string::npos ? 0 : lastEnd + 1);
            space.AddUserConditions(bytes);
            return UserConditionLoad::ReadError;
        }
        space.AddUserConditions(bytes);
        return UserConditionLoad::Loaded;
    }
    return UserConditionLoad::NotFound;
}

}  // namespace velk
