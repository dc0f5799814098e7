// The program directory: where `data`, `config.ini` and `pic` live.
//
// It is the folder of the executable, so that an unpacked or freshly built
// copy is self-contained. When that folder is not writable, or holds an
// installed copy (the installation puts the file kInstalledMarker beside
// its bin folder, so that even a user who may write into /usr/bin keeps
// the data out of it), the same layout lives in the user's data folder:
// $XDG_DATA_HOME/tarvokline, or ~/.local/share/tarvokline when XDG_DATA_HOME
// is unset, empty or not absolute (such a value is to be ignored). Missing
// folders on that way are created with mode 0700.
//
// This is the one place that decides it; nothing else in the organiser looks
// at the working directory or the environment for paths.
#pragma once

#include <optional>
#include <string>

namespace tarvok::platform {

// Relative to the folder of the executable: present in an installed copy.
inline constexpr char kInstalledMarker[] = "../share/tarvokline/installed";

// What the decision reads, as the system gives it (file names in UTF-8).
struct ProgramDirInputs {
  std::string executable;     // path of the executable, as /proc/self/exe reads
  std::string xdg_data_home;  // $XDG_DATA_HOME; empty when unset
  std::string home;           // $HOME, else the home folder of the user database
};

// The decision above for given inputs. Returns the program directory as GBK
// text without a trailing slash ("/" itself stays "/"), converted from the
// UTF-8 file name with Utf8ToGb18030.
//
// The folder of the executable counts as writable when the process may
// create files in it (access W_OK | X_OK). A folder whose name is not valid
// UTF-8 is never chosen, since its GBK form would name some other folder.
//
// The fallback folder, when chosen, exists afterwards (created 0700 with any
// missing parents; an existing one keeps its mode). Returns nullopt when the
// fallback is needed but cannot be named (no home, a name not UTF-8) or
// cannot be made (a file in the way, no permission): there is then no place
// for the data, and paths must not be built from nothing.
std::optional<std::string> DecideProgramDir(const ProgramDirInputs& inputs);

// The program directory of this process: DecideProgramDir over
// /proc/self/exe, $XDG_DATA_HOME and $HOME (or the user database when HOME
// is unset or empty). Decided on the first call and kept for the run.
std::optional<std::string> ProgramDir();

}  // namespace tarvok::platform
