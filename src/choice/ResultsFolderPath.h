#pragma once

// Paths of the results folder dialog. The callers keep the results folder relative to the
// program folder ("/Results/9А"); values from files made on Windows may use "\".

#include <QString>
#include <functional>
#include <string>

namespace kvz {

// The folder a field names. A field is relative to the program folder ("/Results/9А",
// "\Results\9А", "\Other", "Results") unless it is an absolute path that does not begin
// with the Results folder ("/mnt/share/Results"): Settings.ini keeps the folder whole, and a
// program folder that was moved leaves such a foreign path there.
QString ResultsFieldToPath(const QString& programFolder, const QString& field);

// The path as the caller's field shows it: below the program's Results folder without the
// program folder in front ("/Results/9А"); anywhere else whole, so that it reads back as itself.
QString ResultsPathToField(const QString& programFolder, const QString& fullPath);

// Whether path is root itself or lies below it (whole path components, no "..").
bool PathIsInside(const QString& root, const QString& path);

// The first parent + newFolderText + n (n = 0, 1, ...) for which exists is false; newFolderText
// is the message "\Новая папка " with "\" read as "/". Empty when no free name was found
// within a sane number of tries.
QString NewFolderPath(const QString& parent, const std::string& newFolderText,
                      const std::function<bool(const QString&)>& exists);

} // namespace kvz
