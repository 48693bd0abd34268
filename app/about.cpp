#include "app/about.h"

#include <QAction>
#include <QDir>
#include <QMenuBar>
#include <QMessageBox>

#include "app/programfiles.h"
#include "app/tform1.h"
#include "packaging/version.h"

namespace uav {

QString aboutText(const SimApp& sim) {
    const QString git = QString::fromUtf8(gitDescription());
    QString t = QStringLiteral("<p><b>uavsim %1</b></p>").arg(QString::fromUtf8(releaseVersion()).toHtmlEscaped());
    t += QStringLiteral("<p>Симулятор полёта радиоуправляемой модели самолёта и испытательный стенд её "
                        "автопилотов.</p>");
    t += git.isEmpty() ? QStringLiteral("<p>Собран из исходных текстов без git.</p>")
                       : QStringLiteral("<p>Собран из git %1.</p>").arg(git.toHtmlEscaped());
    t += QStringLiteral("<p>Настройки: %1<br>Карты и небо: %2</p>")
             .arg(QString::fromStdString(confIniPath(sim)).toHtmlEscaped(),
                  QDir::current().absoluteFilePath(txtFile(sim, "")).toHtmlEscaped());
    return t;
}

QAction* addHelpMenu(TForm1& main) {
    QMenu* help = main.menuBar()->addMenu(QStringLiteral("Справка"));
    QAction* about = help->addAction(QStringLiteral("О программе"));
    QObject::connect(about, &QAction::triggered, &main, [&main] {
        QMessageBox::about(&main, QStringLiteral("О программе"), aboutText(main.sim()));
    });
    return about;
}

}  // namespace uav
