#pragma once
#include <QStringList>

constexpr int MaxItems = 32768;

// The file names matching folderPath + "*.url" (folderPath is a plain prefix): files only,
// hidden ones excluded, extension matched without regard to case, ordered by name without
// regard to case. At most maxCount names.
QStringList ListItemFiles(const QString& folderPath, int maxCount = MaxItems);

// The name of an existing item file in folderPath that equals fileName without regard to
// case (the exact spelling on disk), or empty text when there is none.
QString FindItemFile(const QString& folderPath, const QString& fileName);
// folderPath + the spelling FindItemFile finds, or + fileName when there is no such file.
QString ItemFilePath(const QString& folderPath, const QString& fileName);

// Empty when the folder that folderPath lists (its directory part) can be listed and its
// files read, otherwise why not, for the user (the folder missing, not a folder, no access).
QString FolderProblem(const QString& folderPath);
