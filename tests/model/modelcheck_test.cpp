// The model window's live check over every rule: which fields it checks as
// numbers, which must be above zero, and that every field, the mixer grid
// included, refuses a text a file cannot hold; each failure says why and
// names its field as the apply's messages do.
#include "model/modelcheck.h"
#include "tests/testutil.h"

using namespace uav;

namespace {

ModelTexts valid() {
    ModelTexts t = defaultModelTexts(TextDefaults::StartUp);
    for (auto& e : t.params) e = {"0.1", "0", "-0.4", "0.8", "-4", "0", "-4", "0.25", "0.2", "W", "0", "200", "5"};
    return t;
}

std::string fieldWhy(const ModelCheck& c, int element, int param) { return c.paramWhy[element][param]; }

}  // namespace

TEST(ModelCheck, ValidTextsPassEverywhere) {
    const ModelCheck c = checkModelTexts(valid(), '.');
    EXPECT_TRUE(c.ok);
    for (int i = 0; i < ELEMENT_COUNT; ++i)
        for (int j = 0; j < PARAM_COUNT; ++j) EXPECT_TRUE(c.params[i][j] && c.paramWhy[i][j].empty()) << i << " " << j;
}

// One scalar at a time; the reason on each row.
TEST(ModelCheck, ScalarRules) {
    struct Row { ScalarField field; const char* text; const char* why; };
    const Row rows[] = {
        {SC_IX, "0", "'0' is out of range: must be above 0 (Model Ix)"},
        {SC_IY, "-1", "'-1' is out of range: must be above 0 (Model Iy)"},
        {SC_IZ, "0", "'0' is out of range: must be above 0 (Model Iz)"},
        {SC_M, "0", "'0' is out of range: must be above 0 (Model M)"},
        {SC_KVIS, "-150", "'-150' is out of range: must be above 0 (Model Kvis)"},
        {SC_TV, "-1", "'-1' is out of range: must be above 0 (Model TV)"},
        {SC_VYCOS, "-1", ""},  // a motor tilted down
        {SC_XM, "-1", ""},     // a motor behind the centre of gravity
        {SC_YM, "-1", ""},     // a motor below it
        {SC_VYCOS, "0", ""},
        {SC_M, "abc", "'abc' is not a valid floating point value (Model M)"},
        {SC_YM, "1,5", "'1,5' is not a valid floating point value (Model Ym)"},  // the other separator
        {SC_XM, "", "'' is not a valid floating point value (Model Xm)"},
        {SC_IX, "1e999", "'1e999' is not a valid floating point value (Model Ix)"},  // overflows a double
        {SC_TV, "0.6", ""},
    };
    for (const Row& r : rows) {
        ModelTexts t = valid();
        t.scalars[r.field] = r.text;
        const ModelCheck c = checkModelTexts(t, '.');
        SCOPED_TRACE(std::string(SCALAR_KEYS[r.field]) + " = '" + r.text + "'");
        EXPECT_EQ(c.scalarWhy[r.field], r.why);
        EXPECT_EQ(c.scalars[r.field], *r.why == '\0');
        EXPECT_EQ(c.ok, *r.why == '\0');
    }
}

