// The 3D view drawn by OpenGL: frames grabbed at known positions under Xvfb
// (Mesa's software renderer). Where no GL context can be had (the offscreen
// platform, no display) every test is skipped with the reason.

#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QTest>
#include <cstdlib>
#include <filesystem>

#include "app/simapp.h"
#include "app/startup.h"
#include "app/tform1.h"
#include "app/tform9.h"
#include "tests/testutil.h"
#include "views/mapimage.h"

using namespace uav;
using namespace uav::test;

namespace {

// A map of one surface class at height 0 (B = class · 60).
void writeUniformMap(const std::string& path, std::uint8_t blue) {
    RgbImage img = RgbImage::black(MAP_SIZE, MAP_SIZE);
    for (std::size_t p = 2; p < img.rgb.size(); p += 3) img.rgb[p] = blue;
    const auto bytes = encodeBmp(img);
    putFile(path, std::string(bytes.begin(), bytes.end()));
}

class View3d : public ::testing::Test {
protected:
    void SetUp() override {
        if (!TForm9::openGlAvailable())
            GTEST_SKIP() << "no OpenGL context on the \"" << QGuiApplication::platformName().toStdString()
                         << "\" platform: run under xvfb-run (scripts/test.sh does)";
        // The program's windows; "3D" ticked as a user does.
        sim.appDir = dir.path.string() + "/";
        w = createWindows(sim);
        sim.ap.returnSettings.returnAltitude = 150;
        form = w.form9;
        w.form1->CheckBox1->setChecked(true);
        w.form1->CheckBox1Click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !frame().isNull(); }, 10000)) << "the GL window was never exposed";
    }
    void TearDown() override { delete w.form1; }

    // Level flight heading north at `altitude` m, `north` m from home.
    void place(double altitude, double north, const Mat3& orient = MatIdentity()) {
        sim.state.posH = altitude;
        sim.state.posX = north;
        sim.state.posZ = 0;
        sim.state.posD = std::abs(north);
        sim.state.orient = orient;
        w.form1->Timer1Timer();  // the display tick: PosModel
    }
    QImage frame() { return form->grabFrame(); }

    TempDir dir;
    SimApp sim;
    Windows w;
    TForm9* form = nullptr;
};

bool isSky(QRgb c) { return qBlue(c) > qRed(c) + 20 && qBlue(c) > 150; }
bool isGrass(QRgb c) { return qGreen(c) > 120 && qRed(c) < 40 && qBlue(c) < 40; }
bool isRed(QRgb c) { return qRed(c) > 200 && qGreen(c) < 60 && qBlue(c) < 60; }

}  // namespace

TEST_F(View3d, SkyAboveTheHorizonGrassBelowAndTheHomePoleAhead) {
    writeUniformMap(dir / "grass.bmp", 0);
    form->loadMap(QString::fromStdString(dir / "grass.bmp"));
    // 100 m up, 500 m south of home, looking north along the horizon: home is
    // straight ahead, its pole rises to 150 m, above the eye.
    place(100, -500);
    const QImage img = frame();
    ASSERT_EQ(img.size(), QSize(640, 480));
    for (int x : {40, 320, 600}) {
        EXPECT_TRUE(isSky(img.pixel(x, 30))) << "sky at the top, x " << x << ": " << std::hex << img.pixel(x, 30);
        EXPECT_TRUE(isGrass(img.pixel(x, 450))) << "grass at the bottom, x " << x << ": " << std::hex << img.pixel(x, 450);
    }
    // The pole: red pixels in the middle columns, from below the horizon (its
    // foot, 100 m below the eye) to above it (its top, 50 m above).
    int redAbove = 0, redBelow = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 316; x <= 324; ++x)
            if (isRed(img.pixel(x, y))) ++(y < 240 ? redAbove : redBelow);
    EXPECT_GT(redAbove, 5);
    EXPECT_GT(redBelow, 5);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("y  0  500"));

    // More than 10 km from home at zoom 1: no pole, caption "n".
    place(100, -10500);
    const QImage far = frame();
    int red = 0;
    for (int y = 0; y < far.height(); ++y)
        for (int x = 0; x < far.width(); ++x) red += isRed(far.pixel(x, y));
    EXPECT_EQ(red, 0);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("n"));
}

