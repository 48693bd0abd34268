#include "app/tform2.h"

#include <QMessageBox>
#include <QTimer>

#include "app/guarded.h"
#include "app/tform1.h"
#include "model/inifile.h"

namespace uav {

TForm2::TForm2(SimApp& sim, TForm1& main) : QDialog(&main), sim_(sim), main_(main) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Настройка модели"));
    resize(1000, 558);
    FormCreate();
}

void TForm2::FormCreate() {
    texts_ = loadModelTexts(*sim_.confIni, TextDefaults::StartUp);
}

void TForm2::applyModel() {
    modelApplied(
        uav::applyModel(texts_, sim_.decimalSep, sim_.state, sim_.aircraft, sim_.modelOutlines, sim_.confIni.get()));
}

void TForm2::modelApplied(const ApplyResult& r) {
    sim_.outlines = outlinesFromModel(sim_.modelOutlines);
    if (r.storeError && !storeErrorShown_) {
        // Told once per run, without holding anything up: the model is applied
        // all the same, only conf.ini stays as it was.
        storeErrorShown_ = true;
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("uavsim"),
                                    QString::fromStdString(*r.storeError), QMessageBox::Ok, &main_);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setModal(false);
        QTimer::singleShot(0, box, &QMessageBox::show);
    }
}

void TForm2::showModalWindow() {
    setWindowModality(Qt::ApplicationModal);
    show();
    raise();
}

}  // namespace uav
