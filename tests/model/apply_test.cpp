#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/errors.h"
#include "model/apply.h"
#include "model/inifile.h"
#include "model/modeltext.h"

using namespace uav;

namespace {

constexpr double DEG = PI / 180.0;

void expectVec(const Vec3& v, const Vec3& w, double tol = 1e-12) {
    EXPECT_NEAR(v.x, w.x, tol);
    EXPECT_NEAR(v.y, w.y, tol);
    EXPECT_NEAR(v.z, w.z, tol);
}

struct Applied {
    SimState s;
    Aircraft ac;
    ModelOutlines o;
};

// Texts with element `i` given angles (degrees) and a chord of B.
ModelTexts withAngles(int i, const char* ax, const char* ay, const char* az, const char* b = "0.2") {
    ModelTexts t = defaultModelTexts(TextDefaults::StartUp);
    t.params[i][P_AX] = ax;
    t.params[i][P_AY] = ay;
    t.params[i][P_AZ] = az;
    t.params[i][P_CHORD] = b;
    return t;
}

Applied apply(const ModelTexts& t, IniFile* store = nullptr) {
    Applied a;
    applyModel(t, '.', a.s, a.ac, a.o, store);
    return a;
}

std::string tempDir() {
    const auto d = std::filesystem::temp_directory_path() /
                   ("uavsim-apply-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(d);
    std::filesystem::create_directories(d);
    return d.string();
}

}  // namespace

TEST(ApplyGeometry, ElementAxesForHandWorkedRotations) {
    const double s10 = std::sin(10 * DEG), c10 = std::cos(10 * DEG);
    struct Row { const char *ax, *ay, *az; Vec3 normal, chordVec, spanDir; const char* why; };
    const Row rows[] = {
        {"0", "0", "0", {0, 1, 0}, {-0.2, 0, 0}, {0, 0, 1}, "unrotated"},
        {"90", "0", "0", {0, 0, -1}, {-0.2, 0, 0}, {0, 1, 0}, "fin: normal to the left, span up"},
        {"-90", "0", "0", {0, 0, 1}, {-0.2, 0, 0}, {0, -1, 0}, "fin the other way"},
        {"0", "0", "10", {s10, c10, 0}, {-0.2 * c10, 0.2 * s10, 0}, {0, 0, 1}, "+Az raises the trailing edge"},
        {"90", "0", "90", {0, 0, -1}, {0, 0.2, 0}, {1, 0, 0}, "x first, then z"},
        {"0", "90", "0", {0, 1, 0}, {0, 0, 0.2}, {1, 0, 0}, "+Ay swings the trailing edge right"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.why);
        const Applied a = apply(withAngles(5, r.ax, r.ay, r.az));
        const AeroElement& e = a.ac.elements[5];
        expectVec(e.normal, r.normal);
        expectVec(e.chordVec, r.chordVec);
        expectVec(e.chordDir, VecScale(r.chordVec, 1 / 0.2));
        expectVec(e.spanDir, r.spanDir);
        EXPECT_DOUBLE_EQ(e.area, 1 * 0.2);
    }
}

TEST(ApplyGeometry, ThrustTiltWeightAndDefaults) {
    Applied a = apply(defaultModelTexts(TextDefaults::StartUp));  // M 2, TV 1, Vycos 5
    EXPECT_DOUBLE_EQ(a.ac.params.thrustMax, 19.6);
    expectVec(a.ac.params.thrustVec, {19.6 * std::cos(5 * DEG), 19.6 * std::sin(5 * DEG), 0});
    expectVec(a.ac.params.weight, {0, -19.6, 0});
    expectVec(a.ac.params.inertia, {1, 1, 1});
    EXPECT_EQ(a.ac.params.kvis, 150);
    for (const AeroElement& e : a.ac.elements) EXPECT_FALSE(e.active);

    // Applied while rolled 90 deg right (body z pointing down): the tilt turns
    // sideways in the X-Z plane instead of upward.
    Applied b;
    b.s.orient = Mat3{{{1, 0, 0}, {0, 0, 1}, {0, -1, 0}}};
    applyModel(defaultModelTexts(TextDefaults::StartUp), '.', b.s, b.ac, b.o, nullptr);
    EXPECT_NEAR(b.ac.params.thrustVec.y, 0, 1e-12);
    EXPECT_NEAR(std::fabs(b.ac.params.thrustVec.z), 19.6 * std::sin(5 * DEG), 1e-12);
}

TEST(ApplyGeometry, OutlinesInDrawingUnits) {
    ModelTexts t = defaultModelTexts(TextDefaults::StartUp);
    t.params[0] = {"0", "0", "-0.5", "1", "0", "0", "0", "0.2", "0", "L", "0", "1", "1"};
    t.params[2] = {"-1", "0", "0", "0.4", "0", "0", "0", "0.1", "0", "S", "0", "1", "1"};
    Applied a = apply(t);
    const ElementOutline& w = a.o.leftW;
    expectVec(w.p[0], {0, 0, 0});
    expectVec(w.p[1], {0, 0, -150});
    expectVec(w.p[2], {-30, 0, -150});
    expectVec(w.p[3], {-30, 0, 0});
    // Stabiliser halves start at the reference point: left toward -z, right toward +z.
    expectVec(a.o.leftS.p[1], {-150, 0, -30});
    expectVec(a.o.rightS.p[1], {-150, 0, 30});
    expectVec(a.o.rightS.p[0], {-150, 0, 0});

    t.params[3][P_X] = "-0.8";
    t.scalars[SC_KVIS] = "100";
    a = apply(t);
    expectVec(a.o.fus.p[0], {-80, -8, 0});
    expectVec(a.o.fus.p[1], {-80, 8, 0});
    expectVec(a.o.fus.p[2], {40, 8, 0});
    expectVec(a.o.fus.p[3], {40, -8, 0});
    EXPECT_EQ(a.ac.params.kvis, 100);
}

TEST(ApplyFailure, StopsAtTheFirstBadTextKeepingWhatCameBefore) {
    const std::string dir = tempDir();
    IniFile store(dir + "/conf.ini");
    Applied a;
    ModelTexts good = defaultModelTexts(TextDefaults::StartUp);
    good.mix[MIX_ALE][0] = "1";
    applyModel(good, '.', a.s, a.ac, a.o, &store);
    const ModelOutlines outlinesBefore = a.o;

    ModelTexts t = good;
    for (int i = 0; i < ELEMENT_COUNT; ++i) t.params[i][P_X] = "0.25";
    t.params[6][P_Y] = "0.5";
    t.params[6][P_AY] = "abc";  // parsed after X, Y, Z, L and B of element 6
    t.scalars[SC_M] = "7";
    t.mix[MIX_ALE][0] = "-1";
    try {
        applyModel(t, '.', a.s, a.ac, a.o, &store);
        FAIL() << "bad text accepted";
    } catch (const SimError& e) {
        EXPECT_STREQ(e.what(), "'abc' is not a valid floating point value");
    }
    EXPECT_EQ(a.ac.elements[5].pos.x, 0.25);  // elements before it applied
    EXPECT_EQ(a.ac.elements[6].pos.y, 0.5);   // and its own fields parsed first
    EXPECT_EQ(a.ac.elements[7].pos.x, 1);     // nothing after it
    EXPECT_EQ(a.ac.params.mass, 2);
    EXPECT_EQ(a.ac.mix.c[MIX_ALE][0], 1);
    EXPECT_EQ(a.o.fus.p[0], outlinesBefore.fus.p[0]);
    // Element 6's texts are in conf.ini, the scalars are not.
    IniFile reread(dir + "/conf.ini");
    EXPECT_EQ(reread.readString("Elem6", "Param5", ""), "abc");
    EXPECT_EQ(reread.readString("Model", "M", ""), "2");
    std::filesystem::remove_all(dir);
}

TEST(ApplyFailure, ZeroChordAndBadMixCell) {
    ModelTexts t = defaultModelTexts(TextDefaults::StartUp);
    t.params[5][P_CHORD] = "0";
    Applied a;
    try {
        applyModel(t, '.', a.s, a.ac, a.o, nullptr);
        FAIL();
    } catch (const SimError& e) {
        EXPECT_STREQ(e.what(), "Floating point division by zero");
    }
    t = defaultModelTexts(TextDefaults::StartUp);
    t.mix[MIX_RUD][3] = "2";
    t.mix[MIX_RUD][4] = "";  // an empty cell is not a number
    t.mix[MIX_ALE][0] = "5";
    try {
        applyModel(t, '.', a.s, a.ac, a.o, nullptr);
        FAIL();
    } catch (const SimError& e) {
        EXPECT_STREQ(e.what(), "'' is not a valid floating point value");
    }
    EXPECT_EQ(a.ac.mix.c[MIX_RUD][3], 2);
    EXPECT_EQ(a.ac.mix.c[MIX_ALE][0], 0);
}

TEST(ApplyStore, FirstApplyWritesTheModelAndAReadOnlyStoreDoesNotStopIt) {
    const std::string dir = tempDir();
    {
        IniFile store(dir + "/conf.ini");
        Applied a;
        const ApplyResult r = applyModel(loadModelTexts(store, TextDefaults::StartUp), '.', a.s, a.ac, a.o, &store);
        EXPECT_FALSE(r.storeError);
        const ModelTexts back = loadModelTexts(IniFile(dir + "/conf.ini"), TextDefaults::ModelFile);
        EXPECT_EQ(back.scalars[SC_KVIS], "150");  // start-up defaults, not the file's "1"
        EXPECT_EQ(back.mix[MIX_ELE][7], "0");
    }
    {
        // A store whose folder vanished: every write fails, the model still applies.
        std::filesystem::create_directories(dir + "/gone");
        IniFile store(dir + "/gone/conf.ini");
        std::filesystem::remove_all(dir + "/gone");
        Applied a;
        ModelTexts t = defaultModelTexts(TextDefaults::StartUp);
        t.scalars[SC_M] = "3";
        const ApplyResult r = applyModel(t, '.', a.s, a.ac, a.o, &store);
        EXPECT_TRUE(r.storeError.has_value());
        EXPECT_EQ(a.ac.params.mass, 3);
    }
    std::filesystem::remove_all(dir);
}

TEST(ModelFile, SaveLoadRoundTripAndDefaults) {
    const std::string dir = tempDir();
    ModelTexts t = defaultModelTexts(TextDefaults::StartUp);
    t.active[2] = true;
    t.params[2][P_NAME] = "Стабилизатор";
    t.params[2][P_K] = "0,35";
    t.mix[MIX_ELE][2] = "-1";
    saveModelFile(dir + "/m.mdl", t);
    const ModelTexts back = loadModelFile(dir + "/m.mdl");
    EXPECT_EQ(back.active, t.active);
    EXPECT_EQ(back.params, t.params);
    EXPECT_EQ(back.scalars, t.scalars);
    EXPECT_EQ(back.mix, t.mix);

    // A file without the model's sections: all "1", inactive, mixer "0".
    {
        std::ofstream f(dir + "/empty.mdl", std::ios::binary);
        f << "[Other]\r\nKey=1\r\n[Elem1]\r\nAct=2\r\n[Elem2]\r\nAct=-1\r\n[Elem3]\r\nAct=word\r\n";
    }
    const ModelTexts e = loadModelFile(dir + "/empty.mdl");
    for (const auto& s : e.scalars) EXPECT_EQ(s, "1");
    EXPECT_FALSE(e.active[0]);
    EXPECT_TRUE(e.active[1]);
    EXPECT_TRUE(e.active[2]);
    EXPECT_FALSE(e.active[3]);
    EXPECT_EQ(e.mix[MIX_TRO][0], "0");
    EXPECT_THROW(loadModelFile(dir + "/missing.mdl"), SimError);
    std::filesystem::remove_all(dir);
}