// Element fields: X..K of elements 0 to 4 are numbers, L and B above zero;
// elements 5 to 7 and Имя, Ef tr and the servo fields are left to the apply.
TEST(ModelCheck, ElementRules) {
    struct Row { int element; ElementParam param; const char* text; bool fails; const char* why; };
    const Row rows[] = {
        {0, P_X, "abc", true, "element 0 is checked"},
        {4, P_X, "abc", true, "element 4, the last checked one"},
        {4, P_K, "abc", true, "K is checked"},
        {2, P_AZ, "x", true, "angles are checked"},
        {5, P_X, "abc", false, "element 5 is left to the apply"},
        {7, P_K, "abc", false, "element 7 too"},
        {0, P_NAME, "abc", false, "a name is no number"},
        {1, P_EFTR, "abc", false, "Ef tr is left to the apply"},
        {1, P_STEPS, "abc", false, "servo steps too"},
        {1, P_SPEED, "abc", false, "servo speed too"},
        {3, P_LEN, "0", true, "a span of 0"},
        {3, P_CHORD, "0", true, "a chord of 0"},
        {4, P_CHORD, "-0.1", true, "a negative chord"},
        {2, P_X, "-0.7", false, "a tail behind the centre of gravity"},
        {2, P_K, "-0.3", false, "a reversed surface"},
        {2, P_AX, "0", false, "no dihedral"},
        {6, P_CHORD, "0", false, "element 6 is not checked, even for B"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.why);
        ModelTexts t = valid();
        t.params[r.element][r.param] = r.text;
        const ModelCheck c = checkModelTexts(t, '.');
        EXPECT_EQ(c.params[r.element][r.param], !r.fails);
        EXPECT_EQ(c.ok, !r.fails);
        if (!r.fails) continue;
        const std::string field = elemSection(r.element) + " " + paramKey(r.param);
        const std::string want = std::string(r.text) == "abc" || std::string(r.text) == "x"
                                     ? "'" + std::string(r.text) + "' is not a valid floating point value (" + field + ")"
                                     : "'" + std::string(r.text) + "' is out of range: must be above 0 (" + field + ")";
        EXPECT_EQ(fieldWhy(c, r.element, r.param), want);
    }
}

// A line break or a character Windows-1251 has no form for fails in every
// field, numeric or not, the grid included; the reason names the character.
TEST(ModelCheck, TextsAFileCannotHoldFailEverywhere) {
    const ModelTexts base = valid();
    for (const char* bad : {"ab\ncd", "1\r", "Ω"}) {
        const bool lineBreak = bad[0] != '\xce';
        const std::string reason = lineBreak ? "a line break cannot be written to a file ("
                                             : "'Ω' cannot be written in Windows-1251 (";
        for (int i = 0; i < ELEMENT_COUNT; ++i)
            for (int j = 0; j < PARAM_COUNT; ++j) {
                ModelTexts t = base;
                t.params[i][j] = bad;
                const ModelCheck c = checkModelTexts(t, '.');
                EXPECT_FALSE(c.params[i][j] || c.ok) << i << " " << j;
                EXPECT_EQ(c.paramWhy[i][j], reason + elemSection(i) + " " + paramKey(j) + ")");
            }
        for (int k = 0; k < SCALAR_COUNT; ++k) {
            ModelTexts t = base;
            t.scalars[k] = bad;
            const ModelCheck c = checkModelTexts(t, '.');
            EXPECT_EQ(c.scalarWhy[k], reason + "Model " + SCALAR_KEYS[k] + ")");
            EXPECT_FALSE(c.ok);
        }
        for (int r = 0; r < MIX_ROWS; ++r)
            for (int j = 0; j < ELEMENT_COUNT; ++j) {
                ModelTexts t = base;
                t.mix[r][j] = bad;
                const ModelCheck c = checkModelTexts(t, '.');
                EXPECT_EQ(c.mixWhy[r][j], reason + "Mix " + mixKey(r, j) + ")");
                EXPECT_FALSE(c.mix[r][j] || c.ok);
            }
    }
    // The first character the file cannot hold is named, not the whole text.
    ModelTexts t = base;
    t.params[0][P_NAME] = "Крыло Ω1 ✈";
    EXPECT_EQ(checkModelTexts(t, '.').paramWhy[0][P_NAME], "'Ω' cannot be written in Windows-1251 (Elem0 Param9)");
    // A bad mixer cell number is the apply's to report.
    t = base;
    t.mix[2][0] = "abc";
    EXPECT_TRUE(checkModelTexts(t, '.').ok);
}

TEST(ModelCheck, EveryFailingFieldIsTestedAfterTheFirst) {
    ModelTexts t = valid();
    t.scalars[SC_IX] = "0";
    t.params[4][P_K] = "k";
    t.mix[3][7] = "Ω";
    const ModelCheck c = checkModelTexts(t, ',');  // "0.1" is not a number with a comma
    EXPECT_FALSE(c.scalars[SC_IX]);
    EXPECT_FALSE(c.params[4][P_K]);
    EXPECT_FALSE(c.params[0][P_X]) << "'0.1' with a decimal comma";
    EXPECT_TRUE(c.params[5][P_X]);
    EXPECT_FALSE(c.mix[3][7]);
}
