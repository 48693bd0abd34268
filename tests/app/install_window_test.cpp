// The program started as an installed one, on a scratch installation and home
// folder: the first start's model, conf.ini in the user's folder (or a
// folder that cannot be made), the maps from share/, the dialogs' folder and
// the About box.
#include <QAction>
#include <QFileDialog>
#include <QMenuBar>
#include <filesystem>

#include "app/about.h"
#include "app/locations.h"
#include "app/programfiles.h"
#include "app/tform2.h"
#include "app/tform9.h"
#include "model/inifile.h"
#include "packaging/version.h"
#include "tests/app/apptest.h"

namespace uav::test {
namespace {

namespace fs = std::filesystem;

class Installed : public ::testing::Test {
protected:
    Installed() {
        fs::create_directories(dir / "usr/bin");
        fs::create_directories(dir / "usr/share/uavsim/models");
        fs::create_directories(dir / "home/Documents");
        fs::create_directories(dir / "work");
        fs::copy_file(std::string(UAVSIM_SOURCE_DIR_PATH) + "/models/trainer.mdl",
                      dir / "usr/share/uavsim/models/trainer.mdl");
    }
    // One program start, as locateProgramFiles makes it.
    void start(const std::string& xdg) {
        sim = std::make_unique<SimApp>();
        sim->decimalSep = ',';
        sim->appDir = dir / "usr/bin/";
        sim->files = locateFiles({dir / "usr/bin", dir / "work", xdg, dir / "home", dir / "home/Documents"});
        configError = ensureConfigDir(sim->files.configDir);
        messages = withMessageBoxes([&] { w = createWindows(*sim); });
        messages += takeNotices();
    }
    // The texts of the non-modal notices the program has put up since the
    // last call, which closes them.
    std::string takeNotices() {
        QApplication::processEvents();  // they are shown from the event loop
        std::string texts;
        for (QMessageBox* box : w.form1->findChildren<QMessageBox*>())
            if (box->isVisible()) {
                texts += box->text().toStdString() + "|";
                box->close();
            }
        return texts;
    }
    void TearDown() override { delete w.form1; }

    TempDir dir;
    std::unique_ptr<SimApp> sim;
    Windows w;
    std::string configError, messages;
};

TEST_F(Installed, FirstStartFliesTheTrainerAndKeepsItInTheUsersFolder) {
    start(dir / "xdg");
    const std::string conf = dir / "xdg/uavsim/conf.ini";
    EXPECT_EQ(configError, "");
    ASSERT_TRUE(fs::exists(conf)) << "the apply wrote it";
    EXPECT_NE(messages.find("Первый запуск"), std::string::npos) << messages;
    EXPECT_NE(messages.find(conf), std::string::npos) << "says where the settings are: " << messages;
    // The trainer's 2 kg and four elements, not the all-default airframe.
    EXPECT_DOUBLE_EQ(sim->aircraft.params.mass, 2.0);
    int active = 0;
    for (const AeroElement& e : sim->aircraft.elements) active += e.active ? 1 : 0;
    EXPECT_EQ(active, 4);
    // Written in the locale's numbers, which the next start reads back.
    const IniFile stored(conf);
    EXPECT_EQ(stored.readString("Elem0", "Param0", ""), "0,12");
    EXPECT_EQ(w.form2->Edit[SC_IX]->text(), QStringLiteral("0,1"));
    delete w.form1;
    w = {};

    // The second start reads conf.ini exactly as it is (here with a mass the
    // trainer does not have) and says nothing about a first start.
    IniFile edited(conf);
    edited.writeString("Model", "M", "3");
    start(dir / "xdg");
    EXPECT_EQ(messages.find("Первый запуск"), std::string::npos) << messages;
    EXPECT_DOUBLE_EQ(sim->aircraft.params.mass, 3.0);
    EXPECT_FALSE(fs::exists(dir / "usr/bin/conf.ini")) << "nothing written into the installation";
}

TEST_F(Installed, AConfigFolderThatCannotBeMadeIsToldOnceAndTheProgramFlies) {
    putFile(dir / "xdg", "a file where the folder should be");
    start(dir / "xdg");
    EXPECT_NE(configError, "");
    // The store's own message, once, and the model applied all the same.
    EXPECT_NE(messages.find("xdg/uavsim/conf.ini"), std::string::npos) << messages;
    EXPECT_TRUE(sim->aircraft.elements[0].active) << "the trainer";
    EXPECT_EQ(withMessageBoxes([&] { w.form2->Button1->click(); }) + takeNotices(), "") << "told once per run";
    EXPECT_EQ(fileBytes(dir / "xdg"), "a file where the folder should be");
}

TEST_F(Installed, MapsComeFromShareAndDialogsOpenInDocuments) {
    start(dir / "xdg");
    EXPECT_EQ(w.form2->OpenDialog1->directory().absolutePath().toStdString(), dir / "home/Documents");
    EXPECT_EQ(dialogFolder(*sim).toStdString(), dir / "home/Documents/");

    // A broken installation: the map's message names the path it tried.
    std::string said = withMessageBoxes([&] { w.form9->N2->trigger(); });
    EXPECT_NE(said.find("File not found  - " + (dir / "usr/share/uavsim/TXT/mountains.bmp")), std::string::npos)
        << said;
    // With the maps installed the same menu item loads it.
    fs::create_directories(dir / "usr/share/uavsim/TXT");
    fs::copy_file(std::string(UAVSIM_SOURCE_DIR_PATH) + "/TXT/mountains.bmp",
                  dir / "usr/share/uavsim/TXT/mountains.bmp");
    const std::vector<float> heightsBefore = w.form9->terrain().grid0.h;
    said = withMessageBoxes([&] { w.form9->N2->trigger(); });
    EXPECT_EQ(said, "");
    EXPECT_NE(w.form9->terrain().grid0.h, heightsBefore) << "the mountains replaced the built-in map";
}

TEST_F(Installed, AboutBoxIsTheLastMenuAndShowsVersionAndFiles) {
    start(dir / "xdg");
    const QList<QAction*> menus = w.form1->menuBar()->actions();
    ASSERT_FALSE(menus.isEmpty());
    EXPECT_EQ(menus.back()->text(), QStringLiteral("Справка"));
    ASSERT_NE(menus.back()->menu(), nullptr);
    QAction* about = menus.back()->menu()->actions().value(0);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->text(), QStringLiteral("О программе"));
    EXPECT_EQ(menus.front()->text(), QStringLiteral("Настройки")) << "after the menus that were there";

    const std::string text = withMessageBoxes([&] { about->trigger(); });
    EXPECT_NE(text.find(std::string("uavsim ") + releaseVersion()), std::string::npos) << text;
    const std::string git = gitDescription();
    EXPECT_NE(text.find(git.empty() ? "без git" : git), std::string::npos) << text;
    EXPECT_NE(text.find(dir / "xdg/uavsim/conf.ini"), std::string::npos) << text;
    EXPECT_NE(text.find(dir / "usr/share/uavsim/TXT/"), std::string::npos) << text;
}

}  // namespace
}  // namespace uav::test