// The camera at other headings and at a bank, against a picture worked out by
// hand: the home pole straight ahead when flying toward it from the west,
// north or east, and a right bank turns the horizon counter-clockwise (its
// left end down, its right end up), as seen from a cockpit.
TEST_F(View3d, HeadingsAndABankTurnThePicture) {
    writeUniformMap(dir / "grass.bmp", 0);
    form->loadMap(QString::fromStdString(dir / "grass.bmp"));
    auto redInMiddle = [&](const QImage& img) {
        int red = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 316; x <= 324; ++x) red += isRed(img.pixel(x, y));
        return red;
    };
    auto redAnywhere = [&](const QImage& img) {
        int red = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) red += isRed(img.pixel(x, y));
        return red;
    };
    struct Heading {
        double north, east;
        Mat3 orient;  // rows: nose, up, right wing (earth X north, Y up, Z east)
        const char* why;
    } headings[] = {
        {0, -500, Mat3{{{0, 0, 1}, {0, 1, 0}, {-1, 0, 0}}}, "500 m west of home, heading east"},
        {500, 0, Mat3{{{-1, 0, 0}, {0, 1, 0}, {0, 0, -1}}}, "500 m north of home, heading south"},
        {0, 500, Mat3{{{0, 0, -1}, {0, 1, 0}, {1, 0, 0}}}, "500 m east of home, heading west"},
    };
    auto placeAt = [&](double north, double east, const Mat3& orient) {
        sim.state.posH = 100;
        sim.state.posX = north;
        sim.state.posZ = east;
        sim.state.posD = std::hypot(north, east);
        sim.state.orient = orient;
        w.form1->Timer1Timer();  // the display tick: PosModel
    };
    for (const Heading& h : headings) {
        SCOPED_TRACE(h.why);
        placeAt(h.north, h.east, h.orient);
        EXPECT_GT(redInMiddle(frame()), 10) << "the pole straight ahead";
        // Turned round: home behind, no pole in the picture.
        Mat3 back = h.orient;
        back.setRow(0, VecScale(h.orient.row(0), -1));
        back.setRow(2, VecScale(h.orient.row(2), -1));
        placeAt(h.north, h.east, back);
        EXPECT_EQ(redAnywhere(frame()), 0) << "home behind";
    }

    // Heading north, banked 30 deg right (right wing down): the horizon runs
    // through the centre at 30 deg, 280 px either side of it 160 px lower on
    // the left and higher on the right.
    const double b = 30 * DEG_TO_RAD;
    place(100, -500, Mat3{{{1, 0, 0}, {0, std::cos(b), std::sin(b)}, {0, -std::sin(b), std::cos(b)}}});
    const QImage banked = frame();
    EXPECT_TRUE(isSky(banked.pixel(40, 320))) << "left, below the centre: sky, " << std::hex << banked.pixel(40, 320);
    EXPECT_TRUE(isGrass(banked.pixel(600, 160))) << "right, above the centre: grass, " << std::hex
                                                 << banked.pixel(600, 160);
    EXPECT_TRUE(isGrass(banked.pixel(40, 470))) << "left, bottom: grass";
    EXPECT_TRUE(isSky(banked.pixel(600, 10))) << "right, top: sky";
}

// Tiles outside the view are skipped; the picture must not change by a pixel,
// whatever the attitude, zoom or place (west and south of home included).
TEST_F(View3d, CullingChangesNoPixel) {
    struct Case {
        double altitude, north, east, rollDeg, pitchDeg, yawDeg;
    } cases[] = {
        {300, 0, 0, 0, 0, 0},            // level over home
        {150, -2345, -760, 35, -20, 60},  // banked, diving, south-west of home
        {40, 12000, 3000, -70, 10, 200},  // steep bank, far out
        {2500, 500, -500, 0, -60, 300},   // zoom 5, looking down
    };
    for (const Case& c : cases) {
        sim.state.posZ = c.east;
        const Mat3 o = MatMul(MatMul(MRotX(c.rollDeg * DEG_TO_RAD), MRotZ(c.pitchDeg * DEG_TO_RAD)),
                              MRotY(c.yawDeg * DEG_TO_RAD));
        sim.state.posH = c.altitude;
        sim.state.posX = c.north;
        sim.state.posD = std::hypot(c.north, c.east);
        sim.state.orient = o;
        form->PosModel();
        form->PosModel();  // a zoom change settles over one frame
        form->renderer().submit = TerrainSubmit::AllTiles;
        const QImage all = frame();
        const int allTiles = form->renderer().tilesDrawn;
        form->renderer().submit = TerrainSubmit::Immediate;
        const QImage immediate = frame();
        form->renderer().submit = TerrainSubmit::Culled;
        const QImage culled = frame();
        EXPECT_LT(form->renderer().tilesDrawn, allTiles) << "altitude " << c.altitude;
        EXPECT_TRUE(all == culled) << "culling changed the frame at altitude " << c.altitude;
        EXPECT_TRUE(all == immediate) << "vertex arrays differ from immediate mode at altitude " << c.altitude;
    }
}

