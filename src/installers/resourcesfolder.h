#pragma once

#include <QString>

// Where the shipped mapping files and the logo lie, relative to the folder of the executable.
QString resourcesFolderBeside(const QString &executableFolder);
