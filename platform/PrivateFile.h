// A file that only its owner may read or write, in a folder that only its
// owner may enter: the settings file, whose engine ID and boots another user
// could otherwise read or change (a boots of 2^31-1 refuses every inform).
#pragma once

#include <string>

namespace quillet {

// Makes the folder of `path` (mode 0700, its missing parents too) and the
// file (0600, empty) when they are missing, and tightens the folder and the
// file, the user's own, to those modes whatever the umask. A bare file name
// leaves its folder, the working directory, alone. Once the file is
// 0600 a save through a temporary file and a rename keeps that mode (the
// temporary file takes the file's mode); call it again after each save all
// the same. False, with the reason in `why` (Japanese, or the system's
// text) and nothing changed further, when the folder or the file cannot be
// made or tightened, is a symbolic link, is not a folder or a regular file,
// or belongs to another user. Parents that exist are left as they are.
bool MakePrivateFile(const std::string& path, std::string& why);

}  // namespace quillet
