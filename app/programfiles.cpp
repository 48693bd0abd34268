#include "app/programfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <cstdio>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

#include "app/commandline.h"

namespace uav {

namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

// $HOME, or the password database's entry when it is unset.
std::string homeFolder() {
    std::string home = env("HOME");
    if (home.empty())
        if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) home = pw->pw_dir;
    return home;
}

// Qt's messages as its own handler prints them; a fatal one (the platform
// plugin could not be initialised) ends the program with the advice.
void noDisplayHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    std::fprintf(stderr, "%s\n", qFormatLogMessage(type, context, message).toLocal8Bit().constData());
    if (type == QtFatalMsg) {
        std::fputs(noDisplayText().c_str(), stderr);
        std::fflush(stderr);
        std::_Exit(1);
    }
}

}  // namespace

void locateProgramFiles(SimApp& sim) {
    LocateInput in;
    in.exeDir = QCoreApplication::applicationDirPath().toStdString();
    in.workDir = QDir::currentPath().toStdString();
    in.xdgConfigHome = env("XDG_CONFIG_HOME");
    in.home = homeFolder();
    in.documentsDir = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toStdString();
    sim.appDir = in.exeDir + "/";
    sim.files = locateFiles(in);
    if (const std::string note = missingImagesNote(sim.files); !note.empty())
        std::fprintf(stderr, "%s\n", note.c_str());
    // A folder that cannot be made is told by the settings store at its first
    // write, once, and the program runs on.
    if (const std::string why = ensureConfigDir(sim.files.configDir); !why.empty())
        std::fprintf(stderr, "uavsim: %s\n", why.c_str());
}

std::string confIniPath(const SimApp& sim) {
    return sim.files.confPath.empty() ? sim.appDir + "conf.ini" : sim.files.confPath;
}

QString dialogFolder(const SimApp& sim) {
    QString dir = QString::fromStdString(sim.files.dialogDir.empty() ? sim.appDir : sim.files.dialogDir);
    if (!dir.endsWith('/')) dir += '/';
    return dir;
}

QString txtFile(const SimApp& sim, const char* name) {
    return QString::fromStdString(sim.files.txtDir) + QString::fromUtf8(name);
}

NoDisplayGuard::NoDisplayGuard() { qInstallMessageHandler(noDisplayHandler); }

NoDisplayGuard::~NoDisplayGuard() { qInstallMessageHandler(nullptr); }

}  // namespace uav
