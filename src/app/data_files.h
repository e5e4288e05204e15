#pragma once
// Where the program finds its data files (sounds, templates, the help
// document): first below the working directory the program was started in,
// then in the installed data directory, or in the source tree's data folder
// when the program runs from its build tree.

#include <QString>

namespace librato::app {

// The working directory at start-up, without a trailing separator (except
// for the root). Taken once by the main window; before that, the current one.
QString StartDir();
void SetStartDir(const QString& dir);

// Path of an existing data file named relative to a data folder
// ("Sounds/notify.wav", "Templates/ABA.dotx"; "\" counts as "/", and
// names match without regard to case); empty when there is none.
QString FindDataFile(const QString& relative);

}  // namespace librato::app
