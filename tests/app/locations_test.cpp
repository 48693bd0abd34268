// Where the program finds its files, on scratch folders laid out as the source
// tree, a copied folder, an installation and a broken one; its own command
// line.
#include <filesystem>

#include "app/commandline.h"
#include "app/locations.h"
#include "model/modelcheck.h"
#include "packaging/version.h"
#include "tests/testutil.h"

namespace uav {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

void makeDirs(const std::string& p) { fs::create_directories(p); }

// <root>/usr/bin with <root>/usr/share/uavsim/{TXT,models/trainer.mdl}.
struct Installation {
    explicit Installation(const TempDir& d, bool withData = true) : root(d / "usr") {
        makeDirs(bin());
        if (withData) {
            makeDirs(share() + "/TXT");
            makeDirs(share() + "/models");
            test::putFile(share() + "/models/trainer.mdl", "[Model]\r\nM=2\r\n");
        }
    }
    std::string bin() const { return root + "/bin"; }
    std::string share() const { return root + "/share/uavsim"; }
    std::string root;
};

TEST(Locations, PortableStartsKeepEverythingWhereItWas) {
    TempDir d;
    // The source tree: the build's folder holds a copy of TXT/ and the model,
    // the program runs from the clone (scripts/run.sh).
    makeDirs(d / "clone/TXT");
    makeDirs(d / "clone/build/app/TXT");
    makeDirs(d / "clone/build/app/models");
    test::putFile(d / "clone/build/app/models/trainer.mdl", "[Model]\r\nM=2\r\n");
    FileLocations f = locateFiles({d / "clone/build/app", d / "clone", d / "xdg", d / "home", d / "home/Documents"});
    EXPECT_TRUE(f.portable);
    EXPECT_EQ(f.confPath, "") << "conf.ini beside the executable";
    EXPECT_EQ(f.txtDir, "TXT/") << "relative to the working directory, as always";
    EXPECT_EQ(f.dialogDir, "");
    EXPECT_EQ(f.configDir, "") << "nothing is created in a portable start";
    EXPECT_EQ(f.firstStartModel, d / "clone/build/app/models/trainer.mdl");

    // The same with conf.ini there: read as it is, no first-start model.
    test::putFile(d / "clone/build/app/conf.ini", "");
    f = locateFiles({d / "clone/build/app", d / "clone", "", d / "home", ""});
    EXPECT_EQ(f.firstStartModel, "") << "an empty conf.ini is a conf.ini";

    // A copied folder started from elsewhere: its own TXT/.
    makeDirs(d / "copy/TXT");
    makeDirs(d / "elsewhere");
    f = locateFiles({d / "copy", d / "elsewhere", "", d / "home", ""});
    EXPECT_TRUE(f.portable);
    EXPECT_EQ(f.txtDir, d / "copy/TXT/");
    EXPECT_EQ(f.firstStartModel, "") << "no model found is no model";

    // A program copied into a scratch folder and started from the clone
    // (scripts/screenshot.sh): conf.ini still beside the executable.
    makeDirs(d / "scratch");
    f = locateFiles({d / "scratch", d / "clone", "", d / "home", ""});
    EXPECT_TRUE(f.portable);
    EXPECT_EQ(f.confPath, "");
    EXPECT_EQ(f.txtDir, "TXT/");
}

TEST(Locations, InstalledProgramUsesShareAndTheUsersFolders) {
    TempDir d;
    const Installation inst(d);
    makeDirs(d / "home/Documents");
    makeDirs(d / "work");
    FileLocations f = locateFiles({inst.bin(), d / "work", d / "xdg", d / "home", d / "home/Documents"});
    EXPECT_FALSE(f.portable);
    EXPECT_EQ(f.confPath, d / "xdg/uavsim/conf.ini");
    EXPECT_EQ(f.configDir, d / "xdg/uavsim");
    EXPECT_EQ(f.txtDir, inst.share() + "/TXT/") << "found from the executable, not from a fixed prefix";
    EXPECT_EQ(f.dialogDir, d / "home/Documents");
    EXPECT_EQ(f.firstStartModel, inst.share() + "/models/trainer.mdl");

    // No $XDG_CONFIG_HOME, or a relative one (to be ignored): ~/.config. No
    // documents folder: the home folder.
    for (const char* xdg : {"", "relative/config"}) {
        f = locateFiles({inst.bin(), d / "work", xdg, d / "home2", d / "home2/Documents"});
        EXPECT_EQ(f.confPath, d / "home2/.config/uavsim/conf.ini") << xdg;
        EXPECT_EQ(f.dialogDir, d / "home2") << xdg;
    }

    // Started in the source tree, which holds TXT/: still installed, since
    // conf.ini could not be written beside /usr/bin/uavsim.
    makeDirs(d / "clone/TXT");
    f = locateFiles({inst.bin(), d / "clone", d / "xdg", d / "home", ""});
    EXPECT_FALSE(f.portable);
    EXPECT_EQ(f.txtDir, inst.share() + "/TXT/");

    // The second start finds the conf.ini the first one wrote.
    makeDirs(d / "xdg/uavsim");
    test::putFile(d / "xdg/uavsim/conf.ini", "[Model]\r\nM=3\r\n");
    f = locateFiles({inst.bin(), d / "work", d / "xdg", d / "home", ""});
    EXPECT_EQ(f.firstStartModel, "");
}

TEST(Locations, BrokenInstallationNamesEveryFolderLookedAt) {
    TempDir d;
    const Installation inst(d, false);
    makeDirs(d / "work");
    const FileLocations f = locateFiles({inst.bin(), d / "work", d / "xdg", d / "home", ""});
    EXPECT_FALSE(f.portable);
    EXPECT_EQ(f.txtDir, d / "usr/share/uavsim/TXT/") << "the maps' own messages then name this path";
    EXPECT_EQ(f.firstStartModel, "");
    const std::string note = missingImagesNote(f);
    for (const std::string& tried : {d / "work/TXT", d / "usr/bin/TXT", d / "usr/share/uavsim/TXT"})
        EXPECT_NE(note.find(tried), std::string::npos) << note;

    // With the data in place there is nothing to say.
    const Installation whole(d);
    EXPECT_EQ(missingImagesNote(locateFiles({whole.bin(), d / "work", d / "xdg", d / "home", ""})), "");
}

TEST(Locations, ConfigFolderIsCreatedOrTheReasonGiven) {
    TempDir d;
    EXPECT_EQ(ensureConfigDir(d / "a/b/uavsim"), "");
    EXPECT_TRUE(fs::is_directory(d / "a/b/uavsim"));
    EXPECT_EQ(fs::status(d / "a").permissions(), fs::perms::owner_all) << "made here: the user's alone";
    EXPECT_EQ(fs::status(d / "a/b/uavsim").permissions(), fs::perms::owner_all);
    EXPECT_EQ(ensureConfigDir(d / "a/b/uavsim"), "") << "an existing folder is fine";
    test::putFile(d / "file", "x");
    const std::string why = ensureConfigDir(d / "file/uavsim");
    EXPECT_NE(why.find(d / "file/uavsim"), std::string::npos) << why;
    EXPECT_FALSE(fs::exists(d / "file/uavsim"));
}

TEST(Locations, ReferenceModelFollowsTheLocalesSeparator) {
    TempDir d;
    test::putFile(d / "m.mdl",
                  "[Elem0]\r\nAct=1\r\nParam0=0.12\r\nParam2=-0.4\r\nParam9=v1.2\r\n[Model]\r\nIx=0.10\r\n"
                  "TV=.5\r\n[Mix]\r\nMix3-0=1.0\r\n");
    const ModelTexts comma = referenceModelTexts(d / "m.mdl", ',');
    EXPECT_EQ(comma.params[0][P_X], "0,12");
    EXPECT_EQ(comma.params[0][P_Z], "-0,4");
    EXPECT_EQ(comma.params[0][P_NAME], "v1.2") << "a name is not a number";
    EXPECT_EQ(comma.scalars[SC_IX], "0,10");
    EXPECT_EQ(comma.scalars[SC_TV], ".5") << "only a point between two digits, as scripts/run.sh converts";
    EXPECT_EQ(comma.mix[2][0], "1,0");
    const ModelTexts point = referenceModelTexts(d / "m.mdl", '.');
    EXPECT_EQ(point.params[0][P_X], "0.12");

    // The real trainer passes the model check in both kinds of locale.
    const char* src = std::getenv("UAVSIM_SOURCE_DIR");
    ASSERT_NE(src, nullptr);
    const std::string trainer = std::string(src) + "/models/trainer.mdl";
    EXPECT_TRUE(checkModelTexts(referenceModelTexts(trainer, ','), ',').ok);
    EXPECT_TRUE(checkModelTexts(referenceModelTexts(trainer, '.'), '.').ok);
    EXPECT_FALSE(checkModelTexts(referenceModelTexts(trainer, '.'), ',').ok) << "the conversion is needed";
}

TEST(CommandLine, VersionHelpAndTheDisplayCheck) {
    using A = CommandLine::Action;
    const DisplayEnv x11{":0", "", ""}, none{"", "", ""};
    const std::string firstLine = std::string("uavsim ") + releaseVersion() + "\n";

    // --version wins over anything else given with it.
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--version"}, {"--help", "--version"}, {"--bogus", "--version", "-platform"}}) {
        const CommandLine c = readCommandLine(args, none);
        EXPECT_EQ(c.action, A::Version);
        EXPECT_EQ(c.exitStatus, 0);
        EXPECT_EQ(c.text.rfind(firstLine, 0), 0u) << c.text;
        const std::string git = gitDescription();
        EXPECT_NE(c.text.find(git.empty() ? "without git" : "built from git " + git), std::string::npos) << c.text;
    }
    for (const char* h : {"--help", "-h"}) {
        const CommandLine c = readCommandLine({h}, none);
        EXPECT_EQ(c.action, A::Help) << h;
        EXPECT_EQ(c.text.rfind("Usage: uavsim ", 0), 0u);
        EXPECT_NE(c.text.find("--version"), std::string::npos);
    }

    const CommandLine noDisplay = readCommandLine({}, none);
    EXPECT_EQ(noDisplay.action, A::NoDisplay);
    EXPECT_EQ(noDisplay.exitStatus, 1);
    EXPECT_NE(noDisplay.text.find("xvfb-run"), std::string::npos);
    EXPECT_NE(noDisplay.text.find("uavsim-run"), std::string::npos);

    // A display, a Wayland display or a chosen platform: start.
    EXPECT_EQ(readCommandLine({}, x11).action, A::Run);
    EXPECT_EQ(readCommandLine({}, {"", "wayland-0", ""}).action, A::Run);
    EXPECT_EQ(readCommandLine({}, {"", "", "offscreen"}).action, A::Run);
    EXPECT_EQ(readCommandLine({"-platform", "offscreen"}, none).action, A::Run);
    EXPECT_EQ(readCommandLine({"--platform=offscreen"}, none).action, A::Run);
    EXPECT_EQ(readCommandLine({"-style", "fusion"}, none).action, A::NoDisplay) << "other Qt options choose no display";
}

}  // namespace
}  // namespace uav