// The sky sphere and the terrain's edge lie one scene unit from the scene
// origin, the eye anywhere in its cell: wherever it is, and whichever way it
// looks along the horizon, no pixel is left the clear colour (white).
TEST_F(View3d, TheHorizonHasNoNotchAnywhereInTheCell) {
    writeUniformMap(dir / "grass.bmp", 0);  // no white snow
    form->loadMap(QString::fromStdString(dir / "grass.bmp"));
    auto clearPixels = [](const QImage& img) {
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) n += (img.pixel(x, y) & 0xFFFFFFu) == 0xFFFFFFu;
        return n;
    };
    struct Heading {
        double yawDeg;  // positive west
        bool northSouth;
    } headings[] = {{0, true}, {180, true}, {90, false}, {-90, false}};
    for (const Heading& h : headings) {
        // 300 m up, along the view across the cell before home and the one
        // after it (50 m cells): the eye in the half of its cell away from the
        // view direction lost the horizon's middle to the far plane.
        for (double along = -49; along <= 49; along += 7) {
            sim.state.posH = 300;
            sim.state.posX = h.northSouth ? along : 3;
            sim.state.posZ = h.northSouth ? 3 : along;
            sim.state.posD = std::hypot(sim.state.posX, sim.state.posZ);
            sim.state.orient = MRotY(h.yawDeg * DEG_TO_RAD);
            w.form1->Timer1Timer();
            EXPECT_EQ(clearPixels(frame()), 0) << "yaw " << h.yawDeg << " deg, " << along << " m along the view axis";
        }
    }
}

// A sky that declares 65535 x 65535 pixels is refused from its header, with
// the file named, in a box that does not hold the views: frames go on being
// drawn while it is open, untextured.
TEST(View3dSky, AHugeSkyIsRefusedWithoutHoldingTheViews) {
    if (!TForm9::openGlAvailable()) GTEST_SKIP() << "no OpenGL context: run under xvfb-run";
    TempDir dir;
    std::string tga(18, '\0');
    tga[2] = 10;  // run-length encoded
    tga[12] = tga[13] = tga[14] = tga[15] = '\xFF';
    tga[16] = 32;
    tga += std::string(64, '\x7F');
    putFile(dir / "Sky.tga", tga);
    SimApp sim;
    sim.appDir = dir.path.string() + "/";
    Windows w = createWindows(sim);
    w.form9->skyFile = dir / "Sky.tga";
    sim.state.posH = 100;
    w.form1->CheckBox1->setChecked(true);
    w.form1->CheckBox1Click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.form9->grabFrame().isNull(); }, 10000));
    QMessageBox* box = nullptr;
    for (QWidget* t : QApplication::topLevelWidgets())
        if (t->objectName() == QLatin1String("skyError") && t->isVisible()) box = qobject_cast<QMessageBox*>(t);
    ASSERT_NE(box, nullptr) << "no message about the sky";
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the box must not be modal";
    EXPECT_EQ(box->windowTitle(), QStringLiteral("TGA File Error"));
    EXPECT_EQ(box->text().toStdString(), "Couldn't load \"" + (dir / "Sky.tga") +
                                             "\". The image is 65535 x 65535 pixels; the largest texture here is " +
                                             std::to_string(std::min(16384, w.form9->renderer().maxTextureSide())) +
                                             " x " + std::to_string(std::min(16384, w.form9->renderer().maxTextureSide())) + ".");
    EXPECT_FALSE(w.form9->renderer().hasSky());
    // The display tick goes on drawing while the box is open.
    w.form1->Timer1Timer();
    EXPECT_FALSE(w.form9->grabFrame().isNull());
    box->close();
    delete w.form1;
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Without a display there is nothing to draw on: start on the offscreen
    // platform, where the tests skip.
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The sky is read from TXT/ relative to the working directory.
    if (const char* src = std::getenv("UAVSIM_SOURCE_DIR")) std::filesystem::current_path(src);
    setDefaultGlFormat();
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
