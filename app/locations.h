// Where the program finds its files: the settings file conf.ini, the sky and
// terrain images of TXT/, the reference model for a first start, and the
// folder the file dialogs open in. Plain C++ (no Qt), so the rules are tested
// on scratch folders.
//
// Two ways of running:
// - Portable: the program's folder holds TXT/ (the build copies it there, a
//   copied folder has it), or the working directory holds TXT/ and the
//   executable is not part of an installation (the source tree, with
//   scripts/run.sh). Everything is as it always was: conf.ini beside the
//   executable, the images from TXT/ of the working directory (from the
//   program's folder when only that has one), the dialogs in the program's
//   folder.
// - Installed: an executable in <prefix>/bin with <prefix>/share/uavsim beside
//   it, or any other start without TXT/ in either folder. The images come from
//   <prefix>/share/uavsim/TXT (found from the executable's folder, so a moved
//   prefix works); conf.ini lives in $XDG_CONFIG_HOME/uavsim/ (by default
//   ~/.config/uavsim/), and the dialogs open in the user's documents folder, or
//   the home folder when there is none.
#pragma once

#include <string>
#include <vector>

#include "model/modeltext.h"

namespace uav {

// What the lookup reads from the process, gathered by the caller. Folders
// without a trailing separator; empty when unknown or unset.
struct LocateInput {
    std::string exeDir;          // folder of the running executable
    std::string workDir;         // working directory
    std::string xdgConfigHome;   // $XDG_CONFIG_HOME
    std::string home;            // $HOME, or the password database's home
    std::string documentsDir;    // the user's documents folder (XDG user dirs)
};

struct FileLocations {
    bool portable = true;
    // conf.ini; empty: "conf.ini" beside the executable (appDir).
    std::string confPath;
    // Prefix of the image files, ending in '/': "TXT/" is relative to the
    // working directory, as the program has always read them.
    std::string txtDir = "TXT/";
    // Where the file dialogs open; empty: the executable's folder.
    std::string dialogDir;
    // Installed: the folder conf.ini goes into, created at start-up when
    // missing. Empty in portable mode.
    std::string configDir;
    // The reference model applied on a first start (no conf.ini yet); empty
    // when conf.ini exists or no reference model was found.
    std::string firstStartModel;
    // The folders looked at for TXT/, in order, for the messages of a broken
    // installation.
    std::vector<std::string> txtTried;
};

// The rules above, applied to the folders in `in` (the file system is only
// looked at, never changed).
FileLocations locateFiles(const LocateInput& in);

// Creates the configuration folder (and its parents) when it does not exist,
// each folder it makes readable by the user only.
// Returns an empty string, or the reason it could not be created; the program
// then runs on and the settings store tells its own message at the first write.
std::string ensureConfigDir(const std::string& dir);

// The reference model's texts, read from its file (written with decimal
// points) and given the decimal separator of the user's locale, as the
// program's own texts follow it. Element names are left as they are.
// Throws SimError when the file cannot be read.
ModelTexts referenceModelTexts(const std::string& path, char decimalSep);

// A line for standard error when no TXT/ folder exists where the images are
// read from (a broken installation), naming the folders looked at; empty when
// the folder is there.
std::string missingImagesNote(const FileLocations& f);

}  // namespace uav
