#pragma once

#include <QString>

namespace corvane {

// The program directory used when no --dir is given: the executable's own folder when it
// already holds a program directory's files (a copy set up there, or an older setup), else
// the per-user data folder $XDG_DATA_HOME/corvane-server (by default
// ~/.local/share/corvane-server), since an installed executable's folder is not writable.
QString DefaultProgramDir(const QString& executableDir);
// The same for this executable.
QString DefaultProgramDir();

// Makes the program directory `dir` when it is missing, readable by its owner only (it holds
// the users' keys and the activity log). A folder that cannot be made is reported by the
// start that needs it.
void MakeProgramDir(const QString& dir);

}  // namespace corvane
