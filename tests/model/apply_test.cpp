#include <cmath>

#include "model/apply.h"
#include "model/inifile.h"
#include "model/modeltext.h"
#include "tests/testutil.h"

using namespace uav;
using namespace uav::test;

namespace {

constexpr double DEG = PI / 180.0;

ModelTexts startUp() { return defaultModelTexts(TextDefaults::StartUp); }

struct Applied {
    SimState s;
    Aircraft ac;
    ModelOutlines o;
    // Applies with a decimal point; the system's message when refused.
    std::string apply(const ModelTexts& t, IniFile* store = nullptr) {
        return errorOf([&] { applyModel(t, '.', s, ac, o, store); });
    }
};

}  // namespace

TEST(ApplyGeometry, ElementAxesForHandWorkedRotations) {
    const double s10 = std::sin(10 * DEG), c10 = std::cos(10 * DEG);
    struct Row { const char *ax, *ay, *az; Vec3 normal, chordVec, spanDir; const char* why; };
    const Row rows[] = {
        {"90", "0", "0", {0, 0, -1}, {-0.2, 0, 0}, {0, 1, 0}, "fin: normal to the left, span up"},
        {"0", "0", "10", {s10, c10, 0}, {-0.2 * c10, 0.2 * s10, 0}, {0, 0, 1}, "+Az raises the trailing edge"},
        {"90", "0", "90", {0, 0, -1}, {0, 0.2, 0}, {1, 0, 0}, "x first, then z"},
        {"0", "90", "0", {0, 1, 0}, {0, 0, 0.2}, {1, 0, 0}, "+Ay swings the trailing edge right"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.why);
        ModelTexts t = startUp();
        t.params[5][P_AX] = r.ax;
        t.params[5][P_AY] = r.ay;
        t.params[5][P_AZ] = r.az;
        t.params[5][P_CHORD] = "0.2";
        Applied a;
        ASSERT_EQ(a.apply(t), "no error");
        const AeroElement& e = a.ac.elements[5];
        expectVec(e.normal, r.normal);
        expectVec(e.chordVec, r.chordVec);
        expectVec(e.chordDir, VecScale(r.chordVec, 1 / 0.2));
        expectVec(e.spanDir, r.spanDir);
        EXPECT_DOUBLE_EQ(e.area, 1 * 0.2);
    }
}

TEST(ApplyGeometry, ThrustTiltWeightAndOutlines) {
    Applied a, b;
    ASSERT_EQ(a.apply(startUp()), "no error");  // M 2, TV 1, Vycos 5
    expectVec(a.ac.params.thrustVec, {19.6 * std::cos(5 * DEG), 19.6 * std::sin(5 * DEG), 0});
    expectVec(a.ac.params.weight, {0, -19.6, 0});
    // Applied while rolled 90 deg right (body z pointing down): the tilt turns
    // sideways in the X-Z plane instead of upward.
    b.s.orient = Mat3{{{1, 0, 0}, {0, 0, 1}, {0, -1, 0}}};
    ASSERT_EQ(b.apply(startUp()), "no error");
    EXPECT_NEAR(b.ac.params.thrustVec.y, 0, 1e-12);
    EXPECT_NEAR(std::fabs(b.ac.params.thrustVec.z), 19.6 * std::sin(5 * DEG), 1e-12);

    // Outlines in drawing units.
    ModelTexts t = startUp();
    t.params[0] = {"0", "0", "-0.5", "1", "0", "0", "0", "0.2", "0", "L", "0", "1", "1"};
    t.params[2] = {"-1", "0", "0", "0.4", "0", "0", "0", "0.1", "0", "S", "0", "1", "1"};
    t.params[3][P_X] = "-0.8";
    t.scalars[SC_KVIS] = "100";  // drawing points per metre
    ASSERT_EQ(a.apply(t), "no error");
    expectVec(a.o.leftW.p[2], {-20, 0, -100});
    // Stabiliser halves start at the reference point: left toward -z, right toward +z.
    expectVec(a.o.leftS.p[1], {-100, 0, -20});
    expectVec(a.o.rightS.p[1], {-100, 0, 20});
    expectVec(a.o.fus.p[0], {-80, -8, 0});
}

TEST(ApplyFailure, StopsAtTheFirstBadTextKeepingWhatCameBefore) {
    const TempDir dir;
    IniFile store(dir / "conf.ini");
    Applied a;
    ModelTexts good = startUp();
    good.mix[MIX_ALE][0] = "1";
    ASSERT_EQ(a.apply(good, &store), "no error");
    const ModelOutlines outlinesBefore = a.o;

    ModelTexts t = good;
    for (int i = 0; i < ELEMENT_COUNT; ++i) t.params[i][P_X] = "0.25";
    t.params[6][P_Y] = "0.5";
    t.params[6][P_AY] = "abc";  // parsed after X, Y, Z, L and B of element 6
    t.scalars[SC_M] = "7";
    t.mix[MIX_ALE][0] = "-1";
    EXPECT_EQ(a.apply(t, &store), "'abc' is not a valid floating point value");
    EXPECT_EQ(a.ac.elements[5].pos.x, 0.25);  // elements before it applied
    EXPECT_EQ(a.ac.elements[6].pos.y, 0.5);   // and its own fields parsed first
    EXPECT_EQ(a.ac.elements[7].pos.x, 1);     // nothing after it
    EXPECT_EQ(a.ac.params.mass, 2);
    EXPECT_EQ(a.ac.mix.c[MIX_ALE][0], 1);
    EXPECT_EQ(a.o.fus.p[0], outlinesBefore.fus.p[0]);
    // Element 6's texts are in conf.ini, the scalars are not.
    IniFile reread(dir / "conf.ini");
    EXPECT_EQ(reread.readString("Elem6", "Param5", ""), "abc");
    EXPECT_EQ(reread.readString("Model", "M", ""), "2");
}

