// The model as the user edits and stores it: texts, exactly as typed.
// Texts are the master copy; they are parsed only when the model is applied.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "core/aircraft.h"

namespace uav {

class IniFile;

inline constexpr int SCALAR_COUNT = 9;
inline constexpr int PARAM_COUNT = 13;

// Scalar fields, in window and file order.
enum ScalarField { SC_IX, SC_IY, SC_IZ, SC_M, SC_KVIS, SC_TV, SC_VYCOS, SC_XM, SC_YM };
inline constexpr std::array<const char*, SCALAR_COUNT> SCALAR_KEYS = {
    "Ix", "Iy", "Iz", "M", "Kvis", "TV", "Vycos", "Xm", "Ym"};

// Element parameters Param0..Param12.
enum ElementParam {
    P_X, P_Y, P_Z, P_LEN, P_AX, P_AY, P_AZ, P_CHORD, P_K, P_NAME, P_EFTR, P_STEPS, P_SPEED
};

struct ModelTexts {
    std::array<std::string, SCALAR_COUNT> scalars;
    std::array<bool, ELEMENT_COUNT> active{};
    std::array<std::array<std::string, PARAM_COUNT>, ELEMENT_COUNT> params;
    std::array<std::array<std::string, ELEMENT_COUNT>, MIX_ROWS> mix;  // [row][element]
};

// Which defaults fill missing keys: a model file gives "1" for every scalar;
// conf.ini at start-up gives the program's own defaults (M 2, Kvis 150, ...).
enum class TextDefaults { ModelFile, StartUp };

ModelTexts defaultModelTexts(TextDefaults which);

// Section and key names as stored: "Elem3", "Param12", "Mix2-5".
std::string elemSection(int element);
std::string paramKey(int param);
std::string mixKey(int row, int element);  // row 0..3 is written as 1..4

// Fills texts from a store (missing keys take the defaults of `which`).
ModelTexts loadModelTexts(const IniFile& store, TextDefaults which);

// Why a file cannot hold one text, or nothing when it can: a line break
// ("a line break cannot be written to a file") or a character Windows-1251
// has no form for ("'Ω' cannot be written in Windows-1251", naming the first
// such character). `field` is the field's name as messages give it
// ("Elem2 Param9"), appended in parentheses.
std::optional<std::string> unstorableReason(const std::string& text, const std::string& field);

// Throws SimError naming the first field (in the order below) whose text a
// file cannot hold: "'<text>' cannot be written in Windows-1251 (Elem2
// Param9)", or "a line break cannot be written to a file (Elem0 Param9)".
// Called before a save or an apply writes anything.
void checkStorable(const ModelTexts& texts);

// Writes every text in the order a new file receives them: Elem0..Elem7
// (Act, Param0..Param12), Model, Mix. Throws SimError if the store cannot be
// written; a text a file cannot hold is found before any write. All or
// nothing: a save that fails writes none of the texts.
void saveModelTexts(IniFile& store, const ModelTexts& texts);

// Whether a store holds at least one of the model's keys (Act or Param0..12 of
// Elem0..Elem7, a Model scalar, a Mix cell). A store with none of them (an
// empty or binary file, some other program's INI file) reads as the model of
// all-default texts; the runner and the model window's "Открыть" warn first.
bool holdsModel(const IniFile& store);
// The same for a model file. Throws SimError when the file cannot be read.
bool modelFileHoldsModel(const std::string& path);
// The warning about such a file, naming it.
std::string noModelWarning(const std::string& path);

// The file halves of the model window's "Открыть" and "Сохранить".
ModelTexts loadModelFile(const std::string& path);
void saveModelFile(const std::string& path, const ModelTexts& texts);

}  // namespace uav
