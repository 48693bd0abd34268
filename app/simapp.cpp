#include "app/simapp.h"

#include <QLocale>

#include "core/errors.h"

namespace uav {

SimApp::SimApp() : decimalSep(localeDecimalSeparator()) { clock.start(); }

ClockMs SimApp::nowMs() const { return clock.elapsed(); }

char localeDecimalSeparator() {
    const QString p = QLocale::system().decimalPoint();
    if (p == QStringLiteral(",")) return ',';
    return '.';
}

std::unique_ptr<IniFile> openConfIni(const std::string& path, std::string& error) {
    try {
        return std::make_unique<IniFile>(path);
    } catch (const SimError& e) {
        error = e.what();
        return std::make_unique<IniFile>(IniFile::fromBytes(""));
    }
}

}  // namespace uav
