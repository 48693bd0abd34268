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
    // The thrust line is a body-frame vector: applied at any attitude it is
    // the same nose-up tilt, bit for bit, not one turned by the attitude of
    // the moment (a 90 deg bank used to put it sideways).
    const Mat3 attitudes[] = {
        Mat3{{{1, 0, 0}, {0, 0, 1}, {0, -1, 0}}},              // heading north, banked 90 deg right
        MatMul(MRotZ(0.4), MRotY(-PI / 2)),                    // turned about two axes
        MatMul(MRotX(-0.7), MatMul(MRotZ(-0.2), MRotY(2.5))),  // about all three
    };
    for (const Mat3& orient : attitudes) {
        b.s.orient = orient;
        ASSERT_EQ(b.apply(startUp()), "no error");
        EXPECT_EQ(b.ac.params.thrustVec, a.ac.params.thrustVec);
    }

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
    good.params[6][P_AY] = "0";
    ASSERT_EQ(a.apply(good, &store), "no error");
    const ModelOutlines outlinesBefore = a.o;
    const std::string goodOnDisk = fileBytes(dir / "conf.ini");

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
    // All or nothing: conf.ini keeps the last model applied whole, byte for byte.
    EXPECT_EQ(fileBytes(dir / "conf.ini"), goodOnDisk);
    EXPECT_EQ(store.readString("Elem6", "Param5", ""), "0");
    EXPECT_EQ(IniFile(dir / "conf.ini").readString("Model", "M", ""), "2");
}

