// The main window's Help menu, "Справка" → "О программе", placed after the
// other menus, and the text of its About box: the program's name, version and
// the git description it was built from (as --version prints them), and where
// this run keeps its settings and reads its maps.
#pragma once

#include <QString>

#include "app/simapp.h"

class QAction;

namespace uav {

class TForm1;

QString aboutText(const SimApp& sim);

// Adds the menu to the main window and returns the item.
QAction* addHelpMenu(TForm1& main);

}  // namespace uav