TEST(ApplyFailure, ZeroChordBadMixCellAndFailedStore) {
    Applied a;
    ModelTexts t = startUp();
    t.params[5][P_CHORD] = "0";
    EXPECT_EQ(a.apply(t), "Floating point division by zero");
    t = startUp();
    t.mix[MIX_RUD][3] = "2";
    t.mix[MIX_RUD][4] = "";  // an empty cell is not a number
    t.mix[MIX_ALE][0] = "5";
    EXPECT_EQ(a.apply(t), "'' is not a valid floating point value");
    EXPECT_EQ(a.ac.mix.c[MIX_RUD][3], 2);
    EXPECT_EQ(a.ac.mix.c[MIX_ALE][0], 0);
    // A store whose folder vanished: every write fails, the model still applies
    // (the first start writing the model is the main window's test).
    IniFile gone("/nonexistent-uavsim-dir/conf.ini");
    t = startUp();
    t.scalars[SC_M] = "3";
    EXPECT_TRUE(applyModel(t, '.', a.s, a.ac, a.o, &gone).storeError.has_value());
    EXPECT_EQ(a.ac.params.mass, 3);
}

TEST(ModelFile, SaveLoadRoundTripAndDefaults) {
    const TempDir dir;
    ModelTexts t = startUp();
    t.active[2] = true;
    t.params[2][P_NAME] = "Стабилизатор";
    t.params[2][P_K] = "0,35";
    t.mix[MIX_ELE][2] = "-1";
    saveModelFile(dir / "m.mdl", t);
    const ModelTexts back = loadModelFile(dir / "m.mdl");
    EXPECT_EQ(back.active, t.active);
    EXPECT_EQ(back.params, t.params);
    EXPECT_EQ(back.scalars, t.scalars);
    EXPECT_EQ(back.mix, t.mix);

    // A file without the model's sections: all "1", mixer "0"; Act is an integer.
    putFile(dir / "empty.mdl", "[Other]\r\nKey=1\r\n[Elem1]\r\nAct=2\r\n[Elem2]\r\nAct=-1\r\n[Elem3]\r\nAct=word\r\n");
    const ModelTexts e = loadModelFile(dir / "empty.mdl");
    EXPECT_EQ(e.scalars[SC_M], "1");
    EXPECT_EQ(e.mix[MIX_TRO][0], "0");
    EXPECT_EQ(e.active, (decltype(e.active){false, true, true, false, false, false, false, false}));
    EXPECT_THROW(loadModelFile(dir / "missing.mdl"), SimError);
}

// Derived quantities that overflow stop the apply like a division by zero,
// before the value is assigned; what came before stays.
TEST(ApplyFailure, OverflowingDerivedQuantitiesAndUnwritableTexts) {
    Applied a;
    ASSERT_EQ(a.apply(startUp()), "no error");
    struct Row { int element; int param; const char* text; const char* why; };
    const Row rows[] = {
        {-1, SC_TV, "1e308", "thrust TV x M x g"},
        {-1, SC_M, "1e308", "weight g x M (and the thrust)"},
        {3, P_LEN, "1e300", "area L x B with B 1e10 below"},
        {-1, SC_KVIS, "1e308", "outline points scaled by Kvis"},
        {6, P_CHORD, "1e-320", "chord direction divides by a denormal chord"},
    };
    for (const Row& r : rows) {
        ModelTexts t = startUp();
        t.params[3][P_CHORD] = "1e10";
        t.params[2][P_X] = "0.75";  // applied before any of the rows' fields
        (r.element < 0 ? t.scalars[r.param] : t.params[r.element][r.param]) = r.text;
        const Applied before = a;
        EXPECT_EQ(a.apply(t), "Floating point overflow") << r.why;
        EXPECT_EQ(a.ac.elements[2].pos.x, 0.75) << r.why;
        EXPECT_EQ(a.o.fus.p[0], before.o.fus.p[0]) << "outlines kept: " << r.why;
        EXPECT_TRUE(std::isfinite(a.ac.params.thrustMax) && std::isfinite(a.ac.elements[3].area)) << r.why;
    }

    // A text conf.ini cannot hold: named, and neither the file nor the model changes.
    const TempDir dir;
    IniFile store(dir / "conf.ini");
    ASSERT_EQ(a.apply(startUp(), &store), "no error");
    const std::string onDisk = fileBytes(dir / "conf.ini");
    ModelTexts t = startUp();
    t.params[0][P_X] = "0.5";  // before the bad text in the file's order
    t.params[4][P_NAME] = "翼";
    t.scalars[SC_M] = "3";
    EXPECT_EQ(a.apply(t, &store), "'翼' cannot be written in Windows-1251 (Elem4 Param9)");
    EXPECT_EQ(fileBytes(dir / "conf.ini"), onDisk);
    EXPECT_EQ(a.ac.elements[0].pos.x, 1);
    EXPECT_EQ(a.ac.params.mass, 2);
    t.params[4][P_NAME] = "Крыло";
    t.mix[MIX_ELE][7] = "½";
    EXPECT_EQ(errorOf([&] { saveModelFile(dir / "new.mdl", t); }),
              "'½' cannot be written in Windows-1251 (Mix Mix4-7)");
    EXPECT_FALSE(std::filesystem::exists(dir / "new.mdl"));
}