// A text with a line break pasted into a field: refused before anything is
// assigned or written, by the apply and by the save over an existing file.
TEST(ApplyFailure, LineBreakIsRefusedAndNoFileChanges) {
    const TempDir dir;
    IniFile store(dir / "conf.ini");
    Applied a;
    ASSERT_EQ(a.apply(startUp(), &store), "no error");
    const std::string confBefore = fileBytes(dir / "conf.ini");
    ModelTexts t = startUp();
    t.scalars[SC_M] = "5";
    t.params[0][P_X] = "0.5";
    t.params[6][P_NAME] = "ab\ncd";
    EXPECT_EQ(a.apply(t, &store), "a line break cannot be written to a file (Elem6 Param9)");
    EXPECT_EQ(fileBytes(dir / "conf.ini"), confBefore);
    EXPECT_EQ(a.ac.params.mass, 2);
    EXPECT_EQ(a.ac.elements[0].pos.x, 1);

    ModelTexts same = startUp();
    saveModelFile(dir / "m.mdl", same);
    const std::string mdlBefore = fileBytes(dir / "m.mdl");
    same.params[6][P_NAME] = "ab\ncd";
    same.mix[MIX_ELE][0] = "\r";
    EXPECT_EQ(errorOf([&] { saveModelFile(dir / "m.mdl", same); }),
              "a line break cannot be written to a file (Elem6 Param9)");
    EXPECT_EQ(fileBytes(dir / "m.mdl"), mdlBefore);
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

// Files read as the all-default model are told apart by whether any one key of
// the model is there.
TEST(ModelFile, HoldsModelOnlyWithOneOfItsKeys) {
    const TempDir dir;
    struct Row { std::string bytes; bool holds; const char* why; };
    const Row rows[] = {
        {"", false, "empty"},
        {std::string("\x00\xff\x89PNG\r\n\x1a\n\x00[", 11), false, "binary"},
        {"[Window]\r\nWidth=800\r\n[Elem0]\r\nColour=red\r\nParam13=1\r\n", false, "other keys only"},
        {"M=2\r\n[Model]\r\n", false, "a key before any section"},
        {"[elem7]\r\nact=0\r\n", true, "Act, any case"},
        {"[Elem3]\r\nParam12=5\r\n", true, "the last parameter"},
        {"[Model]\r\nYm=0\r\n", true, "the last scalar"},
        {"[MIX]\r\nMix4-7=1\r\n", true, "the last mixer cell"},
    };
    for (const Row& r : rows) {
        putFile(dir / "f.mdl", r.bytes);
        EXPECT_EQ(modelFileHoldsModel(dir / "f.mdl"), r.holds) << r.why;
    }
    EXPECT_THROW(modelFileHoldsModel(dir / "missing.mdl"), SimError);
    EXPECT_NE(noModelWarning("/x/f.mdl").find("'/x/f.mdl' holds no model"), std::string::npos);
}

namespace {

// One parsed field of the apply, in the order the apply converts them, with
// where its value lands (null for the three angles, which land only through
// the rotations).
struct Field {
    std::string* text;
    const double* value;
    std::string name;
};

std::vector<Field> fieldsInApplyOrder(ModelTexts& t, Aircraft& ac) {
    std::vector<Field> f;
    for (int i = 0; i < ELEMENT_COUNT; ++i) {
        AeroElement& e = ac.elements[i];
        const std::pair<int, const double*> order[] = {
            {P_X, &e.pos.x}, {P_Y, &e.pos.y}, {P_Z, &e.pos.z}, {P_LEN, &e.len}, {P_CHORD, &e.chord},
            {P_AX, nullptr}, {P_AY, nullptr}, {P_AZ, nullptr}, {P_K, &e.k}, {P_EFTR, &e.efTr},
            {P_STEPS, &e.servoSteps}, {P_SPEED, &e.servoSpeed}};
        for (const auto& [param, value] : order)
            f.push_back({&t.params[i][param], value, "Elem" + std::to_string(i) + ".Param" + std::to_string(param)});
    }
    ModelParams& p = ac.params;
    const std::pair<int, const double*> scalars[] = {
        {SC_IX, &p.inertia.x}, {SC_IY, &p.inertia.y}, {SC_IZ, &p.inertia.z}, {SC_M, &p.mass},
        {SC_TV, &p.thrustMax}, {SC_VYCOS, &p.vycos}, {SC_XM, &p.motorPos.x}, {SC_YM, &p.motorPos.y}};
    for (const auto& [k, value] : scalars) f.push_back({&t.scalars[k], value, SCALAR_KEYS[k]});
    for (int r = 0; r < MIX_ROWS; ++r)
        for (int j = 0; j < ELEMENT_COUNT; ++j) f.push_back({&t.mix[r][j], &ac.mix.c[r][j], mixKey(r, j)});
    f.push_back({&t.scalars[SC_KVIS], &ac.params.kvis, "Kvis"});  // parsed by the outlines, last
    return f;
}

// Texts whose every field is different: base + n / 1000 for the n-th field.
ModelTexts distinctTexts(double base) {
    ModelTexts t = startUp();
    Aircraft scratch;
    auto f = fieldsInApplyOrder(t, scratch);
    for (std::size_t n = 0; n < f.size(); ++n) *f[n].text = std::to_string(base + static_cast<double>(n) / 1000);
    return t;
}

}  // namespace

// A bad text in each field in turn: every field converted before it holds its
// new value, it and every later one the old value.
TEST(ApplyFailure, BadTextInEachFieldInTurn) {
    ModelTexts oldTexts = distinctTexts(1.0);
    ModelTexts newTexts = distinctTexts(2.0);
    Aircraft probe;
    const std::size_t count = fieldsInApplyOrder(newTexts, probe).size();
    for (std::size_t bad = 0; bad < count; ++bad) {
        Applied a;
        ASSERT_EQ(a.apply(oldTexts), "no error");
        ModelTexts t = newTexts;
        std::vector<Field> fields = fieldsInApplyOrder(t, a.ac);
        *fields[bad].text = "x" + std::to_string(bad);
        SCOPED_TRACE(fields[bad].name);
        EXPECT_EQ(a.apply(t), "'x" + std::to_string(bad) + "' is not a valid floating point value");
        for (std::size_t n = 0; n < count; ++n) {
            if (!fields[n].value || n == bad) continue;
            const double base = n < bad ? 2.0 : 1.0;
            double want = base + static_cast<double>(n) / 1000;
            const std::string& name = fields[n].name;
            if (name == "TV") want *= *fields[n - 1].value * GRAVITY_G;  // TV x M x g, M checked just before
            if (name == "Vycos") want *= DEG;
            EXPECT_NEAR(*fields[n].value, want, 1e-12) << name << (n < bad ? " (before)" : " (after)");
        }
    }
}

// Every point of the six outlines, at Kvis 100. Wings of span 0.8 and chord
// 0.2 at z = -0.5 and +0.5, so hm = -(len / 2) spanDir = (0, 0, -0.4) and
// hp = (0, 0, 0.4); a stabiliser of span 0.4, chord 0.1 at (-0.6, 0.05, 0);
// a fin (Ax 90: normal (0, 0, -1), spanDir (0, 1, 0)) of span 0.2, chord 0.1
// at (-0.6, 0.1, 0), so hp = (0, 0.1, 0); the fuselage from the fin's x -0.6.
TEST(ApplyGeometry, EveryOutlinePoint) {
    ModelTexts t = startUp();
    t.params[0] = {"0.1", "0", "-0.5", "0.8", "0", "0", "0", "0.2", "0", "L", "0", "1", "1"};
    t.params[1] = {"0.1", "0", "0.5", "0.8", "0", "0", "0", "0.2", "0", "R", "0", "1", "1"};
    t.params[2] = {"-0.6", "0.05", "0", "0.4", "0", "0", "0", "0.1", "0", "S", "0", "1", "1"};
    t.params[3] = {"-0.6", "0.1", "0", "0.2", "90", "0", "0", "0.1", "0", "K", "0", "1", "1"};
    t.scalars[SC_KVIS] = "100";
    Applied a;
    ASSERT_EQ(a.apply(t), "no error");
    struct Row { const ElementOutline& o; Vec3 p[4]; const char* why; };
    const Row rows[] = {
        {a.o.leftW, {{10, 0, -10}, {10, 0, -90}, {-10, 0, -90}, {-10, 0, -10}}, "left wing: P0 inboard"},
        {a.o.rightW, {{10, 0, 10}, {10, 0, 90}, {-10, 0, 90}, {-10, 0, 10}}, "right wing: mirror order"},
        {a.o.leftS, {{-60, 5, 0}, {-60, 5, -20}, {-70, 5, -20}, {-70, 5, 0}}, "stabiliser, left half"},
        {a.o.rightS, {{-60, 5, 0}, {-60, 5, 20}, {-70, 5, 20}, {-70, 5, 0}}, "stabiliser, right half"},
        {a.o.kil, {{-60, 0, 0}, {-60, 20, 0}, {-70, 20, 0}, {-70, 0, 0}}, "fin: P0 at the root"},
        {a.o.fus, {{-60, -6, 0}, {-60, 6, 0}, {30, 6, 0}, {30, -6, 0}}, "fuselage"},
    };
    for (const Row& r : rows)
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE(std::string(r.why) + ", P" + std::to_string(i));
            expectVec(r.o.p[i], r.p[i], 1e-12);
        }
}

// Every mixer cell different, read from a file: "r.j" in Mix<r>-<j>, so a
// shifted row or column shows.
TEST(ModelFile, MixerWithEveryCellDifferent) {
    const TempDir dir;
    std::string bytes = "[Mix]\r\n";
    for (int r = 1; r <= 4; ++r)
        for (int j = 0; j < ELEMENT_COUNT; ++j)
            bytes += "Mix" + std::to_string(r) + "-" + std::to_string(j) + "=" + std::to_string(r) + "." +
                     std::to_string(j) + "\r\n";
    putFile(dir / "mix.mdl", bytes);
    Applied a;
    ASSERT_EQ(a.apply(loadModelFile(dir / "mix.mdl")), "no error");
    for (int r = 0; r < MIX_ROWS; ++r)
        for (int j = 0; j < ELEMENT_COUNT; ++j) EXPECT_EQ(a.ac.mix.c[r][j], (r + 1) + j / 10.0) << r << "," << j;
    EXPECT_EQ(a.ac.mix.c[MIX_TRO][7], 1.7);  // Mix1 is the throttle row
    EXPECT_EQ(a.ac.mix.c[MIX_ELE][0], 4.0);
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

    // A text a file cannot hold: named, and neither the file nor the model changes.
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
